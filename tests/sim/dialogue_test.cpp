// The board as a host meets it: a real pseudo-terminal, the host end opened like a serial port.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "host_line.h"
#include "simulated_board.h"

namespace vivaz {
namespace {

using namespace std::chrono_literals;
using test::HostLine;
using testing::SimulatedBoard;

std::vector<unsigned char> pattern(std::size_t n) {
    std::vector<unsigned char> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<unsigned char>(i * 13 + 5);
    return v;
}

bool hasNote(const SimulatedBoard& board, std::string_view text) {
    for (const auto& n : board.notes()) {
        if (n.find(text) != std::string::npos)
            return true;
    }
    return false;
}

BoardOptions withFaults(const Faults& f) {
    BoardOptions o;
    o.faults = f;
    return o;
}

TEST(Dialogue, BannerWaitsAndWakeUpGetsThePrompt) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got));
    EXPECT_NE(got.find("ViVaz ROM monitor"), std::string::npos);
    host.write("\x08.\r");
    std::this_thread::sleep_for(25ms);
    got.clear();
    EXPECT_EQ(host.drain(50ms, &got), ' ');
    EXPECT_EQ(got, ".\r\n> ");
}

TEST(Dialogue, LineEditingAndCtrlC) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    host.write("mdx\x7f\x08");
    host.write("d 0 10\r");
    std::string got;
    ASSERT_TRUE(host.readUntil("\r\n> ", got));
    EXPECT_EQ(got.substr(0, 17), "mdx\b \b\b \bd 0 10\r\n");
    EXPECT_NE(got.find("00000000  00 00"), std::string::npos);
    got.clear();
    host.write("junk\x03");
    ASSERT_TRUE(host.readUntil("> ", got));
    EXPECT_EQ(got, "junk^C\r\n> ");
}

TEST(Dialogue, DateSetsTheBoardClock) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    host.write("DATE 03/01/27 09:05:07\r");
    std::string got;
    ASSERT_TRUE(host.readUntil("\r\n> ", got));
    EXPECT_NE(got.find("DATE 03/01/2027 09:05:0"), std::string::npos);
    EXPECT_EQ(board.clock().year, 2027);
    got.clear();
    host.write("DATE 12/06/2026 19:46:02\r");
    ASSERT_TRUE(host.readUntil("\r\n> ", got));
    EXPECT_NE(got.find("DATE 12/06/2026 19:46:0"), std::string::npos);
}

TEST(Dialogue, CommandsAtAnotherSpeedAreRefused) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    host.setLine(19200);
    host.write("help\r");
    EXPECT_TRUE(board.waitForNote("refused 5 byte(s) sent at 19200 8N1"));
    EXPECT_EQ(host.drain(50ms), -1);
}

TEST(Load, TwoBlocksLandInMemory) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    const auto image = pattern(1025);
    ASSERT_EQ(test::hostLoad(host, image, 0x20000, 115200), "ok");
    EXPECT_EQ(board.memory(0x20000, 1025), std::vector<std::uint8_t>(image.begin(), image.end()));
    EXPECT_TRUE(hasNote(board, "LOAD received 1025 bytes in 2 block(s) at 00020000"));
    std::string got;
    host.drain(20ms);
    host.write("G\r");
    ASSERT_TRUE(host.readUntil("Starting program at 00020000", got));
    EXPECT_EQ(board.lastStart(), std::optional<std::uint32_t>(0x20000));
}

TEST(Load, ZeroLengthAsksForNoBlock) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    ASSERT_EQ(test::hostLoad(host, {}, 0x1000, 57600), "ok");
    EXPECT_EQ(board.sent().find('='), std::string::npos);
}

TEST(Load, BlocksWithOneStopBitAreRefused) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    host.write("LOAD 0001C200 00020000 00000010\r");
    std::string got;
    ASSERT_TRUE(host.readUntil("+", got));
    host.setLine(115200, 1);
    host.write("+");
    EXPECT_TRUE(board.waitForNote("arrived at 115200 8N1 while the UART is at 115200 8N2"));
}

TEST(Load, BadCommandsGetNoGoAhead) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    std::string got;
    host.write("LOAD 00001234 00020000 00000010\r");
    ASSERT_TRUE(host.readUntil("> ", got));
    EXPECT_NE(got.find("cannot run at 4660 baud"), std::string::npos);
    host.write("LOAD 0001C200 00FFFFF0 00000020\r");
    ASSERT_TRUE(host.readUntil("do not fit", got));
    EXPECT_EQ(got.find('+'), std::string::npos);
}

TEST(LoadFaults, EchoAndWaitRequestsComeBeforeTheGoAhead) {
    Faults f;
    f.echoLoadCommand = true;
    f.waitRequests = 2;
    SimulatedBoard board(withFaults(f));
    HostLine host(board.devicePath());
    host.drain(20ms);
    ASSERT_EQ(test::hostLoad(host, pattern(10), 0x3000, 115200), "ok");
    EXPECT_NE(board.sent().find("LOAD 0001C200 00003000 0000000A\r\n##+"), std::string::npos);
}

TEST(LoadFaults, KeepGoingAwaitsTheHostsZeroEachTime) {
    Faults f;
    f.keepGoing = 2;
    SimulatedBoard board(withFaults(f));
    HostLine host(board.devicePath());
    host.drain(20ms);
    ASSERT_EQ(test::hostLoad(host, pattern(10), 0x3000, 115200), "ok");
    EXPECT_NE(board.sent().find("=&&-"), std::string::npos);
    EXPECT_FALSE(hasNote(board, "no answer to '&'"));
}

struct FaultCase {
    const char* name;
    Faults faults;
    std::string hostResult;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class LoadFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(LoadFault, HostSeesIt) {
    SimulatedBoard board(withFaults(GetParam().faults));
    HostLine host(board.devicePath());
    host.drain(20ms);
    EXPECT_EQ(test::hostLoad(host, pattern(2000), 0x4000, 115200), GetParam().hostResult);
}

Faults late() {
    Faults f;
    f.lateBlock = 2;
    return f;
}
Faults badRequest() {
    Faults f;
    f.requestByte = 0xC8;
    return f;
}
Faults noGoAhead() {
    Faults f;
    f.noGoAhead = true;
    return f;
}
Faults noCompletion() {
    Faults f;
    f.noCompletion = true;
    return f;
}
Faults noise() {
    Faults f;
    f.noise = {0x00, 0xFF};
    return f;
}

INSTANTIATE_TEST_SUITE_P(LoadFaults, LoadFault,
                         ::testing::Values(FaultCase{"late", late(), "=timeout"},
                                           FaultCase{"bad", badRequest(), "reply -56"},
                                           FaultCase{"noplus", noGoAhead(), "no +"},
                                           FaultCase{"nominus", noCompletion(), "no -"},
                                           FaultCase{"noise", noise(), "reply 0"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Prompts, SilentAndCrLfBoardsFailTheWakeUp) {
    Faults f;
    f.silent = true;
    {
        SimulatedBoard board(withFaults(f));
        HostLine host(board.devicePath());
        host.write(".\r");
        EXPECT_EQ(host.drain(50ms), -1);
    }
    f = {};
    f.promptEnd = PromptEnd::CrLf;
    SimulatedBoard board(withFaults(f));
    HostLine host(board.devicePath());
    host.write(".\r");
    EXPECT_EQ(host.drain(50ms), '\n');
}

TEST(Records, HexFileThroughTheRecordLoader) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    const std::string text =
        "S00600004844521B\r\n"
        "S2070100000A0B0CD6\r\n"
        "S1060000010203F4\r\n"  // bad checksum: line 3
        ":020000040002F8\r\n"
        ":0300300002337A1E\r\n"
        "S804010000FA\r\n";
    ASSERT_EQ(test::hostRecords(host, "lo ;B3+\r", text), "ok");
    EXPECT_EQ(board.memory(0x10000, 3), (std::vector<std::uint8_t>{0x0A, 0x0B, 0x0C}));
    EXPECT_EQ(board.memory(0x20030, 3), (std::vector<std::uint8_t>{0x02, 0x33, 0x7A}));
    EXPECT_NE(board.sent().find("line 3: checksum F4, computed F3"), std::string::npos);
    EXPECT_TRUE(board.waitForSent("\r\n> "));
    std::string got;
    host.drain(20ms);
    host.write("G\r");
    ASSERT_TRUE(host.readUntil("Starting program at 00010000", got));
}

TEST(Records, StagedStartMovesTheImageAndStartsIt) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    const auto image = pattern(0x300);
    ASSERT_EQ(test::hostLoad(host, image, 0x2D0000, 115200), "ok");
    host.write("\x08mo\n\r");
    ASSERT_EQ(test::hostRecords(host, "lo ;3\r", "S204001000EB\rS204001300E8\rS804000000FB\r"),
              "ok");
    ASSERT_TRUE(board.waitForNote("program started at 00001000"));
    EXPECT_EQ(board.memory(0x1000, 0x300), std::vector<std::uint8_t>(image.begin(), image.end()));
    EXPECT_EQ(board.lastStart(), std::optional<std::uint32_t>(0x1000));
}

// A host on a link with a long round trip sees the '%' late and its first record reaches the
// board later still: a second after the '%' the text is still taken.
TEST(Records, TheFirstRecordMayComeASecondAfterThePercent) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    host.write("tom8\r");
    ASSERT_EQ(host.drain(200ms), '>');
    host.write("lo ;B3+\r");
    std::string got;
    ASSERT_TRUE(host.readUntil("%", got));
    host.setLine(57600);
    std::this_thread::sleep_for(1000ms);
    host.write("S107010041424344ED\r\nS9030000FC\r\n");
    got.clear();
    ASSERT_TRUE(host.readUntil("%", got));
    EXPECT_NE(got.find("1 records, 00000004 bytes loaded, 0 bad"), std::string::npos) << got;
    EXPECT_EQ(board.memory(0x100, 4), (std::vector<std::uint8_t>{'A', 'B', 'C', 'D'}));
}

// The host holds back its closing '%' after a report of bad records: the staged start is not
// made, and the board is back at its prompt after its wait for the '%'.
TEST(Records, NoStagedStartWithoutTheHostsPercent) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    ASSERT_EQ(test::hostLoad(host, pattern(0x300), 0x2D0000, 115200), "ok");
    host.write("\x08mo\n\r");
    host.write("tom8\r");
    ASSERT_EQ(host.drain(500ms), '>');
    host.write("lo ;3\r");
    std::string got;
    ASSERT_TRUE(host.readUntil("%", got));
    host.setLine(57600);
    host.write("S204001000EB\rS204001300E8\rS804000000FB\r");
    got.clear();
    ASSERT_TRUE(host.readUntil("%", got));
    host.setLine(9600);
    got.clear();
    ASSERT_TRUE(host.readUntil("> ", got, 8s));
    EXPECT_TRUE(board.waitForNote("staged start: not made"));
    EXPECT_FALSE(board.lastStart().has_value());
}

TEST(Records, LoaderNeedsM8Mode) {
    SimulatedBoard board;
    HostLine host(board.devicePath());
    host.drain(20ms);
    host.write("lo ;3\r");
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got));
    EXPECT_NE(got.find("type tom8 first"), std::string::npos);
    EXPECT_EQ(got.find('%'), std::string::npos);
}

TEST(Line, ReopeningTheDeviceDoesNotHangUp) {
    SimulatedBoard board;
    { HostLine first(board.devicePath()); }
    HostLine second(board.devicePath());
    second.drain(20ms);
    second.write("\r");
    std::string got;
    EXPECT_TRUE(second.readUntil("> ", got));
}

TEST(Line, PacedOutputTakesTheLineTime) {
    BoardOptions o;
    o.consoleBaud = 1200;
    o.pace = true;
    SimulatedBoard board(o);
    HostLine host(board.devicePath());
    host.setLine(1200);
    std::string got;
    ASSERT_TRUE(host.readUntil("> ", got, 5s));  // the banner, about 1 s at 1200 baud
    got.clear();
    const auto start = std::chrono::steady_clock::now();
    host.write("md 0 10\r");
    ASSERT_TRUE(host.readUntil("\r\n> ", got, 5s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Every character is 10 bit times: 1200 baud carries 120 characters a second.
    EXPECT_GE(elapsed, std::chrono::milliseconds(got.size() * 1000 / 120 - 20));
}

TEST(Program, PrintsTheDeviceAndMakesTheLink) {
    const std::string link = "/tmp/vivaz-sim-test-link-" + std::to_string(::getpid());
    const std::string command =
        std::string(VIVAZ_SIM_PROGRAM) + " --quiet --timeout 3 --link " + link;
    FILE* p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char path[256] = {};
    ASSERT_NE(std::fgets(path, sizeof path, p), nullptr);
    std::string device(path);
    device.erase(device.find_last_not_of('\n') + 1);
    EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u);
    std::this_thread::sleep_for(50ms);
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), device);
    {
        HostLine host(link);
        std::string got;
        EXPECT_TRUE(host.readUntil("> ", got));
    }
    EXPECT_EQ(::pclose(p), 0);
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
}

}  // namespace
}  // namespace vivaz
