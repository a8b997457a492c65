// The main frame: menus with their command numbers, toolbar, status bar, caption, window size
// and the splash window.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QScreen>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

#include "GuiSupport.h"
#include "ViewFixture.h"
#include "app/AboutBox.h"
#include "app/CommandIds.h"
#include <QStatusBar>
#include <QToolBar>

#include "app/MainFrame.h"
#include "app/QtSettingsStore.h"
#include "app/SplashWindow.h"

namespace {

struct MenuItem {
    QString menu, text;
    int id;
};

std::vector<MenuItem> MenuItems(const CMainFrame& frame) {
    std::vector<MenuItem> out;
    for (QAction* top : frame.menuBar()->actions()) {
        for (QAction* item : top->menu()->actions())
            if (item->isVisible())
                out.push_back({top->text(), item->isSeparator() ? "-" : item->text(),
                           item->isSeparator() ? 0 : item->data().toInt()});
    }
    return out;
}

TEST(MainFrame, MenusCarryTheirTextsAndCommandNumbers) {
    CSplashWindow::EnableSplashScreen(false);
    CMainFrame frame(nullptr);
    const std::vector<std::tuple<const char*, const char*, int>> expected = {
        {"&File", "&Communications Settings", 32771},
        {"&File", "&Connect", 32813},
        {"&File", "-", 0},
        {"&File", "&Print...", 57607},
        {"&File", "Print Pre&view", 57609},
        {"&File", "P&rint Setup...", 57606},
        {"&File", "-", 0},
        {"&File", "E&xit", 57665},
        {"&Edit", "&Copy", 57634},
        {"&Edit", "&Paste", 32808},
        {"&Edit", "Paste Date && Time...", 32803},
        {"&Edit", "-", 0},
        {"&Edit", "&Find...", 57636},
        {"&Edit", "F&ind Next", 57640},
        {"&Edit", "-", 0},
        {"&Edit", "C&lear", 32788},
        {"&View", "&Toolbar", 59392},
        {"&View", "&Status Bar", 59393},
        {"&View", "T&ime Stamps", 32810},
        {"&View", "&ANSI Colours", 32831},
        {"&View", "&Hex", 32830},
        {"&Format", "&Font...", 57696},
        {"&Format", "&Wrap Text", 32799},
        {"&Format", "&Set Background Color...", 32801},
        {"Transfer", "Post &Link and Load...", 32779},
        {"Transfer", "Post Link...", 32780},
        {"Transfer", "-", 0},
        {"Transfer", "Load Hex...", 32781},
        {"Transfer", "Load CPM68&K...", 32782},
        {"Transfer", "Load &Program...", 32783},
        {"Transfer", "-", 0},
        {"Transfer", "Load &Again", 32811},
        {"Transfer", "Load on &Rebuild", 32812},
        {"Transfer", "-", 0},
        {"Transfer", "Send &Break", 32800},
        {"Transfer", "Send Special Characters...", 32802},
        {"Transfer", "-", 0},
        {"Transfer", "Capture Text", 0},
        {"Transfer", "-", 0},
        {"Transfer", "Recent File", 57616},
        {"&Help", "&Contents", 32807},
        {"&Help", "&About Tarvoline...", 57664},
    };
    const auto items = MenuItems(frame);
    ASSERT_EQ(expected.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(QString(std::get<0>(expected[i])), items[i].menu);
        EXPECT_EQ(QString(std::get<1>(expected[i])), items[i].text);
        EXPECT_EQ(std::get<2>(expected[i]), items[i].id);
    }
    EXPECT_EQ(QKeySequence(Qt::Key_F3), frame.Action(cmd::kEditRepeat)->shortcut());
    EXPECT_EQ(QKeySequence(Qt::Key_F5), frame.Action(cmd::kLoadAgain)->shortcut());
    EXPECT_FALSE(frame.Action(cmd::kLoadAgain)->isEnabled());  // until a load has run
    EXPECT_TRUE(frame.Action(cmd::kLoadOnRebuild)->isCheckable());
    EXPECT_FALSE(frame.Action(cmd::kLoadOnRebuild)->isChecked());
}

TEST(MainFrame, AcceleratorsAreCommands) {
    CSplashWindow::EnableSplashScreen(false);
    CMainFrame frame(nullptr);
    const std::pair<QKeySequence, int> keys[] = {
        {QKeySequence(Qt::Key_F3), 57640},
        {QKeySequence(Qt::ALT | Qt::Key_Return), 57860},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), 57643},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), 57635},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), 57634},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), 57637},
        {QKeySequence(Qt::Key_F6), 57680},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), 57681},
        {QKeySequence(Qt::Key_Escape), 32768},
    };
    for (const auto& [key, id] : keys) {
        ASSERT_NE(nullptr, frame.Action(id)) << id;
        bool found = frame.Action(id)->shortcuts().contains(key);
        for (QAction* accelerator : frame.Accelerators())
            if (accelerator->data().toInt() == id && accelerator->shortcut() == key) found = true;
        EXPECT_TRUE(found) << id;
    }
    // Menu items show no key beside them, but for Find Next's F3.
    EXPECT_TRUE(frame.Action(cmd::kEditCopy)->shortcut().isEmpty());
}

TEST(MainFrame, ViewMenuShowsAndHidesTheBars) {
    CSplashWindow::EnableSplashScreen(false);
    CMainFrame frame(nullptr);
    frame.show();
    EXPECT_TRUE(frame.Action(cmd::kToolBar)->isChecked());
    frame.Action(cmd::kToolBar)->trigger();
    EXPECT_FALSE(frame.ToolBar()->isVisible());
    frame.Action(cmd::kStatusBar)->trigger();
    EXPECT_FALSE(frame.statusBar()->isVisible());
    frame.Action(cmd::kToolBar)->trigger();
    frame.Action(cmd::kStatusBar)->trigger();
    EXPECT_TRUE(frame.ToolBar()->isVisible());
    EXPECT_TRUE(frame.statusBar()->isVisible());
}

TEST(MainFrame, CaptureTextSubmenu) {
    CMainFrame frame(nullptr);
    ASSERT_NE(nullptr, frame.CaptureMenu());
    EXPECT_EQ(QString("Capture Text"), frame.CaptureMenu()->title());
    EXPECT_TRUE(frame.TransferMenu()->actions().contains(frame.CaptureMenu()->menuAction()));
    std::vector<std::pair<QString, int>> items;
    for (QAction* a : frame.CaptureMenu()->actions())
        items.emplace_back(a->isSeparator() ? "-" : a->text(), a->data().toInt());
    const std::vector<std::pair<QString, int>> expected = {
        {"Start", 32794}, {"Stop", 32795},   {"-", 0},          {"Pause", 32796},
        {"Resume", 32797}, {"-", 0},         {"Options...", 32798}};
    EXPECT_EQ(expected, items);
    EXPECT_TRUE(frame.Action(32799)->isCheckable());
}

TEST(MainFrame, PromptsOfTheTerminalCommands) {
    CMainFrame frame(nullptr);
    const std::vector<std::tuple<int, const char*, const char*>> expected = {
        {32794, "Start Capturing Text", ""},
        {32795, "Stop Capturing Text", ""},
        {32796, "Pause the Capturing of Text", ""},
        {32797, "Resume the Capturing of Text", ""},
        {32798, "Displayt Capture Text Options", ""},
        {32799, "Wrap lines that exceed terminal width", ""},
        {32801, "Sets background color", ""},
        {32802, "Send special character(s) to target", ""},
        {32803, "Paste Date & Time", ""},
        {57609, "Display full pages", "Print Preview"},
        {57696, "Change terminal font", "Font"},
    };
    for (const auto& [id, prompt, tip] : expected) {
        EXPECT_EQ(QString(prompt), frame.Action(id)->statusTip()) << id;
        if (*tip) {
            EXPECT_EQ(QString(tip), frame.Action(id)->toolTip()) << id;
        }
    }
}

TEST(MainFrame, PromptsAndTooltips) {
    CMainFrame frame(nullptr);
    EXPECT_EQ(QString("Change port settings"), frame.Action(32771)->statusTip());
    EXPECT_EQ(QString("Port Settings"), frame.Action(32771)->toolTip());
    EXPECT_EQ(QString("Send BREAK to target"), frame.Action(32800)->statusTip());
    EXPECT_EQ(QString("Insert Clipboard contents"), frame.Action(32808)->statusTip());
    EXPECT_EQ(QString("Refreshes the terminal window"), frame.Action(32788)->statusTip());
    EXPECT_EQ(QString("Displays the table of contents for the online documentation"),
              frame.Action(32807)->statusTip());
    EXPECT_EQ(QString("Print the current terminal view"), frame.Action(57607)->statusTip());
    EXPECT_EQ(QString("Display program information, version number and copyright"),
              frame.Action(57664)->statusTip());
}

TEST(MainFrame, ToolbarButtonsInOrder) {
    CMainFrame frame(nullptr);
    std::vector<int> ids;
    for (QAction* a : frame.ToolBar()->actions()) ids.push_back(a->isSeparator() ? 0 : a->data().toInt());
    EXPECT_EQ((std::vector<int>{57635, 57634, 32808, 0, 57607, 0, 32813, 0, 57664}), ids);
    EXPECT_EQ(QSize(16, 15), frame.ToolBar()->iconSize());
}

TEST(MainFrame, StatusBarPanes) {
    CMainFrame frame(nullptr);
    EXPECT_EQ(QString("CAP"), frame.Indicator(59137)->text());
    EXPECT_EQ(QString("NUM"), frame.Indicator(59138)->text());
    EXPECT_EQ(QString("SCRL"), frame.Indicator(59139)->text());
    EXPECT_EQ(QString("CAPTURE OFF"), frame.Indicator(32772)->text());
}

TEST(MainFrame, CaptionShowsTheDocumentTitle) {
    CMainFrame frame(nullptr);
    frame.SetDocumentTitle("COM3");
    EXPECT_EQ(QString("COM3 - Tarvoline"), frame.windowTitle());
    frame.SetDocumentTitle("Not connected");
    EXPECT_EQ(QString("Not connected - Tarvoline"), frame.windowTitle());
}

TEST(MainFrame, FirstSizeIsTheDefault) {
    CMemorySettingsStore store;
    CMainFrame frame(&store);
    EXPECT_EQ(QSize(620, 460), frame.size());
}

TEST(MainFrame, AStoredSizeBeyondTheScreenIsClampedToIt) {
    for (int stored : {30000, 1000000000, -5, 0}) {
        CMemorySettingsStore store;
        store.WriteProfileInt("Window", "X Size", stored);
        store.WriteProfileInt("Window", "Y Size", stored);
        CMainFrame frame(&store);
        const QRect screen = frame.screen()->availableGeometry();
        EXPECT_LE(frame.width(), screen.width()) << stored;
        EXPECT_LE(frame.height(), screen.height()) << stored;
        EXPECT_GE(frame.width(), std::min(CMainFrame::kMinimumWidth, screen.width())) << stored;
        EXPECT_GE(frame.height(), std::min(CMainFrame::kMinimumHeight, screen.height())) << stored;
    }
}

TEST(MainFrame, SizeIsKeptAcrossRuns) {
    CSplashWindow::EnableSplashScreen(false);
    CQtSettingsStore store;
    store.WriteProfileInt("Window", "X Size", 620);
    store.WriteProfileInt("Window", "Y Size", 460);
    {
        CMainFrame frame(&store);
        frame.show();
        // The outer size (with the frame's borders) is what is stored.
        frame.resize(700, 520);
        EXPECT_EQ(frame.frameGeometry().width(), store.GetProfileInt("Window", "X Size", -1));
        EXPECT_EQ(frame.frameGeometry().height(), store.GetProfileInt("Window", "Y Size", -1));
        EXPECT_GE(store.GetProfileInt("Window", "X Size", -1), 700);
        frame.showMaximized();
        ASSERT_TRUE(WaitFor([&] { return frame.isMaximized(); }));
        frame.showNormal();
        frame.resize(710, 530);
    }
    CQtSettingsStore again;
    const QSize stored(again.GetProfileInt("Window", "X Size", -1),
                       again.GetProfileInt("Window", "Y Size", -1));
    CMainFrame frame(&again);
    frame.show();
    ASSERT_TRUE(WaitFor([&] { return frame.frameGeometry().size() == stored; }))
        << frame.frameGeometry().width() << "x" << frame.frameGeometry().height();
    EXPECT_EQ(stored, QSize(again.GetProfileInt("Window", "X Size", -1),
                            again.GetProfileInt("Window", "Y Size", -1)));
}

TEST(AboutBox, TextsAndCaption) {
    CAboutBox box;
    EXPECT_EQ(QString("About Tarvoline"), box.windowTitle());
    EXPECT_EQ(QString("Tarvoline Version 2.00"), box.findChild<QLabel*>("version")->text());
}

class SplashTest : public ViewFixture {};

TEST_F(SplashTest, ShownOverTheFrameAndClosedByAKeyThatIsNotTyped) {
    CSplashWindow::EnableSplashScreen(true);
    CMainFrame frame(&store);
    frame.View()->SetDocument(doc.get());
    doc->AddView(frame.View());
    doc->Connect();
    frame.show();
    ASSERT_NE(nullptr, CSplashWindow::Current());
    EXPECT_EQ(QSize(520, 262), CSplashWindow::Current()->size());
    // The key goes through the application's filter, as a real key press would.
    struct Filter : QObject {
        bool eventFilter(QObject*, QEvent* e) override {
            return CSplashWindow::PreTranslateAppMessage(e);
        }
    } filter;
    qApp->installEventFilter(&filter);
    QTest::keyClick(frame.View(), Qt::Key_A);
    qApp->removeEventFilter(&filter);
    EXPECT_EQ(nullptr, CSplashWindow::Current());
    EXPECT_EQ("", pty.Read(1, std::chrono::milliseconds(200)));
    QTest::keyClick(frame.View(), Qt::Key_B);
    EXPECT_EQ("b", pty.Read(1));
    doc->RemoveView(frame.View());
    CSplashWindow::EnableSplashScreen(false);
}

TEST(Splash, ClosesItselfAfterItsTime) {
    CSplashWindow::EnableSplashScreen(true);
    CMainFrame frame(nullptr);
    frame.show();
    ASSERT_NE(nullptr, CSplashWindow::Current());
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(WaitFor([] { return CSplashWindow::Current() == nullptr; }, 4000));
    EXPECT_GE(timer.elapsed(), 1300);
    CSplashWindow::EnableSplashScreen(false);
}

}  // namespace
