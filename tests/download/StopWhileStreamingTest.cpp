// Boards that keep talking: a far end that streams text without a pause never holds a
// dialogue against Cancel; a cancel after the monitor's '+' (while it asked to wait) closes
// the LOAD so the board is back at its prompt; a board that keeps printing at its prompt is
// woken and loaded.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "BoardFixture.h"
#include "Pty.h"
#include "download/Cpm68kLoader.h"
#include "download/DownloadImage.h"
#include "download/RecordLoader.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MillisSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A far end that answers each CR with a prompt until `streamAfter` has come, then sends text
// as fast as the line takes it, without a pause, until told to stop (or 20 s have passed).
class StreamingFarEnd {
public:
    StreamingFarEnd(CTestPty& pty, std::string streamAfter)
        : m_pty(pty), m_streamAfter(std::move(streamAfter)), m_thread([this] { Run(); }) {}
    ~StreamingFarEnd() {
        m_done = true;
        m_thread.join();
    }
    bool Streaming() const { return m_streaming; }

private:
    void Run() {
        std::string heard;
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (!m_done && Clock::now() < end) {
            if (!m_streaming) {
                const std::string got = m_pty.Read(1, std::chrono::milliseconds(20));
                heard += got;
                if (heard.find(m_streamAfter) != std::string::npos) {
                    m_streaming = true;
                } else if (got == "\r") {
                    m_pty.Write("\r\n> ");
                }
                continue;
            }
            // Text without a line end or a prompt, in pieces that keep the queue full (what
            // the host sends meanwhile waits unread).
            static const std::string text(16384, 'x');
            m_pty.WriteSome(text, std::chrono::milliseconds(20));
        }
    }

    CTestPty& m_pty;
    std::string m_streamAfter;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_streaming{false};
    std::thread m_thread;
};

struct StreamCase {
    const char* name;
    const char* streamAfter;  // what the far end waits for before it streams
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class CancelWhileStreaming : public ::testing::TestWithParam<StreamCase> {};

TEST_P(CancelWhileStreaming, EndsTheLoadSoonAfterTheCancel) {
    CTestPty pty;
    CCommPort port(pty.SlavePath());
    ASSERT_TRUE(port.IsOpen());
    port.SetBaudRate(9600);
    port.SetLineFormat(kParityNone, 8, kOneStopBit);
    CPortSettings settings;
    CTransferUi ui;
    std::atomic<bool> stop{false};
    CTransferContext ctx{port, settings, ui, &stop};
    StreamingFarEnd farEnd(pty, GetParam().streamAfter);

    Clock::time_point cancelledAt{};
    std::thread user([&] {
        const auto end = Clock::now() + std::chrono::seconds(10);
        while (!farEnd.Streaming() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // well into the stream
        cancelledAt = Clock::now();
        stop = true;
    });
    const std::vector<std::uint8_t> image = Pattern(2000);
    const std::int16_t result = DownloadImage(ctx, image.data(), 2000, 0x20000, 2000);
    const auto endedAt = Clock::now();
    user.join();
    ASSERT_TRUE(farEnd.Streaming());
    EXPECT_EQ(result, -1);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Transfer cancelled"});
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(endedAt - cancelledAt).count();
    std::printf("[ figures  ] %s: the load ended %lld ms after the cancel\n", GetParam().name, ms);
    // The far end streams for 20 s; a wait that looked at the stop only between bursts would
    // still be in it.
    EXPECT_LT(ms, 5000);
}

INSTANTIATE_TEST_SUITE_P(
    FarEnd, CancelWhileStreaming,
    ::testing::Values(StreamCase{"DuringTheWakeUp", "\x08.\r"},
                      StreamCase{"WhileWaitingForThePlus", "LOAD"}),
    [](const auto& info) { return std::string(info.param.name); });

class WaitRequestBoard : public BoardFixture {
protected:
    WaitRequestBoard() : BoardFixture(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.faults.waitRequests = 1;  // '#', then '+' at once: it waits behind the host's pause
        return o;
    }
};

TEST_F(WaitRequestBoard, ACancelAfterThePlusLeavesTheBoardAtItsPromptAnsweringCommands) {
    std::atomic<bool> stop{false};
    ctx->stop = &stop;
    std::thread user([&] {
        if (board.waitForSent("+", std::chrono::seconds(10)))
            std::this_thread::sleep_for(std::chrono::milliseconds(200));  // in the 5 s pause
        stop = true;
    });
    const auto image = Pattern(3000);
    const auto start = Clock::now();
    EXPECT_EQ(DownloadImage(*ctx, image.data(), 3000, 0x30000, 3000), -1);
    std::printf("[ figures  ] cancelled LOAD closed after %lld ms\n", MillisSince(start));
    user.join();
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Transfer cancelled"});
    ExpectLineRestored();
    // The host answered the monitor's '+' and closed the LOAD with its end of data.
    const std::string received = board.received();
    const auto command = received.find("LOAD ");
    ASSERT_NE(command, std::string::npos);
    EXPECT_EQ(received.substr(received.find('\r', command) + 1), std::string("+\0\0", 3)) << Notes();
    // The board ended its LOAD and is at its prompt at the console rate: it takes the next
    // command.
    ASSERT_TRUE(board.waitForNote("LOAD error: ", std::chrono::seconds(3))) << Notes();
    CMonitorLink link(*port);
    link.LinkDrain(100);
    board.clearTranscript();
    link.LinkSendString("md 30000 10\r");
    std::string said;
    for (int i = 0; i < 100 && said.find("> ") == std::string::npos; ++i) link.LinkDrain(20, &said);
    EXPECT_NE(said.find("00030000"), std::string::npos) << said << Notes();
    EXPECT_EQ(said.find("refused"), std::string::npos);
    for (const auto& note : board.notes()) EXPECT_EQ(note.find("refused"), std::string::npos) << note;
}

class ChattyBoard : public BoardFixture, public ::testing::WithParamInterface<int> {
protected:
    ChattyBoard() : BoardFixture(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.faults.chatterMs = GetParam();
        return o;
    }
};

TEST_P(ChattyBoard, IsWokenAndLoadedAndTakesHexRecords) {
    std::vector<std::uint8_t> file(28, 0);
    file[0] = 0x60;
    file[1] = 0x1A;
    file[23] = 0x02;  // text start 0x00020000
    const auto image = Pattern(1500, 11);
    file.insert(file.end(), image.begin(), image.end());
    auto path = WriteFile("chatty.RUN", file);
    const auto start = Clock::now();
    EXPECT_TRUE(LoadCpm68kFile(*ctx, path)) << Notes();
    std::printf("[ figures  ] a board printing every %d ms loaded in %lld ms\n", GetParam(),
                MillisSince(start));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{});
    ASSERT_TRUE(board.waitForNote("program started at 00020000")) << Notes();
    EXPECT_EQ(board.memory(0x20000, image.size()), image);

    const auto data = Pattern(200, 12);
    const std::string text = S1RecordsOf(data, 0x5000, 32);
    auto hex = WriteFile("chatty.HEX", std::vector<std::uint8_t>(text.begin(), text.end()));
    HexLoadOutcome outcome = HexLoadOutcome::NotConnected;
    LoadHexFile(*ctx, hex, &outcome);
    EXPECT_EQ(outcome, HexLoadOutcome::Loaded) << DescribeHexLoadOutcome(outcome) << Notes();
    EXPECT_EQ(board.memory(0x5000, data.size()), data);
}

INSTANTIATE_TEST_SUITE_P(Period, ChattyBoard, ::testing::Values(30, 200),
                         [](const auto& info) { return std::to_string(info.param) + "ms"; });

}  // namespace
