// The connection in the window: File > Connect / Disconnect with a device another program
// holds, the status pane with a long device name, network ports typed into the settings
// dialog, and the demo's first screen.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "GuiSupport.h"
#include "PortHolder.h"
#include "Pty.h"
#include "RecordingUi.h"
#include "app/CommandIds.h"
#include "app/ConnectionCommand.h"
#include "app/DemoBoard.h"
#include "app/MainFrame.h"
#include "app/SplashWindow.h"
#include "app/UiCallPump.h"
#include "comm/CommSettingsDlg.h"
#include "document/MemorySettingsStore.h"
#include "document/RecentNetworkPorts.h"
#include "document/TarvolineDoc.h"
#include "terminal/TarvolineView.h"

namespace {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        CSplashWindow::EnableSplashScreen(false);
        frame = std::make_unique<CMainFrame>(&store);
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        frame->View()->SetDocument(doc.get());
        doc->AddView(frame->View());
        command = std::make_unique<CConnectionCommand>(*frame, *doc);
        frame->show();
    }
    void TearDown() override {
        command.reset();
        doc.reset();
        frame.reset();
    }
    QAction* ConnectAction() const { return frame->Action(cmd::kConnect); }
    QString Text() const { return frame->View()->toPlainText(); }

    CMemorySettingsStore store;
    CRecordingUi ui;
    CUiCallQueue calls;
    CUiCallPump pump{calls};
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CTarvolineDoc> doc;
    std::unique_ptr<CConnectionCommand> command;
};

using ConnectionWindow = WindowFixture;

TEST_F(ConnectionWindow, OneCommandInTheFileMenuTheToolbarAndCtrlShiftD) {
    CTestPty pty;
    doc->PortNames().Bind("COM3", pty.SlavePath());
    ASSERT_NE(nullptr, ConnectAction());
    EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), ConnectAction()->shortcut());
    EXPECT_TRUE(frame->ToolBar()->actions().contains(ConnectAction()));
    EXPECT_EQ("&Connect", ConnectAction()->text());

    doc->OnNewDocument();
    command->Update();
    EXPECT_EQ("&Disconnect", ConnectAction()->text());
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame->View(), Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(doc->OnUpdateConnected());
    EXPECT_EQ("&Connect", ConnectAction()->text());
    EXPECT_EQ("", pty.Read(1, std::chrono::milliseconds(100)));  // nothing typed to the board
    ConnectAction()->trigger();
    EXPECT_TRUE(doc->OnUpdateConnected());
    EXPECT_EQ("&Disconnect", ConnectAction()->text());
}

TEST_F(ConnectionWindow, ABusyDeviceIsNotTakenWhenItFreesButConnectTakesIt) {
    CTestPty pty;
    doc->PortNames().Bind("COM3", pty.SlavePath());
    {
        CPortHolder other(pty.SlavePath());
        ConnectAction()->trigger();
        ASSERT_EQ(1u, ui.messages.size());
        EXPECT_NE(std::string::npos, ui.messages[0].text.find("Device or resource busy"));
        EXPECT_EQ("&Connect", ConnectAction()->text());
    }
    // Freed: several of the document's retry periods pass without it taking the device.
    QElapsedTimer passed;
    passed.start();
    WaitFor([&] { return passed.elapsed() > 4 * CTarvolineDoc::kRetryMilliseconds; });
    EXPECT_FALSE(doc->OnUpdateConnected());
    EXPECT_EQ(1u, ui.messages.size());
    ConnectAction()->trigger();
    EXPECT_TRUE(doc->OnUpdateConnected());
    ASSERT_TRUE(doc->SendChar('c'));
    EXPECT_EQ("c", pty.Read(1));
}

TEST_F(ConnectionWindow, ALongDeviceNameGivesWayInItsMiddleToTheRateAndFormat) {
    frame->resize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight);
    const std::string name =
        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI_Bench_Seven_Rack_Three-if00-port0";
    frame->SetLineStatus(name + "  9600 8N1  none");
    QApplication::processEvents();
    auto* pane = frame->findChild<QLabel*>("linestatus");
    ASSERT_NE(nullptr, pane);
    const QString shown = frame->LineStatus();
    EXPECT_TRUE(shown.endsWith("  9600 8N1  none")) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith("/dev/ser")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.contains("port0")) << shown.toStdString();
    EXPECT_EQ(QString::fromStdString(name + "  9600 8N1  none"), pane->toolTip());
    // All of it is in sight: inside the pane, and the pane inside the window.
    EXPECT_LE(pane->fontMetrics().horizontalAdvance(shown), pane->contentsRect().width());
    EXPECT_LE(pane->mapTo(frame.get(), QPoint(pane->width(), 0)).x(), frame->width());

    frame->SetLineStatus("/dev/ttyUSB0  9600 8N1  none");  // a short one stays whole
    EXPECT_EQ("/dev/ttyUSB0  9600 8N1  none", frame->LineStatus());
}

TEST(NetworkPortInSettings, ATypedAddressIsCheckedKeptAndOfferedAgain) {
    CMemorySettingsStore store;
    {
        // A bad address is refused with its reason, and the dialog stays.
        CCommSettingsDlg dlg(CPortSettings{}, nullptr);
        dlg.show();
        qobject_cast<QLineEdit*>(dlg.Control(1021))->setText("");
        auto* device = dlg.findChild<QComboBox*>("device");
        device->setEditText("rfc2217://rack7");
        CMessageBoxCatcher catcher;
        dlg.setResult(-1);
        QTest::mouseClick(dlg.findChild<QPushButton*>("1"), Qt::LeftButton);
        ASSERT_EQ(1u, catcher.texts.size());
        EXPECT_EQ("\"rfc2217://rack7\" has no port number: write HOST:PORT.", catcher.texts[0]);
        EXPECT_EQ(-1, dlg.result());

        // Without a port number the address is the port itself.
        device->setEditText("rfc2217://rack7:7416");
        dlg.accept();
        ASSERT_EQ(QDialog::Accepted, dlg.result());
        EXPECT_EQ("rfc2217://rack7:7416", dlg.Settings().m_strComPort);
        EXPECT_FALSE(dlg.ChosenDevice());
    }
    {
        // With one, it is the device of that port.
        CCommSettingsDlg dlg(CPortSettings{}, nullptr);
        qobject_cast<QLineEdit*>(dlg.Control(1021))->setText("3");
        dlg.findChild<QComboBox*>("device")->setEditText("tcp://bench:4001");
        dlg.accept();
        ASSERT_EQ(QDialog::Accepted, dlg.result());
        EXPECT_EQ("COM3", dlg.Settings().m_strComPort);
        EXPECT_EQ("tcp://bench:4001", dlg.ChosenDevice().value_or(""));
    }
    // The document keeps the ports taken, most recent first, and the dialog offers them.
    RememberNetworkPort(&store, "rfc2217://rack7:7416");
    RememberNetworkPort(&store, "tcp://bench:4001");
    RememberNetworkPort(&store, "rfc2217://rack7:7416");
    RememberNetworkPort(&store, "/dev/ttyUSB0");  // no network port: not listed
    const std::vector<std::string> recent = ReadRecentNetworkPorts(&store);
    ASSERT_EQ((std::vector<std::string>{"rfc2217://rack7:7416", "tcp://bench:4001"}), recent);
    CPortSettings stored;
    stored.m_strComPort = "rfc2217://rack7:7416";
    CCommSettingsDlg dlg(stored, nullptr);
    dlg.OfferNetworkPorts(recent);
    auto* device = dlg.findChild<QComboBox*>("device");
    ASSERT_GE(device->count(), 2);
    EXPECT_EQ("rfc2217://rack7:7416", device->itemText(0));
    EXPECT_EQ("tcp://bench:4001", device->itemText(1));
    EXPECT_EQ("rfc2217://rack7:7416", device->currentText());  // the stored port, shown
    EXPECT_TRUE(qobject_cast<QLineEdit*>(dlg.Control(1021))->text().isEmpty());
    dlg.accept();
    EXPECT_EQ("rfc2217://rack7:7416", dlg.Settings().m_strComPort);
}

TEST(NetworkPortInSettings, ConfirmedSettingsRememberTheNetworkPort) {
    CMemorySettingsStore store;
    CRecordingUi ui;
    CUiCallQueue calls;
    CTarvolineDoc doc(&store, ui, calls);
    CPortSettings settings = doc.Settings();
    // Nothing serves it: the open fails and is waited for, but the choice is kept.
    doc.OnCommSettingsConfirmed(settings, std::string("rfc2217://127.0.0.1:1"));
    EXPECT_EQ((std::vector<std::string>{"rfc2217://127.0.0.1:1"}), ReadRecentNetworkPorts(&store));
    doc.Disconnect();
}

#ifdef TARVOLINE_HAVE_SIM
TEST_F(ConnectionWindow, TheDemosFirstScreenHoldsTheWholeGreetingAndOnePrompt) {
    const QString program =
        QFileInfo(QString(TARVOLINE_PROGRAM)).dir().filePath("vivaz-sim");
    CDemoBoard board(program);
    QString error;
    ASSERT_TRUE(board.Start(*doc, error)) << error.toStdString();
    // The window opens the line some time after the board started, as the program does.
    QTest::qWait(300);
    doc->OnNewDocument();
    ASSERT_TRUE(doc->OnUpdateConnected()) << (ui.messages.empty() ? "" : ui.messages[0].text);
    board.Greet(*doc);
    const QString greeting = "ViVaz ROM monitor 2.0 (simulated 68000 board)\n"
                             "Console 9600 8N1, RAM 16 MiB. Type help for commands.\n> ";
    ASSERT_TRUE(WaitFor([&] { return Text().contains(greeting); }, 20000)) << Text().toStdString();
    QTest::qWait(500);  // anything more would have come by now
    EXPECT_EQ(greeting, Text().trimmed() + " ") << Text().toStdString();
    EXPECT_EQ(1, Text().count("> "));
}
#endif

}  // namespace
