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
#include <QPushButton>
#include <QTimer>
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
#include "download/TransferProgressDlg.h"
#include "bin_writer.h"
#include "terminal/TarvolineView.h"

namespace {

namespace kit = tarvoline::postlink::testkit;

class TransferMenu : public ::testing::Test {
protected:
    explicit TransferMenu(vivaz::BoardOptions options = {}) : board(options) {}
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
    doc->WaitForTransfer();
    EXPECT_TRUE(std::filesystem::exists(dir + "/demo.RUN"));
    EXPECT_EQ(board.received().find("LOAD"), std::string::npos);
    EXPECT_EQ(transfers->InitialName("*.BIN").toStdString(), dir + "/*.BIN");
    EXPECT_TRUE(frame->isEnabled());
}

TEST_F(TransferMenu, PostLinkAndLoadConvertsLoadsAndStartsWithProgressWindows) {
    doc->OnNewDocument();
    transfers->chooseFile = [&](const QString&) { return QString::fromStdString(dir + "/demo.Bin"); };
    Action(cmd::kPostLinkAndLoad)->trigger();
    EXPECT_TRUE(Started("program started at 00010000"));
    doc->WaitForTransfer();
    EXPECT_TRUE(messages.texts.empty()) << messages.texts.front().toStdString();
    EXPECT_TRUE(frame->isEnabled());  // every progress window gave the window back
    EXPECT_TRUE(doc->Port()->HasWatcher());
}

TEST_F(TransferMenu, OpeningALoadFileLoadsItOnAWorkerAndListsItAsRecent) {
    kit::SaveFile(dir + "/demo.RUN", {});  // the name a user opens; rebuilt before loading
    transfers->OpenDocumentFile(QString::fromStdString(dir + "/demo.RUN"));
    EXPECT_EQ(doc->GetTitle(), "COM3");
    EXPECT_TRUE(Started("program started at 00010000"));
    EXPECT_TRUE(WaitFor([&] { return !doc->TransferRunning(); }, 15000));
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_TRUE(frame->isEnabled());
    EXPECT_EQ(Action(cmd::kRecentFile)->text().toStdString(), "&1 " + dir + "/demo.RUN");
    EXPECT_TRUE(Action(cmd::kRecentFile)->isEnabled());
    EXPECT_EQ(store.GetProfileString("Recent File List", "File1", ""), dir + "/demo.RUN");

    // Choosing it again closes the connection and opens it anew.
    board.clearTranscript();
    Action(cmd::kRecentFile)->trigger();
    EXPECT_TRUE(Started("program started at 00010000"));
    EXPECT_TRUE(WaitFor([&] { return !doc->TransferRunning(); }, 15000));
}

// A monitor that asks for patience (five seconds each time) before it accepts a load.
class PatientBoardMenu : public TransferMenu {
protected:
    explicit PatientBoardMenu(int waits = 3) : TransferMenu(Options(waits)) {}
    static vivaz::BoardOptions Options(int waits) {
        vivaz::BoardOptions o;
        o.faults.waitRequests = waits;
        return o;
    }
    void SetUp() override {
        TransferMenu::SetUp();
        doc->OnNewDocument();
        transfers->UpdateCommands();
        kit::SaveFile(dir + "/p.RUN", RunFile());
        transfers->chooseFile = [&](const QString&) {
            ++dialogs;
            return QString::fromStdString(dir + "/p.RUN");
        };
    }
    static std::vector<std::uint8_t> RunFile() {
        std::vector<std::uint8_t> file(28 + 2048, 0x5A);
        std::fill(file.begin(), file.begin() + 28, 0);
        file[0] = 0x60;
        file[1] = 0x1A;
        file[4] = 0x08;  // 2048 bytes of text
        file[23] = 0x02;  // at 0x20000
        return file;
    }
    CTransferProgressDlg* ProgressWindow() const {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dlg = qobject_cast<CTransferProgressDlg*>(w); dlg && dlg->isVisible()) return dlg;
        return nullptr;
    }
    // Started from the menu; true once the monitor has asked for patience.
    bool StartLoadAndWaitForPatience() {
        Action(cmd::kLoadCpm68k)->trigger();
        return WaitFor([&] { return board.sent().find('#') != std::string::npos && ProgressWindow(); },
                       10000);
    }
    std::string HostBytesAfterTheCommand() const {
        const std::string r = board.received();
        const size_t load = r.find("LOAD");
        return load == std::string::npos ? std::string() : r.substr(load);
    }
    int dialogs = 0;
};

TEST_F(PatientBoardMenu, TheWindowStaysLiveEnterDoesNotCancelAndCancelEndsTheWaitAtOnce) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    ASSERT_TRUE(StartLoadAndWaitForPatience())
        << board.sent() << " / " << board.received() << " / " << messages.texts.size();
    EXPECT_TRUE(doc->TransferRunning());
    // The transfer waits on its worker; this thread's timers keep running meanwhile.
    const int before = ticks;
    EXPECT_TRUE(WaitFor([&] { return ticks >= before + 5; }, 2000));

    // Enter with the keyboard focus on the Cancel button does nothing.
    CTransferProgressDlg* progress = ProgressWindow();
    ASSERT_NE(progress, nullptr);
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    progress->activateWindow();
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);
    QTest::keyClick(cancel, Qt::Key_Enter);
    QTest::qWait(50);
    EXPECT_TRUE(doc->TransferRunning());
    EXPECT_FALSE(progress->CancelRequested());

    // Cancel ends the transfer inside the first pause. The monitor's '+' came right behind its
    // '#'s, so the host answers it and at once sends the end of data: the monitor ends its
    // LOAD and goes back to its prompt at the console rate, and no block is sent.
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return !doc->TransferRunning(); }, 15000));
    doc->WaitForTransfer();
    const std::string after = HostBytesAfterTheCommand();
    EXPECT_EQ(after.substr(after.find('\r') + 1), std::string("+\0\0", 3)) << after;
    EXPECT_TRUE(board.waitForNote("LOAD error: "));
    EXPECT_EQ(messages.texts, std::vector<QString>{"Transfer cancelled"});
    EXPECT_TRUE(frame->isEnabled());
    EXPECT_TRUE(doc->Port()->HasWatcher());
}

class BrieflyPatientBoardMenu : public PatientBoardMenu {
protected:
    BrieflyPatientBoardMenu() : PatientBoardMenu(1) {}
};

TEST_F(BrieflyPatientBoardMenu, RequestsDuringATransferAreRefusedOnceAndTheLoadCompletes) {
    ASSERT_TRUE(StartLoadAndWaitForPatience());
    ASSERT_EQ(dialogs, 1);
    // A burst of requests from other programs (twenty lines in one socket message) and the
    // menu: none opens a file dialog, one message says why.
    for (int i = 0; i < 20; ++i)
        QMetaObject::invokeMethod(transfers.get(), &CTransferCommands::OnPostLinkAndLoad,
                                  Qt::QueuedConnection);
    QTest::qWait(300);
    Action(cmd::kLoadHex)->trigger();
    transfers->OpenDocumentFile(QString::fromStdString(dir + "/p.RUN"));
    EXPECT_EQ(dialogs, 1);
    ASSERT_GE(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts.front().toStdString(), CTarvolineDoc::kTransferRunningMessage);
    EXPECT_LE(messages.texts.size(), 3u);  // the burst once, then each later request once
    // The running load goes on to its end.
    EXPECT_TRUE(Started("program started at 00020000"));
    EXPECT_TRUE(WaitFor([&] { return !doc->TransferRunning(); }, 30000));
    EXPECT_EQ(board.memory(0x20000, 2048), std::vector<std::uint8_t>(2048, 0x5A));
    EXPECT_EQ(doc->GetTitle(), "COM3");
}

}  // namespace
#endif
