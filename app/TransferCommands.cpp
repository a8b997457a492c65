#include "TransferCommands.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>

#include "CommandIds.h"
#include "MainFrame.h"
#include "document/TarvolineDoc.h"
#include "download/DocumentTransfers.h"
#include "download/PostLinkCommands.h"
#include "download/XmodemCommands.h"

namespace {

// The standard open dialog, starting in the directory with the pattern as its filter; the
// pattern matches names whatever their case.
QString OpenDialog(const QString& initialName) {
    const QFileInfo start(initialName);
    QFileDialog dialog(nullptr, "Open", start.path() == "." ? QString() : start.path());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(start.fileName().replace(';', ' '));
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

QString SaveDialog(const QString& initialName) {
    QFileDialog dialog(nullptr, "Save As");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace

CTransferCommands::CTransferCommands(CMainFrame& frame, CTarvolineDoc& doc, ISettingsStore* store,
                                     QObject* parent)
    : QObject(parent),
      chooseFile(OpenDialog),
      chooseSaveFile(SaveDialog),
      m_frame(frame),
      m_doc(doc),
      m_recent(store) {
    auto on = [this](int id, void (CTransferCommands::*handler)()) {
        connect(m_frame.Action(id), &QAction::triggered, this, handler);
    };
    on(cmd::kPostLinkAndLoad, &CTransferCommands::OnPostLinkAndLoad);
    on(cmd::kPostLink, &CTransferCommands::OnPostLink);
    on(cmd::kLoadHex, &CTransferCommands::OnLoadHex);
    on(cmd::kLoadCpm68k, &CTransferCommands::OnLoadCpm68k);
    on(cmd::kXmodemSend, &CTransferCommands::OnXmodemSend);
    on(cmd::kXmodemReceive, &CTransferCommands::OnXmodemReceive);
    connect(m_frame.Action(cmd::kDisconnect), &QAction::triggered, this,
            [this] { m_doc.OnDisconnect(); });
    for (int i = 0; i < CMainFrame::kRecentFiles; ++i) {
        connect(m_frame.Action(cmd::kRecentFile + i), &QAction::triggered, this, [this, i] {
            if (i < static_cast<int>(m_recent.Files().size()))
                OpenDocumentFile(QString::fromStdString(m_recent.Files()[i]));
        });
    }
    connect(m_frame.TransferMenu(), &QMenu::aboutToShow, this, &CTransferCommands::UpdateCommands);
    m_doc.SetDocumentLoader(LoadDocumentImage);
    ShowRecentFiles();
    UpdateCommands();
}

void CTransferCommands::UpdateCommands() {
    const bool connected = m_doc.OnUpdateConnected();
    for (int id : {cmd::kLoadHex, cmd::kLoadCpm68k, cmd::kXmodemSend, cmd::kXmodemReceive,
                   cmd::kDisconnect})
        m_frame.Action(id)->setEnabled(connected);
}

QString CTransferCommands::InitialName(const QString& pattern) const {
    return QString::fromStdString(m_doc.LastDir()) + pattern;
}

bool CTransferCommands::BeginRequest() {
    // A request that comes while a transfer runs (from the menu, another program, a file
    // manager) is refused with the message: transfers never nest. One that comes while another
    // request's file dialog is open only beeps, so a burst of requests opens one dialog.
    if (m_requestOpen) {
        m_doc.Ui().Beep();
        return false;
    }
    return !m_doc.RefuseWhileTransferRunning();
}

QString CTransferCommands::ChooseFile(const QString& pattern,
                                      const std::function<QString(const QString&)>& dialog,
                                      bool inLastDir) {
    m_requestOpen = true;
    const QString path = dialog(inLastDir ? InitialName(pattern) : pattern);
    m_requestOpen = false;
    if (!path.isEmpty() && inLastDir) m_doc.SetLastDir(DirectoryOf(path.toStdString()));
    return path;
}

void CTransferCommands::Run(std::function<void()> transfer) {
    QPointer<CTransferCommands> self(this);
    m_doc.StartTransfer(std::move(transfer), [self] {
        if (self) self->UpdateCommands();
    });
    UpdateCommands();
}

CTransferCommands::~CTransferCommands() {
    // A transfer still running uses this window's document: it ends first.
    m_doc.StopTransfer();
    m_doc.WaitForTransfer();
}

void CTransferCommands::OnPostLinkAndLoad() {
    if (!BeginRequest()) return;
    const std::string path = ChooseFile("*.BIN", chooseFile).toStdString();
    if (!path.empty()) Run([this, path] { PostLinkAndLoad(m_doc, path); });
}

void CTransferCommands::OnPostLink() {
    if (!BeginRequest()) return;
    const std::string path = ChooseFile("*.BIN", chooseFile).toStdString();
    if (!path.empty()) Run([this, path] { PostLinkFile(m_doc.Ui(), path); });
}

void CTransferCommands::OnLoadHex() {
    if (!BeginRequest()) return;
    const std::string path = ChooseFile("*.RHX;*.AHX;*.HEX", chooseFile).toStdString();
    if (!path.empty()) Run([this, path] { TransferHexFile(m_doc, path); });
}

void CTransferCommands::OnLoadCpm68k() {
    if (!BeginRequest()) return;
    const std::string path = ChooseFile("*.RUN;*.APP", chooseFile).toStdString();
    if (!path.empty()) Run([this, path] { TransferCpm68kFile(m_doc, path); });
}

void CTransferCommands::OnXmodemSend() {
    if (!BeginRequest()) return;
    const std::string path = ChooseFile("*.*", chooseFile, false).toStdString();
    if (!path.empty()) Run([this, path] { RunXmodemSend(m_doc, path); });
}

void CTransferCommands::OnXmodemReceive() {
    if (!BeginRequest()) return;
    const std::string path = ChooseFile("*.*", chooseSaveFile, false).toStdString();
    if (!path.empty()) Run([this, path] { RunXmodemReceive(m_doc, path); });
}

void CTransferCommands::OpenDocumentFile(const QString& path) {
    if (!BeginRequest()) return;
    const std::string file = QFileInfo(path).absoluteFilePath().toStdString();
    // Opening a document closes the one before: its connection goes, the new one connects.
    if (m_doc.Port()) m_doc.Disconnect();
    if (m_doc.OnOpenDocument(file)) {
        m_recent.Add(file);
        ShowRecentFiles();
    }
    UpdateCommands();
}

void CTransferCommands::ShowRecentFiles() {
    std::vector<std::string> texts;
    for (int i = 0; i < static_cast<int>(m_recent.Files().size()); ++i)
        texts.push_back(m_recent.MenuText(i));
    m_frame.SetRecentFiles(texts);
}
