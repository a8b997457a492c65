#include "MainFrame.h"

#include <algorithm>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QWindow>

#include "CommandIds.h"
#include "document/SettingsStore.h"
#include "SplashWindow.h"
#include "terminal/CaptureDialogs.h"
#include "terminal/TarvolineView.h"

CMainFrame::CMainFrame(ISettingsStore* store, QWidget* parent)
    : QMainWindow(parent), m_store(store) {
    setWindowIcon(QIcon(":/res/tarvoline.png"));
    setWindowTitle(QString("%1 - %2").arg("Untitled", kAppName));
    m_pView = new CTarvolineView(this);
    // The writer itself: it follows the terminal's line edits, not only the text appended.
    m_pView->SetCaptureSink(&m_capture);
    m_capture.SetStoppedHandler(
        [this](const std::string& message) { OnCaptureFailed(message); });
    setCentralWidget(m_pView);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();

    int width = m_store ? m_store->GetProfileInt("Window", "X Size", kDefaultWidth)
                        : kDefaultWidth;
    int height = m_store ? m_store->GetProfileInt("Window", "Y Size", kDefaultHeight)
                         : kDefaultHeight;
    // An edited or stale store (30000, 10^9, a negative value) must not make a window larger
    // than the screen, or smaller than something usable.
    const QRect screenArea = screen()->availableGeometry();
    width = std::clamp(width, std::min(kMinimumWidth, screenArea.width()), screenArea.width());
    height = std::clamp(height, std::min(kMinimumHeight, screenArea.height()), screenArea.height());
    m_storedOuter = QSize(width, height);
    resize(m_storedOuter);
    move(screenArea.center() - QPoint(width / 2, height / 2));
    m_pView->setFocus();
}

QAction* CMainFrame::AddCommand(int id, const QString& text, const QString& prompt) {
    auto* action = new QAction(text, this);
    action->setData(id);
    const QStringList parts = prompt.split('\n');
    action->setStatusTip(parts.value(0));
    if (parts.size() > 1) action->setToolTip(parts.value(1));
    m_actions[id] = action;
    return action;
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

QLabel* CMainFrame::Indicator(int id) const {
    auto it = m_indicators.find(id);
    return it == m_indicators.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(AddCommand(cmd::kCommSettings, "&Communications Settings",
                               "Change port settings\nPort Settings"));
    QAction* connectPort = AddCommand(cmd::kConnect, QString(), QString());
    connectPort->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    file->addAction(connectPort);
    file->addSeparator();
    file->addAction(AddCommand(cmd::kFilePrint, "&Print...", "Print the current terminal view\nPrint"));
    file->addAction(AddCommand(cmd::kFilePrintPreview, "Print Pre&view",
                               "Display full pages\nPrint Preview"));
    file->addAction(AddCommand(cmd::kFilePrintSetup, "P&rint Setup...",
                               "Change the printer and printing options\nPrint Setup"));
    file->addSeparator();
    file->addAction(AddCommand(cmd::kAppExit, "E&xit",
                               "Quit the application; prompts to save documents\nExit"));

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addAction(AddCommand(cmd::kEditCopy, "&Copy",
                               "Copy the selection and put it on the Clipboard\nCopy"));
    edit->addAction(AddCommand(cmd::kPasteToTarget, "&Paste", "Insert Clipboard contents\nPaste"));
    edit->addAction(AddCommand(cmd::kPasteDateTime, "Paste Date && Time...", "Paste Date & Time"));
    edit->addSeparator();
    edit->addAction(AddCommand(cmd::kEditFind, "&Find...", "Find the specified text\nFind"));
    QAction* findNext = AddCommand(cmd::kEditRepeat, "F&ind Next",
                                   "Repeat the last action\nRepeat");
    findNext->setShortcut(Qt::Key_F3);
    edit->addAction(findNext);
    edit->addSeparator();
    edit->addAction(AddCommand(cmd::kClear, "C&lear", "Refreshes the terminal window\nClear"));

    QMenu* view = menuBar()->addMenu("&View");
    QAction* toolBar = AddCommand(cmd::kToolBar, "&Toolbar", "Show or hide the toolbar\nToggle ToolBar");
    QAction* statusBarItem =
        AddCommand(cmd::kStatusBar, "&Status Bar", "Show or hide the status bar\nToggle StatusBar");
    for (QAction* toggle : {toolBar, statusBarItem}) {
        toggle->setCheckable(true);
        toggle->setChecked(true);
        view->addAction(toggle);
    }
    QAction* timeStamps = AddCommand(
        cmd::kTimeStamps, "T&ime Stamps",
        "Start each received line with the time of its first byte\nTime Stamps");
    timeStamps->setCheckable(true);
    view->addAction(timeStamps);
    QAction* ansi = AddCommand(
        cmd::kAnsiColours, "&ANSI Colours",
        "Show the colours that escape sequences ask for, and never the sequences\nANSI Colours");
    ansi->setCheckable(true);
    view->addAction(ansi);
    QAction* hex = AddCommand(cmd::kHexView, "&Hex",
                              "Show the bytes received as hex rows with their characters\nHex");
    hex->setCheckable(true);
    view->addAction(hex);
    connect(view, &QMenu::aboutToShow, hex, [this, hex] { hex->setChecked(m_pView->HexViewOn()); });
    connect(hex, &QAction::triggered, this, [this](bool on) { m_pView->OnViewHex(on); });

    QMenu* format = menuBar()->addMenu("&Format");
    m_formatMenu = format;
    format->addAction(AddCommand(cmd::kFormatFont, "&Font...", "Change terminal font\nFont"));
    QAction* wrap = AddCommand(cmd::kFormatWrap, "&Wrap Text",
                               "Wrap lines that exceed terminal width");
    wrap->setCheckable(true);
    format->addAction(wrap);
    format->addAction(AddCommand(cmd::kFormatBackground, "&Set Background Color...",
                                 "Sets background color"));

    QMenu* transfer = menuBar()->addMenu("Transfer");
    m_transferMenu = transfer;
    transfer->addAction(AddCommand(cmd::kPostLinkAndLoad, "Post &Link and Load...",
                                   "Convert .Bin file and send .Run to target"));
    transfer->addAction(AddCommand(cmd::kPostLink, "Post Link...",
                                   "Convert .Bin file to absolute load files"));
    transfer->addSeparator();
    transfer->addAction(AddCommand(cmd::kLoadHex, "Load Hex...", "Send HEX file to target"));
    transfer->addAction(AddCommand(cmd::kLoadCpm68k, "Load CPM68&K...", "Send CPM68K file to target"));
    transfer->addAction(AddCommand(cmd::kLoadProgram, "Load &Program...",
                                   "Send a program (ELF, S-records, Intel HEX, .RUN, .APP) to "
                                   "target with the fast LOAD and start it"));
    transfer->addSeparator();
    // The edit-build-load loop: the last load once more, or by itself after every link.
    QAction* again = AddCommand(cmd::kLoadAgain, "Load &Again",
                                "Repeat the last load with the same file\nLoad Again");
    again->setShortcut(Qt::Key_F5);
    again->setEnabled(false);  // until a load has run
    transfer->addAction(again);
    QAction* onRebuild = AddCommand(
        cmd::kLoadOnRebuild, "Load on &Rebuild",
        "Load again each time the linker rewrites the last .Bin file or loaded program");
    onRebuild->setCheckable(true);
    transfer->addAction(onRebuild);
    transfer->addSeparator();
    transfer->addAction(AddCommand(cmd::kSendBreak, "Send &Break", "Send BREAK to target"));
    transfer->addAction(AddCommand(cmd::kSendSpecialChars, "Send Special Characters...",
                                   "Send special character(s) to target"));
    transfer->addSeparator();
    m_captureMenu = transfer->addMenu("Capture Text");
    m_captureMenu->addAction(AddCommand(cmd::kCaptureStart, "Start", "Start Capturing Text"));
    m_captureMenu->addAction(AddCommand(cmd::kCaptureStop, "Stop", "Stop Capturing Text"));
    m_captureMenu->addSeparator();
    m_captureMenu->addAction(
        AddCommand(cmd::kCapturePause, "Pause", "Pause the Capturing of Text"));
    m_captureMenu->addAction(
        AddCommand(cmd::kCaptureResume, "Resume", "Resume the Capturing of Text"));
    m_captureMenu->addSeparator();
    m_captureMenu->addAction(
        AddCommand(cmd::kCaptureOptions, "Options...", "Displayt Capture Text Options"));
    // The recent-file list ends the menu: a greyed "Recent File" while it is empty.
    m_recentSeparator = transfer->addSeparator();
    for (int i = 0; i < kRecentFiles; ++i) {
        QAction* entry = AddCommand(cmd::kRecentFile + i, "Recent File", "Open this document");
        entry->setEnabled(i == 0 ? false : true);
        entry->setVisible(i == 0);
        transfer->addAction(entry);
    }

    // Commands that no menu shows; something else sends them.
    AddCommand(cmd::kXmodemSend, "XMODEM Send", "Send a file using the XMODEM protocol\nXMODEM Send");
    AddCommand(cmd::kXmodemReceive, "XMODEM Receive",
               "Receive a file using the XMODEM protocol\nXMODEM Receive");
    AddCommand(cmd::kDisconnect, "Disconnect", "Disconnect from the port");

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(AddCommand(cmd::kHelpContents, "&Contents",
                               "Displays the table of contents for the online documentation"));
    help->addAction(AddCommand(cmd::kAppAbout, "&About Tarvoline...",
                               "Display program information, version number and "
                               "copyright\nAbout"));

    // Commands of the toolbar only.
    AddCommand(cmd::kEditCut, "Cu&t", "Cut the selection and put it on the Clipboard\nCut");

    // The view's own commands.
    connect(Action(cmd::kEditCopy), &QAction::triggered, m_pView, &QPlainTextEdit::copy);
    connect(Action(cmd::kEditCut), &QAction::triggered, m_pView, &QPlainTextEdit::cut);
    connect(Action(cmd::kPasteToTarget), &QAction::triggered, m_pView,
            &CTarvolineView::OnPasteToTarget);
    connect(Action(cmd::kEditFind), &QAction::triggered, m_pView, &CTarvolineView::OnEditFind);
    connect(Action(cmd::kEditRepeat), &QAction::triggered, m_pView,
            &CTarvolineView::OnEditRepeat);
    connect(Action(cmd::kClear), &QAction::triggered, m_pView, &CTarvolineView::OnClearTerminal);
    connect(Action(cmd::kFilePrint), &QAction::triggered, m_pView, &CTarvolineView::OnFilePrint);
    connect(Action(cmd::kFilePrintPreview), &QAction::triggered, m_pView,
            &CTarvolineView::OnPrintPreview);
    connect(Action(cmd::kFilePrintSetup), &QAction::triggered, m_pView,
            &CTarvolineView::OnFilePrintSetup);
    connect(Action(cmd::kPasteDateTime), &QAction::triggered, m_pView,
            &CTarvolineView::OnPasteDateTime);
    connect(Action(cmd::kFormatFont), &QAction::triggered, m_pView, &CTarvolineView::OnFormatFont);
    connect(Action(cmd::kFormatBackground), &QAction::triggered, m_pView,
            &CTarvolineView::OnFormatBackground);
    connect(Action(cmd::kSendSpecialChars), &QAction::triggered, m_pView,
            &CTarvolineView::OnSendSpecialChars);
    connect(Action(cmd::kAppExit), &QAction::triggered, this, &QWidget::close);
    // Copy and Cut need a selection.
    Action(cmd::kEditCopy)->setEnabled(false);
    Action(cmd::kEditCut)->setEnabled(false);
    connect(m_pView, &QPlainTextEdit::copyAvailable, Action(cmd::kEditCopy), &QAction::setEnabled);
    connect(m_pView, &QPlainTextEdit::copyAvailable, Action(cmd::kEditCut), &QAction::setEnabled);
    CreateAccelerators();
}

// Keys that are commands before the terminal sees them. Several belong to commands that do
// nothing here (an embedded object's properties, undo, panes, Esc, a local paste): the key is
// taken, and nothing reaches the board or the terminal text.
void CMainFrame::CreateAccelerators() {
    const std::pair<QKeySequence, int> keys[] = {
        {QKeySequence(Qt::ALT | Qt::Key_Return), cmd::kOleProperties},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), cmd::kEditUndo},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), cmd::kEditCut},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), cmd::kEditCopy},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), cmd::kEditPaste},
        {QKeySequence(Qt::Key_F6), cmd::kNextPane},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), cmd::kPrevPane},
        {QKeySequence(Qt::Key_Escape), cmd::kCancelKey},
    };
    for (const auto& [key, id] : keys) {
        // The key has an action of its own, so a menu item keeps its text without the key.
        auto* accelerator = new QAction(this);
        accelerator->setData(id);
        accelerator->setShortcut(key);
        accelerator->setShortcutContext(Qt::WindowShortcut);
        if (!Action(id)) AddCommand(id, QString(), QString());
        QAction* command = Action(id);
        connect(accelerator, &QAction::triggered, command, [command] {
            if (command->isEnabled()) command->trigger();
        });
        m_accelerators.push_back(accelerator);
        addAction(accelerator);
    }
}

void CMainFrame::CreateToolBar() {
    m_wndToolBar = new QToolBar("Standard", this);
    m_wndToolBar->setObjectName("toolbar59392");
    m_wndToolBar->setIconSize(QSize(16, 15));
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    const QPixmap strip(":/res/toolbar.png");
    int image = 0;
    auto button = [&](int id) {
        QAction* action = Action(id);
        action->setIcon(QIcon(strip.copy(image++ * 16, 0, 16, 15)));
        m_wndToolBar->addAction(action);
    };
    button(cmd::kEditCut);
    button(cmd::kEditCopy);
    button(cmd::kPasteToTarget);
    m_wndToolBar->addSeparator();
    button(cmd::kFilePrint);
    m_wndToolBar->addSeparator();
    m_wndToolBar->addAction(Action(cmd::kConnect));
    ShowConnectionActive(false);
    m_wndToolBar->addSeparator();
    button(cmd::kAppAbout);
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    connect(Action(cmd::kToolBar), &QAction::toggled, m_wndToolBar, &QToolBar::setVisible);
    connect(m_wndToolBar, &QToolBar::visibilityChanged, Action(cmd::kToolBar), &QAction::setChecked);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    connect(Action(cmd::kStatusBar), &QAction::toggled, bar, &QStatusBar::setVisible);
    bar->setObjectName("statusbar59393");
    auto* ready = new QLabel("Ready", bar);
    bar->addWidget(ready, 1);
    m_fullLineStatus = "Not connected";
    m_lineStatus = new QLabel(m_fullLineStatus, bar);
    m_lineStatus->setObjectName("linestatus");
    m_lineStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addPermanentWidget(m_lineStatus);
    // The lock keys' states are not offered by the platform; their panes show their names greyed.
    const std::pair<int, const char*> panes[] = {{cmd::kIndicatorCaps, "CAP"},
                                                 {cmd::kIndicatorNum, "NUM"},
                                                 {cmd::kIndicatorScrl, "SCRL"},
                                                 {cmd::kCaptureIndicator, "CAPTURE OFF"}};
    for (const auto& [id, text] : panes) {
        auto* label = new QLabel(text, bar);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 8);
        if (id != cmd::kCaptureIndicator) label->setEnabled(false);
        bar->addPermanentWidget(label);
        m_indicators[id] = label;
    }
}

void CMainFrame::SetRecentFiles(const std::vector<std::string>& menuTexts) {
    for (int i = 0; i < kRecentFiles; ++i) {
        QAction* entry = Action(cmd::kRecentFile + i);
        if (menuTexts.empty()) {
            entry->setText("Recent File");
            entry->setEnabled(false);
            entry->setVisible(i == 0);
        } else {
            const bool used = i < static_cast<int>(menuTexts.size());
            if (used) entry->setText(QString::fromStdString(menuTexts[i]));
            entry->setEnabled(used);
            entry->setVisible(used);
        }
    }
}

namespace {

// The toolbar's picture of the link: a plug and its socket, joined while connected.
QIcon ConnectionIcon(bool joined) {
    QPixmap picture(16, 15);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = joined ? QColor(0, 128, 0) : QColor(128, 0, 0);
    painter.setPen(QPen(colour, 1.5));
    painter.setBrush(colour);
    const int gap = joined ? 0 : 3;
    painter.drawRect(QRectF(1, 5, 4, 5));                // the socket's side
    painter.drawLine(QPointF(5, 7.5), QPointF(6 - gap / 2.0, 7.5));
    painter.drawRect(QRectF(8 + gap / 2.0, 4, 4, 7));    // the plug
    painter.drawLine(QPointF(6 + gap / 2.0, 6), QPointF(8 + gap / 2.0, 6));  // its pins
    painter.drawLine(QPointF(6 + gap / 2.0, 9), QPointF(8 + gap / 2.0, 9));
    painter.drawLine(QPointF(12 + gap / 2.0, 7.5), QPointF(15, 7.5));  // the cable
    return QIcon(picture);
}

}  // namespace

void CMainFrame::ShowConnectionActive(bool active) {
    QAction* action = Action(cmd::kConnect);
    action->setText(active ? "&Disconnect" : "&Connect");
    action->setStatusTip(active ? "Close the port, or stop waiting for it"
                                : "Open the port of the communication settings");
    action->setToolTip(active ? "Disconnect" : "Connect");
    action->setIcon(ConnectionIcon(active));
}

void CMainFrame::SetLineStatus(const std::string& text) {
    m_fullLineStatus = QString::fromStdString(text);
    m_lineStatus->setToolTip(m_fullLineStatus);
    FitLineStatus();
}

void CMainFrame::FitLineStatus() {
    if (!m_lineStatus) return;
    // The room the pane may take: the window less the other panes, a little for "Ready" and
    // the pane's own frame.
    const QFontMetrics metrics(m_lineStatus->font());
    int others = metrics.horizontalAdvance("Ready") + 24;
    for (const auto& [id, pane] : m_indicators) others += pane->sizeHint().width() + 6;
    const int frame = 2 * m_lineStatus->frameWidth() + m_lineStatus->contentsMargins().left() +
                      m_lineStatus->contentsMargins().right() + 8;
    const int room = std::max(0, width() - others - frame);
    QString shown = m_fullLineStatus;
    if (metrics.horizontalAdvance(shown) > room) {
        // "NAME  9600 8N1  none": the rate, format and flow stay whole; the name gives way.
        const qsizetype flowAt = shown.lastIndexOf("  ");
        const qsizetype rateAt = flowAt > 0 ? shown.lastIndexOf("  ", flowAt - 1) : -1;
        if (rateAt > 0) {
            const QString tail = shown.mid(rateAt);
            const QString head = metrics.elidedText(
                shown.left(rateAt), Qt::ElideMiddle,
                std::max(metrics.horizontalAdvance(QChar(0x2026)),
                         room - metrics.horizontalAdvance(tail)));
            shown = head + tail;
        }
    }
    m_lineStatus->setText(shown);
}

QString CMainFrame::LineStatus() const { return m_lineStatus->text(); }

void CMainFrame::SetDocumentTitle(const std::string& title) {
    setWindowTitle(QString("%1 - %2").arg(QString::fromStdString(title), kAppName));
}

CMainFrame::~CMainFrame() {
    // The window is going: a close that fails is told here and now, not queued to it.
    m_capture.SetStoppedHandler([](const std::string& message) { ShowCaptureError(message); });
    if (m_capture.CanStop()) OnCaptureStop();
}

void CMainFrame::CaptureText(const unsigned char* bytes, int count) {
    m_capture.CaptureText(bytes, count);
}

void CMainFrame::OnCaptureStop() {
    m_capture.Stop();
    ShowCaptureState(false);
}

void CMainFrame::OnCaptureFailed(const std::string& message) {
    ShowCaptureState(false);
    // A write fails while the view takes in received text, with the port's watcher waiting for
    // it: the box waits until that is done, so the terminal does not take in more text from
    // inside it.
    QMetaObject::invokeMethod(
        this, [text = message] { ShowCaptureError(text); }, Qt::QueuedConnection);
}

void CMainFrame::ShowCaptureState(bool on) {
    if (QLabel* pane = Indicator(cmd::kCaptureIndicator))
        pane->setText(on ? "CAPTURE ON" : "CAPTURE OFF");
}

void CMainFrame::StoreSize() {
    if (!m_store) return;
    const QSize outer = frameGeometry().size();
    m_store->WriteProfileInt("Window", "X Size", outer.width());
    m_store->WriteProfileInt("Window", "Y Size", outer.height());
}

// The stored size is the outer one; once the window manager tells the frame's borders, the
// inner size is made to fit inside it.
void CMainFrame::FitOuterSize() {
    if (m_outerFitted || !windowHandle()) return;
    const QMargins margins = windowHandle()->frameMargins();
    if (margins.isNull()) return;
    m_outerFitted = true;
    resize(m_storedOuter.width() - margins.left() - margins.right(),
           m_storedOuter.height() - margins.top() - margins.bottom());
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FitLineStatus();
    FitOuterSize();
    StoreSize();
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    FitOuterSize();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shownOnce) return;
    m_shownOnce = true;
    CSplashWindow::ShowSplashScreen(this);
}
