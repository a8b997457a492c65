#pragma once
// The Transfer menu's commands in the window: the file dialogs in front of Post Link, Post
// Link and Load, Load Hex and Load CPM68K, their enabling, the recent-file list, opening a
// load file as a document (from the command line, the recent-file list or another program),
// the loads other programs ask for without a dialog, Load Again and Load on Rebuild.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "RebuildWatcher.h"
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
    // On no menu: something else sends these commands.
    void OnXmodemSend();
    void OnXmodemReceive();
    // Closes the current document's connection and opens path as the document.
    void OpenDocumentFile(const QString& path);
    // Post Link and Load of path with no dialog (the command line, another program).
    void PostLinkAndLoadFile(const QString& path);
    // A file another start handed over: opened as a document when it is a regular file whose
    // name ends in RUN or APP; otherwise a message says why nothing was done.
    void OpenHandedDocument(const QString& path);
    // Repeats the last Post Link and Load, Load CPM68K or Load Hex with its file.
    void OnLoadAgain();
    // Load on Rebuild switched; kept in the store.
    void OnLoadOnRebuild(bool on);
    const std::optional<CLastLoad>& LastLoad() const { return m_last; }
    CRebuildWatcher& RebuildWatcher() { return m_rebuild; }

    // With the message naming path and the reason, true when path is not a regular file (it is
    // missing, a directory, a named pipe, a device): only a regular file is read.
    bool RefuseUnlessRegularFile(const QString& path);
    // Greys what needs an open port.
    void UpdateCommands();

    // The pattern a dialog starts with: the last directory, then the pattern.
    QString InitialName(const QString& pattern) const;
    // The file dialog of a transfer; an empty result when it was cancelled. Tests replace it.
    std::function<QString(const QString& initialName)> chooseFile;
    // The save dialog of XMODEM Receive (it asks before replacing a file).
    std::function<QString(const QString& initialName)> chooseSaveFile;

private:
    // False, with the message, while a transfer runs or another request has its dialog open.
    bool BeginRequest();
    QString ChooseFile(const QString& pattern,
                       const std::function<QString(const QString&)>& dialog, bool inLastDir = true);
    // Starts the transfer on the document's worker; the commands are updated when it ends.
    void Run(std::function<void()> transfer);
    void ShowRecentFiles();
    // Keeps load for Load Again and runs it.
    void RunLoad(const CLastLoad& load);
    void Remember(const CLastLoad& load);
    // True when Load on Rebuild may start a load now: nothing runs, no dialog is open.
    bool ReadyForRebuildLoad() const;

    bool m_requestOpen = false;  // a transfer's file dialog is open

    CMainFrame& m_frame;
    CTarvolineDoc& m_doc;
    ISettingsStore* m_store;
    CRecentFileList m_recent;
    std::optional<CLastLoad> m_last;
    CRebuildWatcher m_rebuild;
};
