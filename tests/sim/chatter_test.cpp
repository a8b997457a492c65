// A board that keeps printing: at its command line a tick line every few milliseconds, for ever.
// The monitor driven directly shows where the lines fall due and that the dialogues' own timers
// are untouched; over a pseudo-terminal the host sees the lines, still gets its answers, and
// never finds the line quiet. Only lower bounds on time, or bounds a slow machine cannot break,
// are checked.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "host_line.h"
#include "memory.h"
#include "monitor.h"
#include "simulated_board.h"

namespace vivaz {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::HostLine;
using testing::SimulatedBoard;

BoardOptions chattering(int ms, unsigned consoleBaud = 9600, bool pace = false) {
    BoardOptions o;
    o.consoleBaud = consoleBaud;
    o.pace = pace;
    o.faults.chatterMs = ms;
    return o;
}

// The counters of the whole tick lines in `text`, in order.
std::vector<int> tickCounters(const std::string& text) {
    static const std::regex tick("tick ([0-9]{6})\r\n");
    std::vector<int> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), tick);
         it != std::sregex_iterator(); ++it) {
        out.push_back(std::stoi((*it)[1].str()));
    }
    return out;
}

std::string withoutTicks(const std::string& text) {
    static const std::regex tick("tick [0-9]{6}\r\n");
    return std::regex_replace(text, tick, "");
}

// Whether `text` is empty or the start of a tick line (a read can end inside one).
bool tickLineStart(const std::string& text) {
    static const std::regex start("(t(i(c(k( [0-9]{0,6}\r?)?)?)?)?)?");
    return std::regex_match(text, start);
}

// What the monitor sends, with the UART setting it was sent at.
class Recorder : public MonitorOutput {
  public:
    struct Piece {
        std::string bytes;
        LineFormat uart;
    };
    void send(std::string_view bytes, const LineFormat& uart) override {
        pieces.push_back({std::string(bytes), uart});
    }
    void note(const std::string& text) override { notes.push_back(text); }
    std::string sent() const {
        std::string all;
        for (const auto& p : pieces)
            all += p.bytes;
        return all;
    }
    std::vector<Piece> pieces;
    std::vector<std::string> notes;
};

const LineFormat kConsole{9600, 8, 'N', 1};

TEST(MonitorChatter, TicksFallDueEveryPeriodAtTheCommandLine) {
    Recorder out;
    SparseMemory memory;
    const auto t0 = Clock::now();
    Monitor monitor(out, memory, chattering(30), t0);
    monitor.powerOn();
    out.pieces.clear();
    ASSERT_EQ(monitor.deadline(), std::optional(t0 + 30ms));
    monitor.tick(t0 + 29ms);
    EXPECT_EQ(out.sent(), "");
    monitor.tick(t0 + 30ms);
    ASSERT_EQ(out.pieces.size(), 1u);
    EXPECT_EQ(out.pieces[0].bytes, "tick 000001\r\n");
    EXPECT_EQ(out.pieces[0].uart, kConsole);
    EXPECT_EQ(monitor.deadline(), std::optional(t0 + 60ms));
    // A typed line is echoed and run between the ticks.
    monitor.receive("md 0 10\r", kConsole, t0 + 40ms);
    monitor.tick(t0 + 60ms);
    EXPECT_EQ(out.sent(),
              "tick 000001\r\nmd 0 10\r\n00000000  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
              "00  ................\r\n> tick 000002\r\n");
    // Held up for several periods, the board does not make the lost lines up.
    out.pieces.clear();
    monitor.tick(t0 + 200ms);
    EXPECT_EQ(out.sent(), "tick 000003\r\n");
    EXPECT_EQ(monitor.deadline(), std::optional(t0 + 230ms));
    EXPECT_EQ(out.notes, std::vector<std::string>{"fault: a tick line every 30 ms at the command line"});
}

TEST(MonitorChatter, NeverFasterThanTheLineCarriesTheLines) {
    Recorder out;
    SparseMemory memory;
    const auto t0 = Clock::now();
    Monitor monitor(out, memory, chattering(1), t0);
    monitor.tick(t0 + 1ms);
    EXPECT_EQ(out.sent(), "tick 000001\r\n");
    // 13 characters of 10 bits at 9600 baud: 13.5 ms.
    ASSERT_TRUE(monitor.deadline().has_value());
    EXPECT_GE(*monitor.deadline(), t0 + 1ms + 13ms);
}

TEST(MonitorChatter, StopsInsideTheDialoguesAndLeavesTheirTimers) {
    Recorder out;
    SparseMemory memory;
    const auto t0 = Clock::now();
    Monitor monitor(out, memory, chattering(30), t0);
    monitor.powerOn();
    out.pieces.clear();

    // A LOAD whose host never answers '+': its 10 s wait is the only timer.
    auto t = t0 + 45ms;
    monitor.receive("LOAD 0001C200 00020000 00000010\r", kConsole, t);
    EXPECT_EQ(out.sent(), "tick 000001\r\nLOAD 0001C200 00020000 00000010\r\n+");
    out.pieces.clear();
    ASSERT_EQ(monitor.deadline(), std::optional(t + 10s));
    monitor.tick(t + 5s);
    EXPECT_EQ(out.sent(), "");
    monitor.tick(t + 10s);
    EXPECT_EQ(out.sent(), "\r\nLOAD error: the host's '+' did not come\r\n> ");
    // Back at the prompt the period starts again.
    t += 10s;
    ASSERT_EQ(monitor.deadline(), std::optional(t + 30ms));
    out.pieces.clear();
    monitor.tick(t + 30ms);
    EXPECT_EQ(out.sent(), "tick 000002\r\n");

    // The record loader: no tick from its '%' to the end of its wait for the host's '%'.
    t += 40ms;
    monitor.receive("tom8\r", kConsole, t);
    monitor.receive("lo ;3\r", kConsole, t);
    out.pieces.clear();
    ASSERT_EQ(monitor.deadline(), std::optional(t + 2s));
    monitor.tick(t + 2s);
    EXPECT_EQ(out.sent().back(), '%');
    ASSERT_EQ(monitor.deadline(), std::optional(t + 2s + 5s));
    monitor.tick(t + 2s + 5s);
    EXPECT_EQ(out.sent().find("tick"), std::string::npos) << out.sent();
    EXPECT_EQ(out.sent().substr(out.sent().size() - 4), "\r\n> ");
    t += 2s + 5s;
    ASSERT_EQ(monitor.deadline(), std::optional(t + 30ms));
    out.pieces.clear();
    monitor.tick(t + 30ms);
    EXPECT_EQ(out.sent(), "tick 000003\r\n");
}

TEST(MonitorChatter, OffUnlessAskedFor) {
    Recorder out;
    SparseMemory memory;
    const auto t0 = Clock::now();
    Monitor monitor(out, memory, BoardOptions{}, t0);
    monitor.powerOn();
    EXPECT_FALSE(monitor.deadline().has_value());
    Faults f;
    f.chatterMs = 50;
    monitor.setFaults(f, t0 + 1s);
    EXPECT_EQ(monitor.deadline(), std::optional(t0 + 1s + 50ms));
    monitor.setFaults(Faults{}, t0 + 2s);
    EXPECT_FALSE(monitor.deadline().has_value());
}

TEST(Chatter, TickLinesComeAtTheConsoleRate) {
    const auto start = Clock::now();
    SimulatedBoard board(chattering(30, 19200, true));
    HostLine host(board.devicePath());
    host.setLine(19200);
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got, 5s));
    // Paced, the first line may have begun to arrive with the prompt.
    got.erase(0, got.find("> ") + 2);
    const auto end = Clock::now() + 300ms;
    while (Clock::now() < end) {
        got += host.readNow();
        std::this_thread::sleep_for(5ms);
    }
    got += host.readNow();
    const auto seen = tickCounters(got);
    // Some ten lines in 300 ms; a busy machine delivers fewer, never more.
    EXPECT_GE(seen.size(), 3u) << got;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], seen[i - 1] + 1) << got;
    }
    EXPECT_TRUE(tickLineStart(withoutTicks(got))) << got;
    // The n-th line falls due no sooner than n periods after the board's start.
    const auto all = tickCounters(board.sent());
    const auto elapsed = Clock::now() - start;
    EXPECT_LE(all.size(), static_cast<std::size_t>(elapsed / 30ms));
    // The transcript joins what went out at one UART setting: every tick line is in such a piece
    // at the console rate.
    const Transcript transcript = board.transcript();
    std::size_t ticks = 0;
    for (const auto& e : transcript.entries()) {
        if (e.kind == TranscriptEntry::Kind::Sent && e.text.find("tick ") != std::string::npos) {
            ticks += tickCounters(e.text).size();
            EXPECT_EQ(e.format, (LineFormat{19200, 8, 'N', 1}));
        }
    }
    EXPECT_EQ(ticks, all.size());
    EXPECT_TRUE(board.waitForNote("fault: a tick line every 30 ms at the command line"));
}

TEST(Chatter, TypedCommandIsAnsweredBetweenTicks) {
    SimulatedBoard board(chattering(30));
    HostLine host(board.devicePath());
    std::string got;
    ASSERT_TRUE(host.readUntil("tick 000001\r\n", got, 5s));
    got.erase(0, got.rfind("\r\n") + 2);
    // Typed slowly, so that lines come between the keys.
    for (char c : std::string("md 0 10\r")) {
        host.write(std::string_view(&c, 1));
        std::this_thread::sleep_for(10ms);
    }
    const std::string dump =
        "00000000  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  ................\r\n> ";
    ASSERT_TRUE(host.readUntil(dump, got, 5s)) << got;
    EXPECT_EQ(withoutTicks(got).substr(0, 9 + dump.size()), "md 0 10\r\n" + dump) << got;
    // And the board goes on printing after its prompt.
    got.erase(0, got.find(dump) + dump.size());
    const auto end = Clock::now() + 5s;
    while (tickCounters(got).empty() && Clock::now() < end) {
        got += host.readNow();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(tickCounters(got).size(), 1u) << got;
}

TEST(Chatter, WakeUpNeverFindsTheLineQuiet) {
    SimulatedBoard board(chattering(30));
    HostLine host(board.devicePath());
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got, 5s));
    got.clear();  // the banner ends in ".\r\n> " as well
    host.write("\x08.\r");
    ASSERT_TRUE(host.readUntil(".\r\n> ", got, 5s));
    got.erase(0, got.find(".\r\n> ") + 5);
    // The prompt is never the last thing on the line for long: tick lines keep coming.
    const auto end = Clock::now() + 5s;
    while (tickCounters(got).size() < 3 && Clock::now() < end) {
        got += host.readNow();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_GE(tickCounters(got).size(), 3u) << got;
    EXPECT_TRUE(tickLineStart(withoutTicks(got))) << got;
}

TEST(Chatter, LoadGoesThroughWithoutTicks) {
    SimulatedBoard board(chattering(30));
    HostLine host(board.devicePath());
    std::string got;
    ASSERT_TRUE(host.readUntil("tick 000001\r\n", got, 5s));
    std::vector<unsigned char> image(1500);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 13 + 5);
    ASSERT_EQ(test::hostLoad(host, image, 0x20000, 115200), "ok");
    EXPECT_EQ(board.memory(0x20000, image.size()),
              std::vector<std::uint8_t>(image.begin(), image.end()));
    // The lines start again at the prompt ...
    EXPECT_TRUE(board.waitForSent("Loaded 000005DC bytes at 00020000\r\n> tick ")) << board.sent();
    // ... and none came inside the dialogue: from the LOAD's '+' to its '-' the board sent
    // nothing but '=' requests, all at the download rate.
    const std::string sent = board.sent();
    const auto plus = sent.find("+");
    const auto minus = sent.find("-", plus);
    ASSERT_NE(minus, std::string::npos);
    EXPECT_EQ(sent.substr(plus + 1, minus - plus - 1), "==");
    const Transcript transcript = board.transcript();
    for (const auto& e : transcript.entries()) {
        if (e.kind == TranscriptEntry::Kind::Sent && e.text.find("tick ") != std::string::npos) {
            EXPECT_EQ(e.format, kConsole);
        }
    }
}

}  // namespace
}  // namespace vivaz
