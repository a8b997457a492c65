#pragma once
// The Transfer menu's commands in the window: the file dialogs in front of Post Link, Post
// Link and Load, Load Hex, Load CPM68K and Load Program, their enabling, the recent-file list, opening a
// load file as a document (from the command line, the recent-file list or another program),
// the loads other programs ask for without a dialog (answered, and with the load's verdict to
// a start that waits for it), Load Again and Load on Rebuild.

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "RebuildWatcher.h"
#include "SingleInstance.h"
#include "document/DocumentUi.h"
#include "document/LastLoad.h"
#include "document/RecentFileList.h"

class CMainFrame;
class CTarvolineDoc;
class ISettingsStore;

class CTransferCommands : public QObject {
    Q_OBJECT
public:
    CTransferCommands(CMainFrame& frame, CTarvolineDoc& doc, ISettingsStore* store,
                      QObject* parent = nullptr);
    ~CTransferCommands() override;

    void OnPostLinkAndLoad();
    void OnPostLink();
    void OnLoadHex();
    void OnLoadCpm68k();
    // Any program (ELF, S-records, Intel HEX, a load file), by what the file holds.
    void OnLoadProgram();
    // The filter of Load Program's file dialog.
    static constexpr const char* kProgramFilter =
        "Programs (*.elf *.s19 *.s28 *.s37 *.srec *.mot *.hex *.run *.app)";
    // On no menu: something else sends these commands.
    void OnXmodemSend();
    void OnXmodemReceive();
    // Closes the current document's connection and opens path as the document.
    void OpenDocumentFile(const QString& path, CHandOver answer = {});
    // Post Link and Load of path with no dialog (the command line, another program). Refused
    // with the message while a transfer runs, and when path is not a regular file or its name
    // has no .BIN. answer hears the refusal or "taken" before any message shows, and the
    // verdict of the load when it ends.
    void PostLinkAndLoadFile(const QString& path, CHandOver answer = {});
    // A file another start handed over: opened as a document when it is a regular file whose
    // name ends in RUN or APP, or names a program (HasProgramFileName); otherwise a message says why nothing was done. answer as above;
    // the verdict is that of the load of the .Bin beside it.
    void OpenHandedDocument(const QString& path, CHandOver answer = {});
    // Repeats the last Post Link and Load, Load CPM68K, Load Program or Load Hex with its file.
    void OnLoadAgain();
    // Load on Rebuild switched; kept in the store.
    void OnLoadOnRebuild(bool on);
    const std::optional<CLastLoad>& LastLoad() const { return m_last; }
    CRebuildWatcher& RebuildWatcher() { return m_rebuild; }

    // With the message naming path and the reason, true when path is not a regular file (it is
    // missing, a directory, a named pipe, a device): only a regular file is read.
    bool RefuseUnlessRegularFile(const QString& path, CHandOver answer = {});
    // Greys what needs an open port.
    void UpdateCommands();

    // The pattern a dialog starts with: the last directory, then the pattern.
    QString InitialName(const QString& pattern) const;
    // The file dialog of a transfer; an empty result when it was cancelled. Tests replace it.
    std::function<QString(const QString& initialName)> chooseFile;
    // The save dialog of XMODEM Receive (it asks before replacing a file).
    std::function<QString(const QString& initialName)> chooseSaveFile;

private:
    // What a load on the worker came to, for the verdict.
    struct LoadOutcome {
        bool started = false;   // loaded and started
        bool stopped = false;   // the document's stop request (Cancel) came
        bool noBinFile = false; // an opened document with no .Bin beside it: nothing to do
    };

    // False, with the message, while a transfer runs or another request has its dialog open;
    // answer hears why first.
    bool BeginRequest(CHandOver answer = {});
    // Refuses answer with text and shows it; false (nothing done) when text is empty.
    bool Refuse(CHandOver& answer, const QString& text);
    // "Cannot load PATH: reason." when path is not a regular file; empty when it is.
    static QString NotRegularFileMessage(const QString& path);
    QString ChooseFile(const QString& pattern,
                       const std::function<QString(const QString&)>& dialog, bool inLastDir = true);
    // Starts the transfer on the document's worker; the commands are updated when it ends,
    // then done runs.
    void Run(std::function<void()> transfer, std::function<void()> done = {});
    void ShowRecentFiles();
    // Keeps load for Load Again and runs it; answer hears its verdict.
    void RunLoad(const CLastLoad& load, CHandOver answer = {});
    // Load on Rebuild's load of path (a .Bin, or a program): a failed conversion or reading
    // says nothing until the file settles.
    void RunRebuildLoad(const QString& path);
    // How the watched file is loaded: Post Link and Load for a .Bin, else Load Program.
    static LoadKind WatchedLoadKind(const QString& path);
    // Tells answer how the load ended, with what the load said when it failed.
    void Finish(CHandOver& answer, const LoadOutcome& outcome);
    // What the loads on the worker said (messages with the exclamation icon), kept from the
    // start of each transfer for the verdict.
    void NoteMessage(const std::string& text, MessageIcon icon);
    void Remember(const CLastLoad& load);
    // True when Load on Rebuild may start a load now: nothing runs, no dialog is open.
    bool ReadyForRebuildLoad() const;

    bool m_requestOpen = false;  // a transfer's file dialog is open
    CHandOver m_openAnswer;      // the handed document being loaded
    int m_openAnswerSerial = 0;  // the open it belongs to
    std::atomic<int> m_openSerial{0};  // counts the opens; read by their loads on the worker
    std::mutex m_saidMutex;
    std::vector<std::string> m_said;  // under m_saidMutex

    CMainFrame& m_frame;
    CTarvolineDoc& m_doc;
    ISettingsStore* m_store;
    CRecentFileList m_recent;
    std::optional<CLastLoad> m_last;
    CRebuildWatcher m_rebuild;
};
