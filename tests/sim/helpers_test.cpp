// The board's clock and DATE forms, line formats, the latency timer and the command line of
// vivaz-sim.
#include <gtest/gtest.h>

#include "board.h"
#include "board_clock.h"
#include "cli_options.h"
#include "line_format.h"

namespace vivaz {
namespace {

TEST(DateText, TwoAndFourDigitYears) {
    EXPECT_EQ(parseDate("03/01/27 09:05:07"), (DateTime{2027, 3, 1, 9, 5, 7}));
    EXPECT_EQ(parseDate("03/01/2027 09:05:07"), (DateTime{2027, 3, 1, 9, 5, 7}));
    EXPECT_EQ(parseDate("12/31/99 23:59:59"), (DateTime{1999, 12, 31, 23, 59, 59}));
    EXPECT_EQ(parseDate("02/29/2024 00:00:00"), (DateTime{2024, 2, 29, 0, 0, 0}));
}

TEST(DateText, RefusesWhatIsNotADate) {
    for (const char* bad :
         {"13/01/27 09:05:07", "02/29/2023 00:00:00", "03/01/27 24:00:00", "3/01/27 09:05:07",
          "03/01/027 09:05:07", "03/01/27 09:05", "03/01/27 09:05:07x", "", "03-01-27 09:05:07"}) {
        EXPECT_FALSE(parseDate(bad).has_value()) << bad;
    }
}

TEST(DateText, FormatsWithFourDigitYear) {
    EXPECT_EQ(formatDate(DateTime{2026, 12, 6, 19, 46, 2}), "12/06/2026 19:46:02");
}

TEST(BoardClock, RunsOnFromTheSetTime) {
    const auto t0 = BoardClock::Clock::now();
    BoardClock clock(t0);
    EXPECT_EQ(clock.read(t0), DateTime{});
    clock.set(DateTime{2026, 12, 31, 23, 59, 58}, t0);
    EXPECT_EQ(clock.read(t0 + std::chrono::seconds(3)), (DateTime{2027, 1, 1, 0, 0, 1}));
}

TEST(LineFormat, OneStopBitReceiverTakesTwoStopBits) {
    LineFormat one{9600, 8, 'N', 1};
    LineFormat two{9600, 8, 'N', 2};
    EXPECT_TRUE(uartAccepts(one, two));
    EXPECT_FALSE(uartAccepts(two, one));
    EXPECT_FALSE(uartAccepts(one, LineFormat{19200, 8, 'N', 1}));
    EXPECT_FALSE(uartAccepts(one, LineFormat{9600, 7, 'E', 1}));
    EXPECT_EQ(two.bitsPerChar(), 11);
    EXPECT_EQ(LineFormat({115200, 8, 'N', 2}).text(), "115200 8N2");
}

TEST(LineFormat, CharacterTimeFollowsSpeedAndFraming) {
    EXPECT_EQ(LineFormat({9600, 8, 'N', 1}).charTime(), std::chrono::nanoseconds(1041666));
    EXPECT_EQ(LineFormat({115200, 8, 'N', 2}).charTime(), std::chrono::nanoseconds(95486));
    EXPECT_EQ(LineFormat({1200, 7, 'E', 1}).charTime(), std::chrono::nanoseconds(8333333));
    EXPECT_EQ(LineFormat({0, 8, 'N', 1}).charTime(), std::chrono::nanoseconds::zero());
}

TEST(LatencyTimer, BytesGoOutAtTheFirstTickAtOrAfterTheirTime) {
    using std::chrono::milliseconds;
    using std::chrono::nanoseconds;
    const auto start = std::chrono::steady_clock::now();
    const milliseconds period(20);
    EXPECT_EQ(nextTick(start, period, start), start);
    EXPECT_EQ(nextTick(start, period, start + nanoseconds(1)), start + period);
    EXPECT_EQ(nextTick(start, period, start + milliseconds(19)), start + period);
    EXPECT_EQ(nextTick(start, period, start + milliseconds(20)), start + period);
    EXPECT_EQ(nextTick(start, period, start + milliseconds(41)), start + milliseconds(60));
    EXPECT_EQ(nextTick(start, milliseconds(0), start + milliseconds(41)), start + milliseconds(41));
    EXPECT_EQ(nextTick(start, period, start - milliseconds(5)), start - milliseconds(5));
}

TEST(CommandLine, ParsesFaultsAndLine) {
    std::string error;
    const auto cl =
        parseCommandLine({"--baud", "19200", "--pace", "--wait", "2", "--keep-going", "1",
                          "--late-block", "3", "--request-byte", "C8", "--prompt-end", "crlf",
                          "--noise", "00,FF", "--link", "/tmp/x", "--timeout", "1.5"},
                         error);
    ASSERT_TRUE(cl.has_value()) << error;
    EXPECT_EQ(cl->board.consoleBaud, 19200u);
    EXPECT_TRUE(cl->board.pace);
    EXPECT_EQ(cl->board.faults.waitRequests, 2);
    EXPECT_EQ(cl->board.faults.keepGoing, 1);
    EXPECT_EQ(cl->board.faults.lateBlock, 3);
    EXPECT_EQ(cl->board.faults.requestByte, std::optional<std::uint8_t>(0xC8));
    EXPECT_EQ(cl->board.faults.promptEnd, PromptEnd::CrLf);
    EXPECT_EQ(cl->board.faults.noise, (std::vector<std::uint8_t>{0x00, 0xFF}));
    EXPECT_EQ(cl->link, "/tmp/x");
    EXPECT_DOUBLE_EQ(cl->timeoutSeconds, 1.5);
}

TEST(CommandLine, RefusesUnknownOptionsAndBadValues) {
    std::string error;
    EXPECT_FALSE(parseCommandLine({"--bogus"}, error).has_value());
    EXPECT_EQ(error, "unknown option: --bogus");
    EXPECT_FALSE(parseCommandLine({"--baud", "1234"}, error).has_value());
    EXPECT_FALSE(parseCommandLine({"--noise", "00,GG"}, error).has_value());
    EXPECT_FALSE(parseCommandLine({"--wait"}, error).has_value());
    EXPECT_EQ(error, "--wait needs a value");
}

TEST(CommandLine, TakesTheFormsGetoptUsersType) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--baud=19200", "--stopbits=2"},
          std::vector<std::string>{"-b", "19200", "--stopbits", "2"},
          std::vector<std::string>{"-b19200", "--stop=2"}}) {  // a unique abbreviation
        std::string error;
        const auto cl = parseCommandLine(args, error);
        ASSERT_TRUE(cl.has_value()) << args[0] << ": " << error;
        EXPECT_EQ(cl->board.consoleBaud, 19200u) << args[0];
        EXPECT_EQ(cl->board.consoleStopBits, 2) << args[0];
    }
    std::string error;
    auto cl = parseCommandLine({"-V"}, error);
    ASSERT_TRUE(cl.has_value()) << error;
    EXPECT_TRUE(cl->version);
    cl = parseCommandLine({"-h"}, error);
    ASSERT_TRUE(cl.has_value()) << error;
    EXPECT_TRUE(cl->help);
    EXPECT_EQ(parseCommandLine({}, error)->board.consoleStopBits, 1);
    // A second parse starts afresh.
    cl = parseCommandLine({"--pace"}, error);
    ASSERT_TRUE(cl.has_value()) << error;
    EXPECT_EQ(cl->board.consoleBaud, 9600u);
}

TEST(CommandLine, RefusalsNameTheOptionAsWrittenOrByItsLongName) {
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"-b"}, "--baud needs a value"},
        {{"--baud=1234"}, "--baud: not a rate the UART can take: 1234"},
        {{"-b", "fast"}, "--baud: not a number: fast"},
        {{"--stopbits", "3"}, "--stopbits: expected 1 or 2: 3"},
        {{"--pace=yes"}, "--pace takes no value"},
        {{"-x"}, "unknown option: -x"},
        {{"--bogus=1"}, "unknown option: --bogus"},
        {{"serve"}, "unexpected argument: serve"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseCommandLine(c.args, error).has_value()) << c.args[0];
        EXPECT_EQ(error, c.error) << c.args[0];
    }
}

TEST(CommandLine, LatencyIsZeroToOneSecond) {
    std::string error;
    auto cl = parseCommandLine({}, error);
    ASSERT_TRUE(cl.has_value());
    EXPECT_EQ(cl->board.latencyMs, 0);
    cl = parseCommandLine({"--pace", "--latency", "16"}, error);
    ASSERT_TRUE(cl.has_value()) << error;
    EXPECT_TRUE(cl->board.pace);
    EXPECT_EQ(cl->board.latencyMs, 16);
    cl = parseCommandLine({"--latency", "1000"}, error);
    ASSERT_TRUE(cl.has_value()) << error;
    EXPECT_EQ(cl->board.latencyMs, 1000);
    for (const char* bad : {"1001", "-1", "16ms", ""}) {
        EXPECT_FALSE(parseCommandLine({"--latency", bad}, error).has_value()) << bad;
        EXPECT_EQ(error, std::string("--latency: expected milliseconds from 0 to 1000: ") + bad);
    }
    EXPECT_FALSE(parseCommandLine({"--latency"}, error).has_value());
    EXPECT_EQ(error, "--latency needs a value");
    EXPECT_NE(usageText().find("--latency MS"), std::string::npos);
}

TEST(CommandLine, ChatterIsOneToSixtyThousandMs) {
    std::string error;
    auto cl = parseCommandLine({}, error);
    ASSERT_TRUE(cl.has_value());
    EXPECT_EQ(cl->board.faults.chatterMs, 0);
    cl = parseCommandLine({"--chatter", "30"}, error);
    ASSERT_TRUE(cl.has_value()) << error;
    EXPECT_EQ(cl->board.faults.chatterMs, 30);
    for (const char* good : {"1", "60000"}) {
        cl = parseCommandLine({"--pace", "--chatter", good}, error);
        ASSERT_TRUE(cl.has_value()) << error;
        EXPECT_EQ(cl->board.faults.chatterMs, std::stoi(good));
    }
    for (const char* bad : {"0", "-5", "60001", "30ms", ""}) {
        EXPECT_FALSE(parseCommandLine({"--chatter", bad}, error).has_value()) << bad;
        EXPECT_EQ(error, std::string("--chatter: expected milliseconds from 1 to 60000: ") + bad);
    }
    EXPECT_FALSE(parseCommandLine({"--chatter"}, error).has_value());
    EXPECT_EQ(error, "--chatter needs a value");
    const std::string usage = usageText();
    const auto other = usage.find("Other faults:");
    ASSERT_NE(other, std::string::npos);
    EXPECT_GT(usage.find("--chatter MS"), other);
}

}  // namespace
}  // namespace vivaz
