#pragma once
// The Transfer menu's commands in the window: the file dialogs in front of Post Link, Post
// Link and Load, Load Hex and Load CPM68K, their enabling, the recent-file list, and opening a
// load file as a document (from the command line, the recent-file list or another program).

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

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

    bool m_requestOpen = false;  // a transfer's file dialog is open

    CMainFrame& m_frame;
    CTarvolineDoc& m_doc;
    CRecentFileList m_recent;
};
