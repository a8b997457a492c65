// tarvoline-cli term --hex against a pseudo-terminal that plays the board: the bytes show as
// the window's hex rows, to a pipe as whole rows and on a terminal as a row that fills in.

#include <pty.h>
#include <termios.h>

#include "CliProcess.h"
#include "Pty.h"

namespace {

const std::string kStream = std::string("MD 0 20\r\n> ") + std::string("\0ABCD", 5) +
                            "\x7F\xFF\x1B[0m";
const std::string kRow0 =
    "00000000  4D 44 20 30 20 32 30 0D  0A 3E 20 00 41 42 43 44  MD 0 20..> .ABCD";
const std::string kRow1 = "00000010  7F FF 1B 5B 30 6D                                 ...[0m";

// A byte of the script reaches the board: the program has the line open, so what the board
// writes from now on is read.
bool LineIsOpen(CTestPty& board, int script) {
    if (::write(script, "x", 1) != 1) return false;
    return board.Read(1, std::chrono::seconds(10)) == "x";
}

TEST(CliTermHex, ToAPipeWholeRowsAndTheLastRowAtTheEnd) {
    CTestPty board;
    CCliProcess cli;
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    cli.Start({"term", "--hex", "--port", board.SlavePath()}, input[0]);
    ::close(input[0]);
    ASSERT_TRUE(LineIsOpen(board, input[1])) << cli.Err();
    board.Write(kStream);
    ASSERT_TRUE(PollFor([&] { return cli.Out().find(kRow0 + "\n") != std::string::npos; },
                        std::chrono::seconds(10)))
        << cli.Out() << cli.Err();
    ::close(input[1]);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(30)), 0) << cli.Err();
    EXPECT_EQ(kRow0 + "\n" + kRow1 + "\n", cli.Out());
}

TEST(CliTermHex, OnATerminalTheOpenRowFillsIn) {
    CTestPty board;
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    std::string shown;
    auto readUntil = [&](const std::string& text) {
        return PollFor(
            [&] {
                char buf[4096];
                ssize_t n;
                while ((n = ::read(master, buf, sizeof buf)) > 0) shown.append(buf, size_t(n));
                return shown.find(text) != std::string::npos;
            },
            std::chrono::seconds(10));
    };
    CCliProcess cli;
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    cli.Start({"term", "--hex", "--port", board.SlavePath()}, input[0], slave);
    ::close(input[0]);
    ASSERT_TRUE(LineIsOpen(board, input[1])) << cli.Err();
    board.Write(kStream.substr(0, 5));
    const std::string firstPart = "00000000  4D 44 20 30 20";
    ASSERT_TRUE(readUntil(firstPart)) << shown << cli.Err();
    board.Write(kStream.substr(5));
    ASSERT_TRUE(readUntil(kRow1)) << shown << cli.Err();
    ::close(input[1]);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(30)), 0) << cli.Err();
    readUntil(kRow1 + "\r\n");
    // The open row, then CR and the whole row over it, then the next row.
    const size_t first = shown.find(firstPart);
    const size_t whole = shown.find("\r" + kRow0 + "\r\n" + kRow1);
    EXPECT_NE(whole, std::string::npos) << shown;
    EXPECT_LT(first, whole);
    EXPECT_EQ(shown.substr(shown.size() - 2), "\r\n");
    ::close(master);
    ::close(slave);
}

}  // namespace
