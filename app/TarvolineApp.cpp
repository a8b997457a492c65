#include "TarvolineApp.h"

#include <QCommandLineParser>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <QSocketNotifier>
#include <QTimer>
#include <fcntl.h>
#include <csignal>
#include <cstring>
#include <iostream>
#include <unistd.h>

#include "AboutBox.h"
#include "CommandIds.h"
#include "document/FirstRunDefaults.h"
#include "document/RecentNetworkPorts.h"
#include "MainFrame.h"
#include "QtSettingsStore.h"
#include "SingleInstance.h"
#include "SplashWindow.h"
#include "document/TarvolineDoc.h"
#include "TerminalCommands.h"
#include "ConnectionCommand.h"
#include "DemoBoard.h"
#include "TransferCommands.h"
#include "UiCallPump.h"
#include "comm/CommSettingsDlg.h"
#include "comm/PortSettings.h"
#include "terminal/TarvolineView.h"

static void InitResources() { Q_INIT_RESOURCE(tarvoline); }

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void OnTerminateSignalByte(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

}  // namespace

// SIGINT and SIGTERM end the program, so the port closes and a demo board stops with it. The
// handler only writes to a pipe; the event loop that runs (the main one, or a message box's)
// reads it.
void CTarvolineApp::CatchTerminateSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
        OnTerminateSignal();
    });
    struct sigaction sa{};
    sa.sa_handler = OnTerminateSignalByte;
    ::sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

void CTarvolineApp::OnTerminateSignal() {
    if (m_terminating) return;
    m_terminating = true;
    m_ui.SetQuitting(true);  // no dialogue waits for a message box from now on
    if (m_pDoc) m_pDoc->StopTransfer();
    // Every box that waits for the user goes: a message, a file dialog, a settings dialog.
    for (int i = 0; i < 20; ++i) {
        QWidget* modal = activeModalWidget();
        if (!modal) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        processEvents();
    }
    // From the main loop: the transfer ends (its line put back), then the program, as by Exit.
    QTimer::singleShot(0, this, [this] {
        if (m_pDoc) m_pDoc->WaitForTransfer();
        QApplication::exit(0);
    });
}

CTarvolineApp::CTarvolineApp(int& argc, char** argv) : QApplication(argc, argv) {
    InitResources();
    setApplicationName("Tarvoline");
    setOrganizationName("Hollowbrook Works");
    setApplicationVersion("2.00");
    setWindowIcon(QIcon(":/res/tarvoline.png"));
    CatchTerminateSignals();
}

CTarvolineApp::~CTarvolineApp() {
    // The port closes first: its watcher may still hand bytes to the view.
    m_pTransfers.reset();
    m_pConnectionCommand.reset();
    m_pTerminalCommands.reset();
    m_pDoc.reset();
    m_pMainFrame.reset();
    m_pBoard.reset();
}

bool CTarvolineApp::InitInstance() {
    QCommandLineParser parser;
    parser.setApplicationDescription("Serial terminal for ViVaz boards");
    parser.addHelpOption();
    // Answered in main() before anything of the window starts; listed here for --help.
    QCommandLineOption version(QStringList{"V", "v", "version"}, "Displays version information.");
    parser.addOption(version);
    QCommandLineOption demo("demo", "Start a simulated board and connect to it.");
    QCommandLineOption bind("bind", "Use DEVICE for port NAME in this run.", "NAME=DEVICE");
    QCommandLineOption noSplash("nosplash", "Do not show the splash picture.");
    QCommandLineOption wait(
        "wait",
        "With a FILE handed to the running Tarvoline: wait until its load has ended and exit "
        "by its result (0 loaded and started, 1 failed, 130 cancelled).");
    QCommandLineOption postLinkLoad(
        "postlink-load",
        "Convert and load FILE (a .Bin) with no dialog, in the running Tarvoline if there is one "
        "(exit 1 with its reason when it refuses); without FILE, run Post Link and Load with its "
        "dialog.");
    parser.addOption(postLinkLoad);
    parser.addOption(demo);
    parser.addOption(bind);
    parser.addOption(noSplash);
    parser.addOption(wait);
    parser.addPositionalArgument(
        "file",
        "A load file (.RUN, .APP) or a program (.elf, .s19, .s28, .s37, .srec, .mot, .hex) to "
        "open as a document; with --postlink-load, the .Bin.",
        "[FILE]");
    parser.process(arguments());
    CSplashWindow::EnableSplashScreen(!parser.isSet(noSplash));

    const QStringList files = parser.positionalArguments();
    const QString file = files.isEmpty() ? QString() : QFileInfo(files.first()).absoluteFilePath();
    if (parser.isSet(wait) && file.isEmpty()) {
        std::cerr << "tarvoline: --wait needs a file to load: --postlink-load FILE.Bin or "
                     "FILE.RUN\n";
        m_exitCode = 2;
        return false;
    }
    if (!HandOffOrListen(parser.isSet(postLinkLoad), file, parser.isSet(wait))) return false;

    m_pStore = std::make_unique<CQtSettingsStore>();
    WriteFirstRunDefaults(*m_pStore);

    m_pump = std::make_unique<CUiCallPump>(m_calls);
    m_pMainFrame = std::make_unique<CMainFrame>(m_pStore.get());
    m_pMainFrame->setAttribute(Qt::WA_DeleteOnClose, false);
    m_ui.SetTitleHandler([this](const std::string& title) {
        if (m_pMainFrame) m_pMainFrame->SetDocumentTitle(title);
        // The title follows every connect, disconnect and change of settings; so does the line.
        if (m_pMainFrame && m_pDoc) m_pMainFrame->SetLineStatus(m_pDoc->LineStatus());
        if (m_pTransfers) m_pTransfers->UpdateCommands();  // the connection changed
        if (m_pConnectionCommand) m_pConnectionCommand->Update();
    });
    m_ui.SetGuiThread(&m_calls, m_pMainFrame.get());
    m_pDoc = std::make_unique<CTarvolineDoc>(m_pStore.get(), m_ui, m_calls);
    m_pTransfers = std::make_unique<CTransferCommands>(*m_pMainFrame, *m_pDoc, m_pStore.get());
    m_pConnectionCommand = std::make_unique<CConnectionCommand>(*m_pMainFrame, *m_pDoc);
    CTarvolineView* view = m_pMainFrame->View();
    view->SetPostLinkLoadHandler([this] { m_pTransfers->OnPostLinkAndLoad(); });
    view->SetDocument(m_pDoc.get());
    view->ApplyAppearance(m_pStore.get());
    m_pTerminalCommands = std::make_unique<CTerminalCommands>(*m_pMainFrame, m_pStore.get());
    m_pDoc->AddView(view);
    connect(m_instance.get(), &CSingleInstance::PostLinkLoadRequested, view,
            &CTarvolineView::OnPostLinkLoad);
    // A file from another start: the window comes forward to show what becomes of it.
    connect(m_instance.get(), &CSingleInstance::PostLinkLoadFileRequested, this,
            [this](const QString& path, CHandOver answer) {
                OnActivationRequested();
                m_pTransfers->PostLinkAndLoadFile(path, answer);
            });
    connect(m_instance.get(), &CSingleInstance::OpenFileRequested, this,
            [this](const QString& path, CHandOver answer) {
                OnActivationRequested();
                m_pTransfers->OpenHandedDocument(path, answer);
            });
    ConnectCommands();
    installEventFilter(this);

    for (const QString& pair : parser.values(bind)) {
        const qsizetype eq = pair.indexOf('=');
        if (eq <= 0) {
            std::cerr << "tarvoline: --bind wants NAME=DEVICE, not " << pair.toStdString() << "\n";
            m_exitCode = 1;
            return false;
        }
        m_pDoc->PortNames().Bind(pair.left(eq).toStdString(), pair.mid(eq + 1).toStdString());
    }
    if (parser.isSet(demo) && !StartDemoBoard()) {
        m_exitCode = 1;
        return false;
    }

    m_pMainFrame->show();
    if (!m_noSingleInstance.isEmpty()) ShowNoSingleInstance();
    if (!file.isEmpty() && !parser.isSet(postLinkLoad)) {
        // Opening a load file connects, then rebuilds and downloads it on a worker.
        m_documentFile = file;
        m_pTransfers->OpenDocumentFile(m_documentFile);
    } else {
        m_pDoc->OnNewDocument();
    }
    m_pTransfers->UpdateCommands();
    if (parser.isSet(postLinkLoad))
        QMetaObject::invokeMethod(
            this,
            [this, file] {
                if (file.isEmpty())
                    m_pTransfers->OnPostLinkAndLoad();
                else
                    m_pTransfers->PostLinkAndLoadFile(file);
            },
            Qt::QueuedConnection);
    // The board keeps its greeting until the window has connected and asks for it.
    if (m_pBoard) m_pBoard->Greet(*m_pDoc);
    return true;
}

bool CTarvolineApp::HandOffOrListen(bool postLinkLoad, const QString& file, bool waitForLoad) {
    QString where;
    m_instance = std::make_unique<CSingleInstance>(CSingleInstance::DefaultName(&where));
    if (m_instance->Name().isEmpty()) {
        std::cerr << "tarvoline: no safe place for the single-instance socket (" << where.toStdString()
                  << "); this start runs on its own\n";
        m_noSingleInstance = "there is no safe place for its socket (" + where + ")";
    }
    QString request = CSingleInstance::kActivate;
    if (postLinkLoad)
        request = file.isEmpty() ? QString(CSingleInstance::kPostLinkLoad)
                                 : CSingleInstance::FileRequest(CSingleInstance::kPostLinkLoad, file);
    else if (!file.isEmpty())
        request = CSingleInstance::FileRequest(CSingleInstance::kOpen, file);
    const int waitPrefix = waitForLoad ? int(std::strlen(CSingleInstance::kWait)) + 1 : 0;
    if (request.toUtf8().size() + waitPrefix >= CSingleInstance::kMaxRequest) {
        std::cerr << "tarvoline: " << file.toStdString()
                  << ": the path is too long to hand to a running Tarvoline\n";
        m_exitCode = 1;
        return false;
    }
    // Ctrl-C while this start waits for the answer ends the wait (the signal's byte is in the
    // pipe; no event loop runs yet to read it).
    auto interrupted = [] {
        char byte;
        return ::read(g_signalPipe[0], &byte, 1) > 0;
    };
    using Outcome = CHandOverResult::Outcome;
    const CHandOverResult answer = m_instance->Ask(request, waitForLoad, interrupted);
    const std::string text = answer.text.toStdString();
    const std::string name = file.toStdString();
    switch (answer.outcome) {
        case Outcome::NotHandedOver:
            break;
        case Outcome::Taken:
            m_exitCode = 0;
            return false;
        case Outcome::Loaded:
            std::cout << "tarvoline: " << name << ": loaded and started\n";
            m_exitCode = 0;
            return false;
        case Outcome::Refused:
            std::cerr << "tarvoline: " << text << "\n";
            m_exitCode = 1;
            return false;
        case Outcome::Failed:
            std::cerr << "tarvoline: the load of " << name << " failed: " << text << "\n";
            m_exitCode = 1;
            return false;
        case Outcome::Cancelled:
            std::cerr << "tarvoline: the load of " << name << " was cancelled\n";
            m_exitCode = 130;
            return false;
        case Outcome::NoAnswer:
            std::cerr << "tarvoline: " << text << "\n";
            m_exitCode = 1;
            return false;
        case Outcome::Interrupted:
            std::cerr << "tarvoline: stopped waiting; the running Tarvoline may still act on "
                         "the request\n";
            m_exitCode = 130;
            return false;
    }
    if (!m_instance->LastError().isEmpty())
        std::cerr << "tarvoline: " << m_instance->LastError().toStdString() << "\n";
    if (!m_instance->Name().isEmpty() && !m_instance->Listen()) {
        std::cerr << "tarvoline: cannot listen: " << m_instance->LastError().toStdString() << "\n";
        m_noSingleInstance = "it cannot listen at " + m_instance->LastError();
    }
    connect(m_instance.get(), &CSingleInstance::ActivationRequested, this,
            &CTarvolineApp::OnActivationRequested);
    return true;
}

// Once, in the window, and without holding up the start: the user learns why a second window
// may appear, which standard error alone does not tell a program started from the desktop.
void CTarvolineApp::ShowNoSingleInstance() {
    auto* box = new QMessageBox(
        QMessageBox::Warning, "Tarvoline",
        "Tarvoline cannot make sure that it runs only once: " + m_noSingleInstance +
            ".\n\nAnother start of Tarvoline opens a window of its own, which finds the port "
            "busy, instead of handing its request to this one.",
        QMessageBox::Ok, m_pMainFrame.get());
    box->setObjectName(kNoSingleInstanceBox);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void CTarvolineApp::ConnectCommands() {
    CMainFrame* frame = m_pMainFrame.get();
    connect(frame->Action(cmd::kCommSettings), &QAction::triggered, this,
            &CTarvolineApp::OnCommSettings);
    connect(frame->Action(cmd::kSendBreak), &QAction::triggered, this,
            [this] { m_pDoc->OnSendBreak(); });
    connect(frame->Action(cmd::kHelpContents), &QAction::triggered, this,
            &CTarvolineApp::OnHelpContents);
    connect(frame->Action(cmd::kAppAbout), &QAction::triggered, this, &CTarvolineApp::OnAppAbout);
}

bool CTarvolineApp::StartDemoBoard() {
    m_pBoard = std::make_unique<CDemoBoard>(QDir(applicationDirPath()).filePath("vivaz-sim"));
    QString error;
    if (m_pBoard->Start(*m_pDoc, error)) return true;
    QMessageBox::warning(nullptr, "Error", error);
    return false;
}

void CTarvolineApp::OnAppAbout() {
    CAboutBox box(m_pMainFrame.get());
    box.exec();
}

QString CTarvolineApp::ManualPath() {
    // In a build tree the manual is in help/ beside the program; installed, it is in the
    // documentation folder of the prefix the program was installed under.
    const QDir bin(applicationDirPath());
    const QStringList candidates = {
        bin.filePath("help/tarvoline.html"),
        bin.filePath(QStringLiteral(TARVOLINE_MANUAL_FROM_BINDIR "/tarvoline.html")),
    };
    for (const QString& path : candidates)
        if (QFileInfo::exists(path)) return QFileInfo(path).canonicalFilePath();
    return candidates.first();
}

void CTarvolineApp::OnHelpContents() {
    QUrl url = QUrl::fromLocalFile(ManualPath());
    url.setFragment("topic101");
    if (QDesktopServices::openUrl(url)) return;
    // No browser or launcher on this desktop: say where the manual is instead.
    QMessageBox box(QMessageBox::Information, "Tarvoline",
                    "No program to show the manual was found. The manual is the web page\n" +
                        ManualPath(),
                    QMessageBox::Ok, m_pMainFrame.get());
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void CTarvolineApp::OnCommSettings() {
    if (m_pDoc->RefuseWhileTransferRunning()) return;  // the transfer owns the line
    CCommSettingsDlg dialog(m_pDoc->Settings(), &m_pDoc->PortNames(), m_pMainFrame.get());
    dialog.OfferNetworkPorts(ReadRecentNetworkPorts(m_pStore.get()));
    if (dialog.exec() != QDialog::Accepted) return;
    const CPortSettings confirmed = dialog.Settings();
    m_pDoc->OnCommSettingsConfirmed(confirmed, dialog.ChosenDevice());
}

void CTarvolineApp::OnActivationRequested() {
    QWidget* target = activeModalWidget();
    if (!target) target = m_pMainFrame.get();
    if (!target) {
        beep();
        return;
    }
    if (target->isMinimized()) target->setWindowState(target->windowState() & ~Qt::WindowMinimized);
    target->show();
    target->raise();
    target->activateWindow();
}

bool CTarvolineApp::eventFilter(QObject* watched, QEvent* event) {
    if (CSplashWindow::PreTranslateAppMessage(event)) return true;
    return QApplication::eventFilter(watched, event);
}
