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
#include "QtDocumentUi.h"
#include "RebuildLoad.h"
#include "document/TarvolineDoc.h"
#include "download/DocumentTransfers.h"
#include "download/PostLinkCommands.h"
#include "download/ProgramFileLoad.h"
#include "download/XmodemCommands.h"
#include "document/SettingsStore.h"
#include "postlink/post_link_file.h"

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
    on(cmd::kLoadProgram, &CTransferCommands::OnLoadProgram);
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
        if (BeginRequest()) RunRebuildLoad(path);
    });
    // The file whose conversion (or reading) failed stayed as it was: the linker is done and
    // the failure is real; an ordinary Post Link and Load, or Load Program, shows it.
    connect(&m_rebuild, &CRebuildWatcher::FailureSettled, this, [this](const QString& path) {
        if (BeginRequest()) RunLoad({WatchedLoadKind(path), path.toStdString()});
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
    // The load that follows opening a document, with its verdict for a start that waits.
    QPointer<CTransferCommands> self(this);
    m_doc.SetDocumentLoader([this, self](CTarvolineDoc& doc, const std::string& docPath) {
        // Which open this load belongs to: its verdict goes to that one's answer only. (This
        // object outlives the transfer: its destructor waits for it.)
        const int serial = m_openSerial.load();
        LoadOutcome outcome;
        const std::string bin = DocumentBinPath(docPath);
        if (!bin.empty())
            outcome.started = PostLinkAndLoad(doc, bin);
        else if (HasProgramFileName(docPath))  // a program is loaded as it is
            outcome.started = TransferProgramFile(doc, docPath) == ProgramLoadVerdict::Started;
        else
            outcome.noBinFile = true;
        outcome.stopped = doc.StopFlag().load();
        doc.Calls().Post([self, outcome, serial] {
            if (!self || self->m_openAnswerSerial != serial) return;
            CHandOver answer = std::exchange(self->m_openAnswer, {});
            self->Finish(answer, outcome);
        });
    });
    if (auto* qtUi = dynamic_cast<CQtDocumentUi*>(&m_doc.Ui())) {
        qtUi->SetMessageListener(
            [this](const std::string& text, MessageIcon icon) { NoteMessage(text, icon); });
        qtUi->SetCancelListener([this] { m_doc.StopTransfer(); });
    }
    ShowRecentFiles();
    UpdateCommands();
}

void CTransferCommands::UpdateCommands() {
    const bool connected = m_doc.OnUpdateConnected();
    for (int id : {cmd::kLoadHex, cmd::kLoadCpm68k, cmd::kLoadProgram, cmd::kXmodemSend,
                   cmd::kXmodemReceive, cmd::kDisconnect})
        m_frame.Action(id)->setEnabled(connected);
    // Post Link and Load needs no port (it converts, then loads only with one); the loads do.
    m_frame.Action(cmd::kLoadAgain)
        ->setEnabled(m_last && (m_last->kind == LoadKind::PostLinkAndLoad || connected));
}

QString CTransferCommands::InitialName(const QString& pattern) const {
    return QString::fromStdString(m_doc.LastDir()) + pattern;
}

bool CTransferCommands::BeginRequest(CHandOver answer) {
    // A request that comes while a transfer runs (from the menu, another program, a file
    // manager) is refused with the message: transfers never nest. One that comes while another
    // request's file dialog is open only beeps, so a burst of requests opens one dialog.
    if (m_requestOpen) {
        answer.Refuse("the running Tarvoline has a file dialog open for another request");
        m_doc.Ui().Beep();
        return false;
    }
    if (m_doc.TransferRunning()) answer.Refuse(CTarvolineDoc::kTransferRunningMessage);
    return !m_doc.RefuseWhileTransferRunning();
}

bool CTransferCommands::Refuse(CHandOver& answer, const QString& text) {
    if (text.isEmpty()) return false;
    answer.Refuse(text);
    m_doc.Ui().MessageBox(text.toStdString(), "Error", MessageIcon::Exclamation);
    return true;
}

void CTransferCommands::NoteMessage(const std::string& text, MessageIcon icon) {
    // Only what the transfer's own thread says belongs to the load; the window's other
    // messages (a refused request, say) come from this thread.
    if (icon != MessageIcon::Exclamation || m_doc.Calls().IsOwnerThread()) return;
    std::lock_guard<std::mutex> lock(m_saidMutex);
    m_said.push_back(text);
}

void CTransferCommands::Finish(CHandOver& answer, const LoadOutcome& outcome) {
    if (!answer.Waited()) {
        answer.Take();
        return;
    }
    if (outcome.started) {
        answer.Finish(CHandOver::Verdict::Loaded);
        return;
    }
    if (outcome.stopped) {
        answer.Finish(CHandOver::Verdict::Cancelled);
        return;
    }
    QString reason;
    {
        std::lock_guard<std::mutex> lock(m_saidMutex);
        for (const std::string& said : m_said)
            reason += (reason.isEmpty() ? "" : " ") + QString::fromStdString(said);
    }
    if (outcome.noBinFile)
        reason = "there is no .Bin file beside " + QString::fromStdString(m_doc.DocPath()) +
                 " to convert; nothing was loaded";
    else if (reason.isEmpty() && !m_doc.Port())
        reason = "the running Tarvoline is not connected to a board; nothing was loaded";
    else if (reason.isEmpty())
        reason = "the load did not start the program";
    answer.Finish(CHandOver::Verdict::Failed, reason);
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

void CTransferCommands::Run(std::function<void()> transfer, std::function<void()> done) {
    QPointer<CTransferCommands> self(this);
    {
        std::lock_guard<std::mutex> lock(m_saidMutex);
        m_said.clear();
    }
    m_doc.StartTransfer(std::move(transfer), [self, done = std::move(done)] {
        if (!self) return;
        self->UpdateCommands();
        if (done) done();
    });
    UpdateCommands();
}

CTransferCommands::~CTransferCommands() {
    // A transfer still running uses this window's document: it ends first.
    m_doc.StopTransfer();
    m_doc.WaitForTransfer();
    if (auto* qtUi = dynamic_cast<CQtDocumentUi*>(&m_doc.Ui())) {
        qtUi->SetMessageListener({});
        qtUi->SetCancelListener({});
    }
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

void CTransferCommands::OnLoadProgram() {
    if (!BeginRequest()) return;
    const QString path = ChooseFile(kProgramFilter, chooseFile);
    if (!path.isEmpty())
        RunLoad({LoadKind::LoadProgram, QFileInfo(path).absoluteFilePath().toStdString()});
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

void CTransferCommands::OpenDocumentFile(const QString& path, CHandOver answer) {
    if (!BeginRequest(answer)) return;
    const std::string file = QFileInfo(path).absoluteFilePath().toStdString();
    // Taken before the connection, whose failure may show a message.
    answer.Take();
    // Opening a document closes the one before: its connection goes, the new one connects.
    if (m_doc.Port()) m_doc.Disconnect();
    {
        std::lock_guard<std::mutex> lock(m_saidMutex);
        m_said.clear();
    }
    m_openAnswer = answer;
    m_openAnswerSerial = ++m_openSerial;
    if (m_doc.OnOpenDocument(file)) {
        m_recent.Add(file);
        ShowRecentFiles();
        // Its load is a Post Link and Load of the .Bin beside it, or Load Program of a program:
        // Load Again repeats that.
        const std::string bin = DocumentBinPath(file);
        if (!bin.empty())
            Remember({LoadKind::PostLinkAndLoad, bin});
        else if (HasProgramFileName(file))
            Remember({LoadKind::LoadProgram, file});
    } else {
        m_openAnswer = {};  // no load follows: a start that waits is told so
    }
    UpdateCommands();
}

bool CTransferCommands::RefuseUnlessRegularFile(const QString& path, CHandOver answer) {
    return Refuse(answer, NotRegularFileMessage(path));
}

QString CTransferCommands::NotRegularFileMessage(const QString& path) {
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
        return {};
    return "Cannot load " + path + ": " + reason + ".";
}

void CTransferCommands::PostLinkAndLoadFile(const QString& path, CHandOver answer) {
    if (!BeginRequest(answer)) return;
    const QString file = QFileInfo(path).absoluteFilePath();
    if (RefuseUnlessRegularFile(file, answer)) return;
    // Refused here rather than by the converter, so the request's answer says so.
    if (!tarvoline::postlink::CutBinExtension(file.toStdString()) &&
        Refuse(answer, "Cannot load " + file + ": its name has no .BIN, .bin or .Bin.")) {
        return;
    }
    answer.Take();
    RunLoad({LoadKind::PostLinkAndLoad, file.toStdString()}, answer);
}

void CTransferCommands::OpenHandedDocument(const QString& path, CHandOver answer) {
    const QString file = QFileInfo(path).absoluteFilePath();
    if (!BeginRequest(answer)) return;
    if (RefuseUnlessRegularFile(file, answer)) return;
    const QString kind = file.right(3).toUpper();
    // Opening anything else would only drop and remake the connection, and clear the terminal.
    if (kind != "RUN" && kind != "APP" && !HasProgramFileName(file.toStdString()) &&
        Refuse(answer, file + " is not a load file (.RUN or .APP) nor a program (.elf, .s19, "
                              ".s28, .s37, .srec, .mot, .hex); nothing was loaded.")) {
        return;
    }
    OpenDocumentFile(file, answer);
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
    if (IsWatchedLoad(load.kind)) {
        // The file as it is now is the one being loaded: only a later link loads it again.
        const QString file = QString::fromStdString(load.path);
        if (m_rebuild.Path() != file)
            m_rebuild.Watch(file);
        else
            m_rebuild.Taken();
    }
    UpdateCommands();
}

void CTransferCommands::RunLoad(const CLastLoad& load, CHandOver answer) {
    Remember(load);
    const std::string path = load.path;
    const LoadKind kind = load.kind;
    // Read on the worker: by the time done runs, another transfer may have begun.
    auto outcome = std::make_shared<LoadOutcome>();
    Run(
        [this, path, kind, outcome] {
            switch (kind) {
                case LoadKind::PostLinkAndLoad:
                    outcome->started = PostLinkAndLoad(m_doc, path);
                    break;
                case LoadKind::LoadCpm68k:
                case LoadKind::LoadProgram:
                    // By what the file holds: a load file as always, a program read from
                    // the toolchain's file, anything else refused.
                    outcome->started =
                        TransferProgramFile(m_doc, path) == ProgramLoadVerdict::Started;
                    break;
                case LoadKind::LoadHex:
                    outcome->started = TransferHexFile(m_doc, path) == HexLoadOutcome::Loaded;
                    break;
            }
            outcome->stopped = m_doc.StopFlag().load();
        },
        [this, answer, outcome]() mutable { Finish(answer, *outcome); });
}

LoadKind CTransferCommands::WatchedLoadKind(const QString& path) {
    return tarvoline::postlink::CutBinExtension(path.toStdString()) ? LoadKind::PostLinkAndLoad
                                                                    : LoadKind::LoadProgram;
}

void CTransferCommands::RunRebuildLoad(const QString& path) {
    const LoadKind kind = WatchedLoadKind(path);
    Remember({kind, path.toStdString()});
    const std::string file = path.toStdString();
    auto conversionFailed = std::make_shared<bool>(false);
    Run([this, kind, file, conversionFailed] {
            *conversionFailed = kind == LoadKind::PostLinkAndLoad
                                    ? PostLinkAndLoadQuietConversion(m_doc, file).conversionFailed
                                    : LoadProgramQuietRead(m_doc, file).conversionFailed;
        },
        [this, conversionFailed] {
            if (*conversionFailed) m_rebuild.ConversionFailed();
        });
}

void CTransferCommands::ShowRecentFiles() {
    std::vector<std::string> texts;
    for (int i = 0; i < static_cast<int>(m_recent.Files().size()); ++i)
        texts.push_back(m_recent.MenuText(i));
    m_frame.SetRecentFiles(texts);
}
