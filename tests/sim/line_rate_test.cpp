// The line at its real rate: with pacing the host's bytes reach the monitor no sooner than the
// line carries them, and with a latency the board's bytes reach the host in packets. Only lower
// bounds on time are checked: a loaded machine makes everything later, never earlier.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "host_line.h"
#include "simulated_board.h"

namespace vivaz {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::HostLine;
using testing::SimulatedBoard;

BoardOptions paced(unsigned consoleBaud = 9600) {
    BoardOptions o;
    o.consoleBaud = consoleBaud;
    o.pace = true;
    return o;
}

// The line time of `chars` characters of `bits` bits each at `baud`.
Clock::duration lineTime(std::size_t chars, int bits, unsigned baud) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(static_cast<long long>(chars) * bits * 1000000000LL / baud));
}

TEST(PacedLine, TypedBytesReachTheMonitorAtTheLineRate) {
    SimulatedBoard board(paced());
    HostLine host(board.devicePath());
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got, 5s));
    host.drain(20ms);
    // LF is ignored, so the only answer is the echo of the last byte: it cannot come before all
    // 100 characters have crossed the line.
    std::string typed(99, '\n');
    typed += 'x';
    got.clear();
    const auto start = Clock::now();
    host.write(typed);
    ASSERT_TRUE(host.readUntil("x", got, 5s));
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(got, "x");
    // 100 characters of 10 bits at 9600 baud: 104 ms.
    EXPECT_GE(elapsed, lineTime(100, 10, 9600) - 1ms);
    EXPECT_EQ(board.received(), typed);
    const Transcript transcript = board.transcript();
    for (const auto& e : transcript.entries()) {
        if (e.kind == TranscriptEntry::Kind::Received) {
            EXPECT_EQ(e.format, (LineFormat{9600, 8, 'N', 1}));
        }
    }
}

TEST(PacedLine, BlockRequestWaitsForTheWholeBlock) {
    SimulatedBoard board(paced());
    HostLine host(board.devicePath());
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got, 5s));
    host.drain(20ms);
    host.setLine(9600, 2);
    host.write("LOAD 0001C200 00020000 00000800\r");
    ASSERT_TRUE(host.readUntil("+", got, 5s));
    host.setLine(115200, 2);
    got.clear();
    host.write("+");
    ASSERT_TRUE(host.readUntil("=", got, 5s));

    std::string image(2048, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(i * 7 + 3);
    }
    auto block = [&](std::size_t offset) {
        return std::string("\x04\x00", 2) + image.substr(offset, 1024) + std::string(2, '\0');
    };
    got.clear();
    const auto start = Clock::now();
    host.write(block(0));
    ASSERT_TRUE(host.readUntil("=", got, 5s));
    const auto elapsed = Clock::now() - start;
    // 1028 characters of 11 bits at 115200 baud: 98 ms.
    EXPECT_GE(elapsed, lineTime(1028, 11, 115200) - 1ms);

    got.clear();
    host.write(block(1024));
    host.write(std::string(2, '\0'));
    ASSERT_TRUE(host.readUntil("-", got, 5s));
    host.setLine(9600);
    ASSERT_TRUE(host.readUntil("Loaded 00000800 bytes at 00020000", got, 5s));
    EXPECT_EQ(board.memory(0x20000, 2048), std::vector<std::uint8_t>(image.begin(), image.end()));
}

TEST(PacedLine, HostWritesBackUpWhileTheBoardsInputIsFull) {
    SimulatedBoard board(paced(1200));
    HostLine host(board.devicePath());
    host.setLine(1200);
    // 1200 baud takes 120 characters a second; the board holds 4096 and the device some more.
    // Without the cap the board would read all of this at once.
    const std::string flood(256 * 1024, '\n');
    std::size_t accepted = 0;
    const auto end = Clock::now() + 300ms;
    while (accepted < flood.size() && Clock::now() < end) {
        accepted += host.writeNow(std::string_view(flood).substr(accepted));
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_GT(accepted, 4096u);
    EXPECT_LT(accepted, 128u * 1024);
    EXPECT_LT(board.received().size(), 4096u);
}

TEST(Latency, BoardsBytesComeInFewLargePackets) {
    BoardOptions o = paced(115200);
    o.latencyMs = 20;
    SimulatedBoard board(o);
    HostLine host(board.devicePath());
    host.setLine(115200);
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got, 5s));
    host.drain(50ms);

    const auto start = Clock::now();
    host.write("md 0 100\r");
    std::string answer;
    int packets = 0;
    const auto end = start + 5s;
    while (answer.find("\r\n> ") == std::string::npos && Clock::now() < end) {
        const std::string chunk = host.readNow();
        if (!chunk.empty()) {
            ++packets;
            answer += chunk;
        }
        std::this_thread::sleep_for(1ms);
    }
    const auto elapsed = Clock::now() - start;
    ASSERT_NE(answer.find("\r\n> "), std::string::npos) << answer;
    // The dump of 100 (hex) bytes is 16 lines: about 1.2 KB, 105 ms of line time. Byte by byte
    // the host reading every millisecond would see about a hundred pieces; every 20 ms, some six
    // packets (reading late only joins them).
    ASSERT_GT(answer.size(), 1000u);
    EXPECT_LE(packets, 20) << answer.size() << " bytes";
    // The packets never bring a byte before the line could have carried it.
    EXPECT_GE(elapsed, lineTime(answer.size(), 10, 115200));
}

TEST(Latency, UnpacedAnswersStillArriveWhole) {
    BoardOptions o;
    o.latencyMs = 16;
    SimulatedBoard board(o);
    HostLine host(board.devicePath());
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got, 5s));
    host.drain(50ms);
    got.clear();
    host.write("md 0 40\r");
    ASSERT_TRUE(host.readUntil("\r\n> ", got, 5s));
    EXPECT_NE(got.find("00000030  00 00"), std::string::npos);
    EXPECT_EQ(board.sent().substr(board.sent().size() - got.size()), got);
}

}  // namespace
}  // namespace vivaz
