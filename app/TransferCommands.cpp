#include "TransferCommands.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "CommandIds.h"
#include "MainFrame.h"
#include "document/TarvolineDoc.h"
#include "download/DocumentTransfers.h"
#include "download/PostLinkCommands.h"
#include "download/XmodemCommands.h"
#include "document/SettingsStore.h"

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
      m_store(store),
      m_recent(store),
      m_last(ReadLastLoad(store)),
      m_rebuild([this] { return ReadyForRebuildLoad(); }) {
    auto on = [this](int id, void (CTransferCommands::*handler)()) {
        connect(m_frame.Action(id), &QAction::triggered, this, handler);
    };
    on(cmd::kPostLinkAndLoad, &CTransferCommands::OnPostLinkAndLoad);
    on(cmd::kPostLink, &CTransferCommands::OnPostLink);
    on(cmd::kLoadHex, &CTransferCommands::OnLoadHex);
    on(cmd::kLoadCpm68k, &CTransferCommands::OnLoadCpm68k);
    on(cmd::kXmodemSend, &CTransferCommands::OnXmodemSend);
    on(cmd::kXmodemReceive, &CTransferCommands::OnXmodemReceive);
    on(cmd::kLoadAgain, &CTransferCommands::OnLoadAgain);

    m_rebuild.Watch(QString::fromStdString(ReadLastPostLink(store)));
    QAction* onRebuild = m_frame.Action(cmd::kLoadOnRebuild);
    const bool rebuildOn = store && store->GetProfileInt(kLastLoadSection, kLoadOnRebuildEntry, 0) != 0;
    onRebuild->setChecked(rebuildOn);
    m_rebuild.SetEnabled(rebuildOn);
    connect(onRebuild, &QAction::toggled, this, &CTransferCommands::OnLoadOnRebuild);
    connect(&m_rebuild, &CRebuildWatcher::Rebuilt, this, [this](const QString& path) {
        if (BeginRequest()) RunLoad({LoadKind::PostLinkAndLoad, path.toStdString()});
    });
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
    // Post Link and Load needs no port (it converts, then loads only with one); the loads do.
    m_frame.Action(cmd::kLoadAgain)
        ->setEnabled(m_last && (m_last->kind == LoadKind::PostLinkAndLoad || connected));
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
    const QString path = ChooseFile("*.BIN", chooseFile);
    if (!path.isEmpty())
        RunLoad({LoadKind::PostLinkAndLoad, QFileInfo(path).absoluteFilePath().toStdString()});
}

void CTransferCommands::OnPostLink() {
    if (!BeginRequest()) return;
    const std::string path = ChooseFile("*.BIN", chooseFile).toStdString();
    if (!path.empty()) Run([this, path] { PostLinkFile(m_doc.Ui(), path); });
}

void CTransferCommands::OnLoadHex() {
    if (!BeginRequest()) return;
    const QString path = ChooseFile("*.RHX;*.AHX;*.HEX", chooseFile);
    if (!path.isEmpty()) RunLoad({LoadKind::LoadHex, QFileInfo(path).absoluteFilePath().toStdString()});
}

void CTransferCommands::OnLoadCpm68k() {
    if (!BeginRequest()) return;
    const QString path = ChooseFile("*.RUN;*.APP", chooseFile);
    if (!path.isEmpty())
        RunLoad({LoadKind::LoadCpm68k, QFileInfo(path).absoluteFilePath().toStdString()});
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
        // Its load is a Post Link and Load of the .Bin beside it: Load Again repeats that.
        const std::string bin = DocumentBinPath(file);
        if (!bin.empty()) Remember({LoadKind::PostLinkAndLoad, bin});
    }
    UpdateCommands();
}

bool CTransferCommands::RefuseUnlessRegularFile(const QString& path) {
    struct stat st{};
    QString reason;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        reason = QString::fromLocal8Bit(std::strerror(errno));
    else if (S_ISDIR(st.st_mode))
        reason = "it is a directory";
    else if (S_ISFIFO(st.st_mode))
        reason = "it is a named pipe";
    else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        reason = "it is a device";
    else if (S_ISSOCK(st.st_mode))
        reason = "it is a socket";
    else if (!S_ISREG(st.st_mode))
        reason = "it is not a regular file";
    else
        return false;
    m_doc.Ui().MessageBox(("Cannot load " + path + ": " + reason + ".").toStdString(), "Error",
                          MessageIcon::Exclamation);
    return true;
}

void CTransferCommands::PostLinkAndLoadFile(const QString& path) {
    if (!BeginRequest()) return;
    const QString file = QFileInfo(path).absoluteFilePath();
    if (RefuseUnlessRegularFile(file)) return;
    RunLoad({LoadKind::PostLinkAndLoad, file.toStdString()});
}

void CTransferCommands::OpenHandedDocument(const QString& path) {
    const QString file = QFileInfo(path).absoluteFilePath();
    if (RefuseUnlessRegularFile(file)) return;
    const QString kind = file.right(3).toUpper();
    if (kind != "RUN" && kind != "APP") {
        // Opening it would only drop and remake the connection, and clear the terminal.
        m_doc.Ui().MessageBox(
            (file + " is not a load file (.RUN or .APP); nothing was loaded.").toStdString(),
            "Error", MessageIcon::Exclamation);
        return;
    }
    OpenDocumentFile(file);
}

void CTransferCommands::OnLoadAgain() {
    if (!m_last || !BeginRequest()) return;
    if (RefuseUnlessRegularFile(QString::fromStdString(m_last->path))) return;
    RunLoad(*m_last);
}

void CTransferCommands::OnLoadOnRebuild(bool on) {
    if (m_store) m_store->WriteProfileInt(kLastLoadSection, kLoadOnRebuildEntry, on ? 1 : 0);
    m_rebuild.SetEnabled(on);
}

bool CTransferCommands::ReadyForRebuildLoad() const {
    return !m_doc.TransferRunning() && !m_requestOpen && !QApplication::activeModalWidget();
}

void CTransferCommands::Remember(const CLastLoad& load) {
    m_last = load;
    WriteLastLoad(m_store, load);
    if (load.kind == LoadKind::PostLinkAndLoad) {
        // The file as it is now is the one being loaded: only a later link loads it again.
        const QString bin = QString::fromStdString(load.path);
        if (m_rebuild.Path() != bin)
            m_rebuild.Watch(bin);
        else
            m_rebuild.Taken();
    }
    UpdateCommands();
}

void CTransferCommands::RunLoad(const CLastLoad& load) {
    Remember(load);
    const std::string path = load.path;
    switch (load.kind) {
        case LoadKind::PostLinkAndLoad:
            Run([this, path] { PostLinkAndLoad(m_doc, path); });
            break;
        case LoadKind::LoadCpm68k:
            Run([this, path] { TransferCpm68kFile(m_doc, path); });
            break;
        case LoadKind::LoadHex:
            Run([this, path] { TransferHexFile(m_doc, path); });
            break;
    }
}

void CTransferCommands::ShowRecentFiles() {
    std::vector<std::string> texts;
    for (int i = 0; i < static_cast<int>(m_recent.Files().size()); ++i)
        texts.push_back(m_recent.MenuText(i));
    m_frame.SetRecentFiles(texts);
}
