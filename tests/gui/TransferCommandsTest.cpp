// The Transfer menu in the window against the simulated board: enabling, file dialogs and the
// last directory, Post Link and Load with its progress windows, and opening a load file as a
// document, whose load runs on a worker while the window stays live.
#ifdef TARVOLINE_HAVE_SIM
// The board's headers first: they use a name that Qt defines as a macro.
#include "simulated_board.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QDir>
#include <QTest>
#include <filesystem>

#include "GuiSupport.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "document/MemorySettingsStore.h"
#include "app/QtDocumentUi.h"
#include "app/SplashWindow.h"
#include "document/TarvolineDoc.h"
#include "app/TransferCommands.h"
#include "app/UiCallPump.h"
#include "bin_writer.h"
#include "terminal/TarvolineView.h"

namespace {

namespace kit = tarvoline::postlink::testkit;

class TransferMenu : public ::testing::Test {
protected:
    void SetUp() override {
        CSplashWindow::EnableSplashScreen(false);
        dir = QDir::tempPath().toStdString() + "/transfer-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        kit::SaveFile(dir + "/demo.Bin", kit::WriteBinFile(kit::Program{}));

        store.WriteProfileString("Devices", "COM3", board.devicePath());
        frame = std::make_unique<CMainFrame>(&store);
        ui.SetGuiThread(&calls, frame.get());
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        transfers = std::make_unique<CTransferCommands>(*frame, *doc, &store);
        frame->View()->SetDocument(doc.get());
        doc->AddView(frame->View());
        frame->show();
    }
    void TearDown() override {
        transfers.reset();
        doc.reset();
        frame.reset();
    }
    QAction* Action(int id) const { return frame->Action(id); }
    bool Started(const char* address) {
        return WaitFor([&] { return !board.notes().empty() && board.waitForNote(address, {}); },
                       15000);
    }

    vivaz::testing::SimulatedBoard board;
    CMemorySettingsStore store;
    CQtDocumentUi ui;
    CUiCallQueue calls;
    CUiCallPump pump{calls};
    CMessageBoxCatcher messages;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CTarvolineDoc> doc;
    std::unique_ptr<CTransferCommands> transfers;
    std::string dir;
};

TEST_F(TransferMenu, LoadsNeedAPortPostLinkDoesNot) {
    transfers->UpdateCommands();
    EXPECT_FALSE(Action(cmd::kLoadHex)->isEnabled());
    EXPECT_FALSE(Action(cmd::kLoadCpm68k)->isEnabled());
    EXPECT_TRUE(Action(cmd::kPostLink)->isEnabled());
    EXPECT_TRUE(Action(cmd::kPostLinkAndLoad)->isEnabled());
    EXPECT_FALSE(Action(cmd::kXmodemSend)->isEnabled());
    EXPECT_FALSE(Action(cmd::kXmodemReceive)->isEnabled());
    doc->OnNewDocument();
    transfers->UpdateCommands();
    EXPECT_TRUE(Action(cmd::kLoadHex)->isEnabled());
    EXPECT_TRUE(Action(cmd::kLoadCpm68k)->isEnabled());
    EXPECT_TRUE(Action(cmd::kXmodemSend)->isEnabled());
    EXPECT_TRUE(Action(cmd::kXmodemReceive)->isEnabled());
    // XMODEM has no menu item: it runs when something sends the command.
    for (QAction* top : frame->menuBar()->actions())
        for (QAction* item : top->menu()->actions())
            EXPECT_NE(item->data().toInt(), cmd::kXmodemSend);
}

TEST_F(TransferMenu, ACancelledDialogDoesNothingAndTheLastDirectoryFollowsChoices) {
    doc->OnNewDocument();
    transfers->UpdateCommands();
    std::vector<std::string> offered;
    transfers->chooseFile = [&](const QString& initial) {
        offered.push_back(initial.toStdString());
        return QString();
    };
    Action(cmd::kPostLinkAndLoad)->trigger();
    Action(cmd::kLoadHex)->trigger();
    Action(cmd::kLoadCpm68k)->trigger();
    EXPECT_EQ(offered, (std::vector<std::string>{"*.BIN", "*.RHX;*.AHX;*.HEX", "*.RUN;*.APP"}));
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir + "/demo.RUN"));

    transfers->chooseFile = [&](const QString& initial) {
        offered.push_back(initial.toStdString());
        return QString::fromStdString(dir + "/demo.Bin");
    };
    Action(cmd::kPostLink)->trigger();  // converts only
    EXPECT_TRUE(std::filesystem::exists(dir + "/demo.RUN"));
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
    EXPECT_EQ(transfers->InitialName("*.BIN").toStdString(), dir + "/*.BIN");
    EXPECT_TRUE(frame->isEnabled());
}

TEST_F(TransferMenu, PostLinkAndLoadConvertsLoadsAndStartsWithProgressWindows) {
    doc->OnNewDocument();
    transfers->chooseFile = [&](const QString&) { return QString::fromStdString(dir + "/demo.Bin"); };
    Action(cmd::kPostLinkAndLoad)->trigger();
    EXPECT_TRUE(messages.texts.empty()) << messages.texts.front().toStdString();
    EXPECT_TRUE(Started("program started at 00010000"));
    EXPECT_TRUE(frame->isEnabled());  // every progress window gave the window back
    EXPECT_TRUE(doc->Port()->HasWatcher());
}

TEST_F(TransferMenu, OpeningALoadFileLoadsItOnAWorkerAndListsItAsRecent) {
    kit::SaveFile(dir + "/demo.RUN", {});  // the name a user opens; rebuilt before loading
    transfers->OpenDocumentFile(QString::fromStdString(dir + "/demo.RUN"));
    EXPECT_EQ(doc->GetTitle(), "COM3");
    EXPECT_TRUE(Started("program started at 00010000"));
    EXPECT_TRUE(WaitFor([&] { return !doc->DocumentLoadRunning(); }));
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_TRUE(frame->isEnabled());
    EXPECT_EQ(Action(cmd::kRecentFile)->text().toStdString(), "&1 " + dir + "/demo.RUN");
    EXPECT_TRUE(Action(cmd::kRecentFile)->isEnabled());
    EXPECT_EQ(store.GetProfileString("Recent File List", "File1", ""), dir + "/demo.RUN");

    // Choosing it again closes the connection and opens it anew.
    board.clearTranscript();
    Action(cmd::kRecentFile)->trigger();
    EXPECT_TRUE(Started("program started at 00010000"));
    EXPECT_TRUE(WaitFor([&] { return !doc->DocumentLoadRunning(); }));
}

}  // namespace
#endif
