// tarvoline-cli term as a user's shell runs it: on a pseudo-terminal of its own (the user's
// terminal), talking to the simulated board on another. What is typed reaches the board as
// the window's keyboard sends it, the answer shows with the shell's CR LF line ends, and every
// way out puts the user's terminal settings back exactly. With standard input a pipe, it
// copies the input to the line and the board's output to standard output.

#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cstring>
#include <memory>

#include "CliProcess.h"
#include "simulated_board.h"

namespace {

// The user's terminal: the test types on the master; the program gets the slave as its
// standard input, output and error and as its controlling terminal.
class CUserTerminal {
public:
    CUserTerminal() {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty");
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        // Settings of the user's own, not the defaults, so a restore that only "looks cooked"
        // is caught.
        termios t{};
        ::tcgetattr(slave, &t);
        t.c_cc[VERASE] = 0x08;
        t.c_cc[VKILL] = 0x15;
        t.c_lflag |= ECHOCTL | ECHOKE;
        t.c_iflag |= IUTF8;
        ::cfsetospeed(&t, B38400);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    ~CUserTerminal() {
        ::close(master);
        if (slave >= 0) ::close(slave);
    }
    termios Settings() const {
        termios t{};
        ::tcgetattr(slave, &t);
        return t;
    }
    void Type(const std::string& keys) {
        ASSERT_EQ(::write(master, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    // Reads what the program wrote until `text` has appeared (false after limit).
    bool ReadUntil(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return PollFor(
            [&] {
                char buf[4096];
                ssize_t n;
                while ((n = ::read(master, buf, sizeof buf)) > 0) shown.append(buf, size_t(n));
                return shown.find(text) != std::string::npos;
            },
            limit);
    }
    // The child's set-up: a session of its own with this terminal as its controlling one.
    std::function<void()> Controlling() {
        const int s = slave;
        return [s] {
            ::setsid();
            ::ioctl(s, TIOCSCTTY, 0);
        };
    }

    int master = -1, slave = -1;
    std::string shown;
};

bool SameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

class CliTerm : public ::testing::Test {
protected:
    CliTerm() : board(std::make_unique<vivaz::testing::SimulatedBoard>()) {}

    void StartOnTheUsersTerminal(std::vector<std::string> arguments = {}) {
        before = user.Settings();
        if (arguments.empty()) arguments = {"--port", board->devicePath()};
        arguments.insert(arguments.begin(), "term");
        cli.Start(arguments, user.slave, user.slave, user.slave, user.Controlling());
        // The greeting comes once the terminal is raw.
        ASSERT_TRUE(user.ReadUntil("Ctrl-] q quit")) << user.shown;
        board->clearTranscript();
    }

    std::unique_ptr<vivaz::testing::SimulatedBoard> board;
    CUserTerminal user;
    CCliProcess cli;
    termios before{};
};

TEST_F(CliTerm, ATypedCommandIsAnsweredAndCtrlBracketQPutsTheTerminalBack) {
    StartOnTheUsersTerminal();
    const termios during = user.Settings();
    EXPECT_FALSE(during.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(during.c_oflag & OPOST);

    user.Type("help\r");
    ASSERT_TRUE(user.ReadUntil("dump memory (hex)\r\n> ")) << user.shown;
    EXPECT_NE(user.shown.find("help\r\nCommands:\r\n"), std::string::npos) << user.shown;

    user.Type("\x1dq");
    EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 0);
    EXPECT_TRUE(SameSettings(before, user.Settings()));
}

TEST_F(CliTerm, KeysGoAsTheWindowSendsThem) {
    StartOnTheUsersTerminal();
    // Backspace (the terminal's DEL) goes as BS; an arrow key and Alt+x send nothing; Ctrl-C
    // is a byte for the board, not a signal; Ctrl-] Ctrl-] sends one Ctrl-].
    user.Type("md 1x\x7f");
    user.Type("\x1b[A");
    user.Type("\x1bx");
    user.Type("00 10\r");
    ASSERT_TRUE(user.ReadUntil("00000100  00 00")) << user.shown;
    user.Type("\x03");
    ASSERT_TRUE(user.ReadUntil("^C\r\n> ")) << user.shown;
    user.Type("\x1d\x1d");
    ASSERT_TRUE(PollFor([&] { return board->received().find('\x1d') != std::string::npos; },
                        std::chrono::seconds(5)));
    EXPECT_EQ(board->received(), std::string("md 1x\b00 10\r\x03\x1d"))
        << board->received();
    user.Type("\x1dq");
    EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 0);
    EXPECT_TRUE(SameSettings(before, user.Settings()));
}

TEST_F(CliTerm, CtrlBracketLLoadsAFileAndTheSessionGoesOn) {
    std::filesystem::copy_file(TARVOLINE_EXAMPLES "/demo.Bin", cli.dir + "/demo.Bin");
    std::filesystem::copy_file(TARVOLINE_EXAMPLES "/demo.MAP", cli.dir + "/demo.MAP");
    StartOnTheUsersTerminal();
    user.Type("\x1d?");
    ASSERT_TRUE(user.ReadUntil("send Break")) << user.shown;
    user.Type("\x1dl");
    ASSERT_TRUE(user.ReadUntil("File to load: ")) << user.shown;
    // The terminal's own line editing while the path is asked for.
    user.Type(cli.dir + "/demo.Bin\n");
    ASSERT_TRUE(user.ReadUntil("--- loaded " + cli.dir + "/demo.Bin ---", std::chrono::seconds(30)))
        << user.shown;
    ASSERT_TRUE(board->waitForNote("program started at 00020000"));
    const std::string run = SlurpFile(cli.dir + "/demo.RUN");
    ASSERT_GT(run.size(), 28u);
    EXPECT_EQ(board->memory(0x20000, run.size() - 28),
              std::vector<std::uint8_t>(run.begin() + 28, run.end()));
    ASSERT_TRUE(user.ReadUntil("Program returned to the monitor\r\n")) << user.shown;
    // The board's words shown while the terminal was cooked for the question have the same
    // line ends as the rest of the session.
    EXPECT_EQ(user.shown.find("\r\r\n"), std::string::npos) << user.shown;
    // Raw again: the next command goes as typed.
    user.Type("date\r");
    ASSERT_TRUE(user.ReadUntil("DATE 01/01/1990")) << user.shown;
    user.Type("\x1dq");
    EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 0);
    EXPECT_TRUE(SameSettings(before, user.Settings()));
}

TEST_F(CliTerm, ASignalOrALostBoardPutsTheTerminalBackToo) {
    StartOnTheUsersTerminal();
    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 130);
    EXPECT_TRUE(SameSettings(before, user.Settings()));

    user.shown.clear();
    StartOnTheUsersTerminal({"--port", board->devicePath(), "--no-reconnect"});
    board.reset();
    EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 1);
    EXPECT_TRUE(SameSettings(before, user.Settings()));
    EXPECT_TRUE(user.ReadUntil("the line is gone")) << user.shown;
}

// An adapter unplugged and plugged in again: a stable name (as /dev/serial/by-id gives one, or
// vivaz-sim --link) that leads nowhere for a while and then to a board on a new device.
class CliTermReplug : public CliTerm {
protected:
    CliTermReplug() {
        link = cli.dir + "/board-by-id";
        PointLink(board->devicePath());
    }
    void PointLink(const std::string& target) {
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
    }
    void Unplug() {
        PointLink(link + "-unplugged");
        board.reset();
    }
    // A board whose console runs at 19200: it refuses what comes at the pseudo-terminal's
    // own default rate, so its answers show that the line settings reached the new device.
    static std::unique_ptr<vivaz::testing::SimulatedBoard> BoardAt19200() {
        vivaz::BoardOptions options;
        options.consoleBaud = 19200;
        return std::make_unique<vivaz::testing::SimulatedBoard>(options);
    }
    std::string link;
};

TEST_F(CliTermReplug, TheTerminalWaitsForTheDeviceAndGoesOnWithTheSameSettings) {
    board = BoardAt19200();
    PointLink(board->devicePath());
    StartOnTheUsersTerminal({"--port", link, "--baud", "19200"});
    user.Type("date\r");
    ASSERT_TRUE(user.ReadUntil("DATE 01/01/1990")) << user.shown;

    Unplug();
    ASSERT_TRUE(user.ReadUntil("; waiting for it ---\r\n")) << user.shown;
    EXPECT_NE(user.shown.find("--- " + link + " went away ("), std::string::npos) << user.shown;
    // Keys typed meanwhile have no board to go to; the session goes on.
    user.Type("x");
    EXPECT_EQ(cli.Wait(std::chrono::milliseconds(300)), -1) << user.shown;

    board = BoardAt19200();
    PointLink(board->devicePath());
    ASSERT_TRUE(user.ReadUntil("--- reconnected to " + link + " ---")) << user.shown;
    user.shown.clear();
    user.Type("date\r");
    ASSERT_TRUE(user.ReadUntil("DATE 01/01/1990")) << user.shown;
    EXPECT_EQ(board->received(), "date\r");
    for (const std::string& note : board->notes()) EXPECT_EQ(note.find("refused"), std::string::npos) << note;

    user.Type("\x1dq");
    EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 0);
    EXPECT_TRUE(SameSettings(before, user.Settings()));
}

TEST_F(CliTermReplug, CtrlCQuitsWhileWaiting) {
    StartOnTheUsersTerminal({"--port", link});
    Unplug();
    ASSERT_TRUE(user.ReadUntil("; waiting for it ---")) << user.shown;
    user.Type("\x03");
    EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 130);
    EXPECT_TRUE(SameSettings(before, user.Settings()));
}

TEST_F(CliTermReplug, AScriptsInputWaitsForTheDeviceToComeBack) {
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    cli.Start({"term", "--port", link}, input[0]);
    ::close(input[0]);
    ASSERT_EQ(::write(input[1], "date\n", 5), 5);
    ASSERT_TRUE(PollFor([&] { return cli.Out().find("DATE 01/01/1990") != std::string::npos; },
                        std::chrono::seconds(10)))
        << cli.Err();

    Unplug();
    ASSERT_TRUE(PollFor([&] { return cli.Err().find("; waiting for it ---") != std::string::npos; },
                        std::chrono::seconds(10)))
        << cli.Err();
    // Written while the device is away: it goes to the board that comes back.
    ASSERT_EQ(::write(input[1], "md 100 2\n", 9), 9);
    ::close(input[1]);
    board = std::make_unique<vivaz::testing::SimulatedBoard>();
    PointLink(board->devicePath());
    EXPECT_EQ(cli.Wait(std::chrono::seconds(30)), 0) << cli.Err();
    EXPECT_NE(cli.Err().find("--- reconnected to " + link + " ---"), std::string::npos) << cli.Err();
    EXPECT_EQ(board->received(), "md 100 2\r\n");
    EXPECT_NE(cli.Out().find("00000100  00 00"), std::string::npos) << cli.Out();
}

TEST_F(CliTerm, WithStdinNotATerminalItCopiesBothWaysForScripts) {
    const std::string script = cli.Write("script", "md 100 10\ndate\n");
    const int in = ::open(script.c_str(), O_RDONLY);
    ASSERT_GE(in, 0);
    board->setMemory(0x100, {'T', 'v'});
    const auto start = std::chrono::steady_clock::now();
    cli.Start({"term", "--port", board->devicePath()}, in);
    ::close(in);
    EXPECT_EQ(cli.Wait(std::chrono::seconds(30)), 0) << cli.Err();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    // A bare LF went as CR LF, as a paste does; the answers come back with LF line ends.
    EXPECT_EQ(board->received(), "md 100 10\r\ndate\r\n");
    const std::string out = cli.Out();
    EXPECT_NE(out.find("md 100 10\n00000100  54 76 00"), std::string::npos) << out;
    EXPECT_NE(out.find("date\nDATE 01/01/1990"), std::string::npos) << out;
    EXPECT_EQ(out.find('\r'), std::string::npos);
}

}  // namespace

namespace {

// The board's side played by the test on a pseudo-terminal of its own, to send escape
// sequences exactly.
class CliTermEscapes : public ::testing::Test {
protected:
    void Start(std::vector<std::string> extra = {}) {
        before = user.Settings();
        std::vector<std::string> arguments = {"term", "--port", ::ttyname(line.slave)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        cli.Start(arguments, user.slave, user.slave, user.slave, user.Controlling());
        ASSERT_TRUE(user.ReadUntil("Ctrl-] q quit")) << user.shown;
        user.shown.clear();
    }
    void BoardSays(const std::string& bytes) { line.Type(bytes); }
    void Quit() {
        user.Type("\x1dq");
        EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 0);
        EXPECT_TRUE(SameSettings(before, user.Settings()));
    }

    CUserTerminal user;
    CUserTerminal line;
    CCliProcess cli;
    termios before{};
};

TEST_F(CliTermEscapes, SequencesReachTheTerminalInOrderAndTitlesAreDropped) {
    Start();
    // A title ended by BEL, then text: the BEL must close the title, not ring before it.
    BoardSays("one\a two \x1b]0;BOARD TITLE\x07three \x1b[31mred\x1b[0m\r\x1b[K");
    BoardSays("four\x1b[");
    BoardSays("1mbold\x1b[m\r\nend\r\n");
    ASSERT_TRUE(user.ReadUntil("end\r\n")) << user.shown;
    // The CR before ESC[K takes its line end back: unwritten yet, or by moving up a line.
    std::string shown = user.shown;
    if (const size_t at = shown.find("\r\n\x1b[A\r"); at != std::string::npos)
        shown.replace(at, 6, "\r");
    EXPECT_EQ("one\a two three \x1b[31mred\x1b[0m\r\x1b[Kfour\x1b[1mbold\x1b[m\r\nend\r\n",
              shown);
    Quit();
}

TEST_F(CliTermEscapes, TitlesPassWhenAsked) {
    Start({"--titles"});
    BoardSays("\x1b]2;BOARD\x1b\\x\r\n");
    ASSERT_TRUE(user.ReadUntil("x\r\n")) << user.shown;
    EXPECT_EQ("\x1b]2;BOARD\x1b\\x\r\n", user.shown);
    Quit();
}

TEST_F(CliTermEscapes, AStopFromOutsideGivesTheTerminalBackAndAContinueMakesItRawAgain) {
    Start();
    cli.Signal(SIGTSTP);
    EXPECT_TRUE(PollFor([&] { return SameSettings(before, user.Settings()); },
                        std::chrono::seconds(10)));
    cli.Signal(SIGCONT);
    EXPECT_TRUE(PollFor(
        [&] {
            const termios t = user.Settings();
            return !(t.c_lflag & (ICANON | ECHO | ISIG)) && !(t.c_oflag & OPOST);
        },
        std::chrono::seconds(10)));
    // Still the board's terminal: what the board says shows, the quit key quits.
    BoardSays("back\r\n");
    ASSERT_TRUE(user.ReadUntil("back\r\n")) << user.shown;
    Quit();
}

TEST(CliTermHelp, ListsOnlyTheExitCodesTermGives) {
    CCliProcess cli;
    cli.Start({"term", "--help"});
    EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), 0);
    EXPECT_NE(cli.Out().find("Exit codes: 0"), std::string::npos) << cli.Out();
    EXPECT_NE(cli.Out().find("130"), std::string::npos) << cli.Out();
    EXPECT_NE(cli.Out().find("--titles"), std::string::npos) << cli.Out();
    EXPECT_EQ(cli.Out().find("124"), std::string::npos) << cli.Out();
}

}  // namespace
