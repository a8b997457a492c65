// The terminal window against the simulated board: typed keys reach the board and its echo
// shows; a baud change in the settings dialog while connected keeps the text.
#ifdef TARVOLINE_HAVE_SIM
// The board's headers first: they use a name that Qt defines as a macro.
#include "simulated_board.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>

#include "GuiSupport.h"
#include "RecordingUi.h"
#include "app/MainFrame.h"
#include "document/MemorySettingsStore.h"
#include "app/SplashWindow.h"
#include "document/TarvolineDoc.h"
#include "app/UiCallPump.h"
#include "comm/CommSettingsDlg.h"
#include "terminal/TarvolineView.h"

namespace {

class BoardFixture : public ::testing::Test {
protected:
    void SetUp() override {
        CSplashWindow::EnableSplashScreen(false);
        frame = std::make_unique<CMainFrame>(&store);
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        doc->PortNames().Bind("COM3", board.devicePath());
        frame->View()->SetDocument(doc.get());
        doc->AddView(frame->View());
        ui.answer = MessageResult::No;
        frame->show();
        ASSERT_TRUE(doc->OnNewDocument());
        ASSERT_NE(nullptr, doc->Port()) << (ui.messages.empty() ? "" : ui.messages[0].text);
    }
    void TearDown() override {
        doc.reset();
        frame.reset();
    }
    QString Text() const { return frame->View()->toPlainText(); }
    void Type(const QString& keys) {
        QTest::keyClicks(frame->View(), keys);
        QTest::keyClick(frame->View(), Qt::Key_Return);
    }

    vivaz::testing::SimulatedBoard board;
    CMemorySettingsStore store;
    CRecordingUi ui;
    CUiCallQueue calls;
    CUiCallPump pump{calls};
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CTarvolineDoc> doc;
};

TEST_F(BoardFixture, TypedKeysReachTheBoardAndItsEchoShows) {
    Type("help");
    ASSERT_TRUE(WaitFor([&] { return board.received().find("help\r") != std::string::npos; }))
        << board.received();
    ASSERT_TRUE(WaitFor([&] { return Text().contains("Commands:"); })) << Text().toStdString();
    EXPECT_TRUE(Text().startsWith("help\n")) << Text().toStdString();
    ASSERT_FALSE(ui.titles.empty());
    EXPECT_EQ("COM3", ui.titles.back());
}

TEST_F(BoardFixture, BaudChangeWhileConnectedKeepsTheText) {
    Type("help");
    ASSERT_TRUE(WaitFor([&] { return Text().contains("Commands:"); }));
    const QString before = Text();
    CCommSettingsDlg dialog(doc->Settings(), &doc->PortNames(), frame.get());
    qobject_cast<QComboBox*>(dialog.Control(1001))->setCurrentText("19200");
    dialog.accept();
    ASSERT_EQ(QDialog::Accepted, dialog.result());
    CCommPort* port = doc->Port();
    doc->OnCommSettingsConfirmed(dialog.Settings());
    EXPECT_EQ(port, doc->Port());  // not reopened
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ("19200", store.GetProfileString("COM Settings", "Baud Rate", ""));
    QApplication::processEvents();
    EXPECT_EQ(before, Text());
}

TEST_F(BoardFixture, ClearThenTheBoardStillAnswers) {
    frame->View()->OnClearTerminal();
    Type("md 0 10");
    ASSERT_TRUE(WaitFor([&] { return Text().contains("> "); })) << Text().toStdString();
    EXPECT_TRUE(Text().startsWith("md 0 10\n"));
}

}  // namespace
#endif
