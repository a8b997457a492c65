#include "TransferCommands.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

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

QString CTransferCommands::ChooseFile(const QString& pattern) {
    // The load of an opened document has the line and its files until it ends.
    if (m_doc.BusyWithDocumentLoad()) {
        m_doc.Ui().Beep();
        return {};
    }
    const QString path = chooseFile(InitialName(pattern));
    if (!path.isEmpty()) m_doc.SetLastDir(DirectoryOf(path.toStdString()));
    return path;
}

void CTransferCommands::OnPostLinkAndLoad() {
    const QString path = ChooseFile("*.BIN");
    if (!path.isEmpty()) PostLinkAndLoad(m_doc, path.toStdString());
}

void CTransferCommands::OnPostLink() {
    const QString path = ChooseFile("*.BIN");
    if (!path.isEmpty()) PostLinkFile(m_doc.Ui(), path.toStdString());
}

void CTransferCommands::OnLoadHex() {
    const QString path = ChooseFile("*.RHX;*.AHX;*.HEX");
    if (!path.isEmpty()) TransferHexFile(m_doc, path.toStdString());
}

void CTransferCommands::OnLoadCpm68k() {
    const QString path = ChooseFile("*.RUN;*.APP");
    if (!path.isEmpty()) TransferCpm68kFile(m_doc, path.toStdString());
}

void CTransferCommands::OnXmodemSend() {
    if (m_doc.BusyWithDocumentLoad()) {
        m_doc.Ui().Beep();
        return;
    }
    const QString path = chooseFile("*.*");
    if (!path.isEmpty()) RunXmodemSend(m_doc, path.toStdString());
}

void CTransferCommands::OnXmodemReceive() {
    if (m_doc.BusyWithDocumentLoad()) {
        m_doc.Ui().Beep();
        return;
    }
    const QString path = chooseSaveFile("*.*");
    if (!path.isEmpty()) RunXmodemReceive(m_doc, path.toStdString());
}

void CTransferCommands::OpenDocumentFile(const QString& path) {
    const std::string file = QFileInfo(path).absoluteFilePath().toStdString();
    if (m_doc.DocumentLoadRunning()) {
        m_doc.OnOpenDocument(file);  // refuses, saying why
        return;
    }
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
