#pragma once
// The application: one instance per user, the settings store with its first-run defaults, the
// document with its main frame and terminal view, the command line, About and Help.
//
//   tarvoline [--demo] [--bind COMn=DEVICE]... [--nosplash] [--postlink-load] [--wait] [FILE]
//
// FILE (a .RUN or .APP) is opened as a document: connect, convert the .Bin beside it, load.
// --postlink-load FILE.Bin converts and loads FILE with no dialog; --postlink-load alone runs
// Post Link and Load with its dialog. A running instance of this user gets the request (with
// FILE's absolute path) and this start ends with its answer: 0 taken, 1 refused (the reason
// on standard error) or no answer; with --wait, by the verdict of the load (0 loaded and
// started, 1 failed, 130 cancelled). When none runs, this start does it.
// --demo starts the simulated board (vivaz-sim, next to this program) and binds the configured
// port to it for this run; --bind binds a port name to a device for this run. Neither is stored.

#include <QApplication>
#include <QStringList>
#include <memory>

#include "QtDocumentUi.h"
#include "document/UiCallQueue.h"

class CMainFrame;
class CQtSettingsStore;
class CSingleInstance;
class CTarvolineDoc;
class CTerminalCommands;
class CConnectionCommand;
class CDemoBoard;
class CTransferCommands;
class CUiCallPump;
class QProcess;

class CTarvolineApp : public QApplication {
    Q_OBJECT
public:
    CTarvolineApp(int& argc, char** argv);
    ~CTarvolineApp() override;

    // False when the process should end now (another instance took over, or bad arguments);
    // ExitCode() then says how: 0 handed over (and loaded, with --wait), 1 refused, failed or
    // no answer, 130 cancelled, 2 wrong usage.
    bool InitInstance();
    int ExitCode() const { return m_exitCode; }
    // A terminate signal came: the program is ending.
    bool Terminating() const { return m_terminating; }

    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }
    CTarvolineDoc* Document() const { return m_pDoc.get(); }
    CTransferCommands* Transfers() const { return m_pTransfers.get(); }
    CQtSettingsStore* Store() const { return m_pStore.get(); }

    void OnAppAbout();
    void OnHelpContents();
    void OnCommSettings();
    // Brings the main window, or the dialog it has open, to the front.
    void OnActivationRequested();

    // Where the manual lies: in help/ next to the program in a build tree, or in the
    // documentation folder of the installed tree (share/doc/tarvoline beside bin/).
    static QString ManualPath();
    // The object name of the message that says later starts will not find this one.
    static constexpr const char* kNoSingleInstanceBox = "nosingleinstance";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CatchTerminateSignals();
    // SIGINT or SIGTERM: a running transfer is stopped (its line put back), every box that
    // waits for the user is closed, and the program ends as by Exit, at any moment: with a
    // message up, before the event loop, during a load.
    void OnTerminateSignal();
    bool StartDemoBoard();
    // Hands this start's request to a running instance (false: end now, with ExitCode()), or
    // listens for later starts' requests.
    bool HandOffOrListen(bool postLinkLoad, const QString& file, bool waitForLoad);
    // Says in the window that later starts will not find this one, and why.
    void ShowNoSingleInstance();
    void ConnectCommands();

    CUiCallQueue m_calls;
    std::unique_ptr<CUiCallPump> m_pump;
    std::unique_ptr<CSingleInstance> m_instance;
    std::unique_ptr<CQtSettingsStore> m_pStore;
    CQtDocumentUi m_ui;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<CTarvolineDoc> m_pDoc;
    std::unique_ptr<CTransferCommands> m_pTransfers;
    std::unique_ptr<CConnectionCommand> m_pConnectionCommand;
    std::unique_ptr<CTerminalCommands> m_pTerminalCommands;
    std::unique_ptr<CDemoBoard> m_pBoard;
    QString m_documentFile;
    bool m_terminating = false;
    QString m_noSingleInstance;  // why later starts will not find this one; empty when they will
    int m_exitCode = 0;
};
