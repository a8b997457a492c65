// Capture against the simulated board: what the board sends and the terminal shows is what the
// capture file holds, byte for byte. Also the pasted DATE command setting the board's clock.
#ifdef TARVOLINE_HAVE_SIM
// The board's headers first: they use a name that Qt defines as a macro.
#include "simulated_board.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "GuiSupport.h"
#include "ModalScript.h"
#include "RecordingUi.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "document/MemorySettingsStore.h"
#include "app/SplashWindow.h"
#include "document/TarvolineDoc.h"
#include "app/TerminalCommands.h"
#include "app/UiCallPump.h"
#include "terminal/PasteDateTimeDlg.h"
#include "terminal/TarvolineView.h"

namespace {

class CaptureBoardTest : public ::testing::Test {
protected:
    explicit CaptureBoardTest(vivaz::BoardOptions options = {}) : board(options) {}
    void SetUp() override {
        CSplashWindow::EnableSplashScreen(false);
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("board.txt");
        store.WriteProfileInt("Transfer", "Prompt For Filename", 2);
        store.WriteProfileString("Transfer", "Prompt Path Name", path.toStdString());
        store.WriteProfileInt("Transfer", "Write Mode", 2);
        frame = std::make_unique<CMainFrame>(&store);
        commands = std::make_unique<CTerminalCommands>(*frame, &store);
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        doc->PortNames().Bind("COM3", board.devicePath());
        frame->View()->SetDocument(doc.get());
        doc->AddView(frame->View());
        ui.answer = MessageResult::No;
        frame->show();
        ASSERT_TRUE(doc->OnNewDocument());
        ASSERT_NE(nullptr, doc->Port());
    }
    void TearDown() override {
        doc.reset();
        commands.reset();
        frame.reset();
    }
    QString Text() const { return frame->View()->toPlainText(); }
    // Types a command and waits for the board's prompt after its answer.
    void Command(const QString& keys, const QString& answer) {
        const qsizetype before = Text().size();
        QTest::keyClicks(frame->View(), keys);
        QTest::keyClick(frame->View(), Qt::Key_Return);
        ASSERT_TRUE(WaitFor([&] {
            const QString added = Text().mid(before);
            return added.contains(keys + "\n") && added.contains(answer) && added.endsWith("> ");
        })) << Text().toStdString();
    }
    std::string FileBytes() const {
        std::ifstream in(path.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void Start() {
        frame->Action(cmd::kCaptureStart)->trigger();
        ASSERT_TRUE(frame->Capture().IsCapturing());
    }
    void Stop() {
        QApplication::processEvents();
        frame->Action(cmd::kCaptureStop)->trigger();
    }

    vivaz::testing::SimulatedBoard board;
    QTemporaryDir dir;
    QString path;
    CMemorySettingsStore store;
    CRecordingUi ui;
    CUiCallQueue calls;
    CUiCallPump pump{calls};
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CTerminalCommands> commands;
    std::unique_ptr<CTarvolineDoc> doc;
};

TEST_F(CaptureBoardTest, FileHoldsExactlyWhatTheTerminalShows) {
    store.WriteProfileInt("Transfer", "Include Buffer Text", 3);
    frame->View()->OnClearTerminal();
    Start();
    Command("help", "Commands:");
    Command("md 0 40", "00000030 ");
    Stop();
    const std::string shown = frame->View()->TerminalBytes().toStdString();
    EXPECT_NE(std::string::npos, shown.find("Commands:\r\n"));
    EXPECT_NE(std::string::npos, shown.find("00000030 "));
    EXPECT_EQ(std::string::npos, FileBytes().find("\r\r\n"));
    EXPECT_EQ(shown, FileBytes());
}

TEST_F(CaptureBoardTest, IncludedBufferAndWhatFollowsMatchTheTerminal) {
    store.WriteProfileInt("Transfer", "Include Buffer Text", 2);
    Command("help", "Commands:");
    Start();
    Command("md 0 10", "00000000 ");
    Stop();
    EXPECT_EQ(frame->View()->TerminalBytes().toStdString(), FileBytes());
}

TEST_F(CaptureBoardTest, PastedDateCommandSetsTheBoardsClock) {
    frame->View()->currentTime = [] {
        std::tm t{};
        t.tm_year = 2027 - 1900;
        t.tm_mon = 2;
        t.tm_mday = 1;
        t.tm_hour = 9;
        t.tm_min = 5;
        t.tm_sec = 7;
        t.tm_isdst = -1;
        return std::mktime(&t);
    };
    store.WriteProfileInt("Transfer", "Include Buffer Text", 3);
    frame->View()->OnClearTerminal();
    Start();
    CModalScript script;
    script.Then<CPasteDateTimeDlg>([](CPasteDateTimeDlg* d) { Click(d->Control(1)); });
    frame->Action(cmd::kPasteDateTime)->trigger();
    ASSERT_TRUE(script.Done());
    ASSERT_TRUE(WaitFor([&] {
        return Text().contains("DATE 03/01/2027 09:05:0") && Text().endsWith("> ");
    })) << Text().toStdString();
    EXPECT_NE(std::string::npos, board.received().find("DATE 03/01/27 09:05:07\r"));
    Stop();
    EXPECT_EQ(frame->View()->TerminalBytes().toStdString(), FileBytes());
}

TEST_F(CaptureBoardTest, AFileThatCanTakeNoMoreStopsTheCaptureWhileTheBoardTalksOn) {
    // The board's text reaches the terminal from the port's watcher, which waits while the
    // terminal takes it in; the failure's message comes after that, and the terminal goes on.
    store.WriteProfileInt("Transfer", "Include Buffer Text", 3);
    frame->View()->OnClearTerminal();
    Start();
    Command("md 0 10", "00000000 ");
    QApplication::processEvents();
    const std::string before = FileBytes();
    ASSERT_FALSE(before.empty());

    // The file-size limit stands in for a full disk (its signal ignored meanwhile).
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit lowered = old;
    lowered.rlim_cur = before.size() + 16;
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &lowered));
    CMessageBoxCatcher boxes;
    Command("help", "Commands:");
    const bool told = WaitFor([&] { return !boxes.texts.empty(); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_TRUE(told);
    EXPECT_EQ(boxes.texts, std::vector<QString>{"Capture to " + path + " stopped: File too large"});
    EXPECT_EQ(QString("CAPTURE OFF"), frame->Indicator(cmd::kCaptureIndicator)->text());
    EXPECT_FALSE(frame->Capture().IsCapturing());
    const std::string kept = FileBytes();
    EXPECT_EQ(0u, kept.rfind(before, 0));
    EXPECT_LE(kept.size(), before.size() + 16);
    Command("md 10 10", "00000010 ");
    EXPECT_EQ(kept, FileBytes());
    EXPECT_EQ(1u, boxes.texts.size());
}

// The board at its real rate: a byte or two reach the terminal at a time.
class PacedCaptureBoardTest : public CaptureBoardTest {
protected:
    PacedCaptureBoardTest() : CaptureBoardTest(Paced()) {}
    static vivaz::BoardOptions Paced() {
        vivaz::BoardOptions o;
        o.pace = true;
        return o;
    }
};

TEST_F(PacedCaptureBoardTest, MemoryDumpHasNoEmptyLinesOnScreenOrInTheCapture) {
    store.WriteProfileInt("Transfer", "Include Buffer Text", 3);
    frame->View()->OnClearTerminal();
    Start();
    Command("md 0 100", "000000F0 ");
    Stop();
    const std::string shown = frame->View()->TerminalBytes().toStdString();
    EXPECT_EQ(std::string::npos, shown.find("\r\n\r\n")) << shown;
    EXPECT_EQ(std::string::npos, Text().toStdString().find("\n\n"));
    EXPECT_EQ(shown, FileBytes());
    EXPECT_EQ(16, Text().count("\n0000"));
}

TEST_F(PacedCaptureBoardTest, PastedLinesRunAsCommands) {
    QApplication::clipboard()->setText("md 0 10\nmd 10 10\n");
    frame->View()->OnPasteToTarget();
    ASSERT_TRUE(WaitFor([&] { return Text().contains("00000010 ") && Text().endsWith("> "); },
                        10000))
        << Text().toStdString();
    EXPECT_NE(std::string::npos, board.received().find("md 0 10\r\nmd 10 10\r\n"));
    EXPECT_FALSE(Text().contains("What?")) << Text().toStdString();
}

}  // namespace
#endif
