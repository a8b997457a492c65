// tarvoline-cli run against the simulated board, as a test script in CI runs it: the loaded
// program's verdict ends the run (exit 0 or 1), a time limit ends it with 124, a board that
// dies with 1. The board prints its program's output (--program-output) the moment G comes,
// so the run sees it only if it never lets go of the line after the load.

#include <memory>

#include "CliProcess.h"
#include "simulated_board.h"

namespace {

vivaz::BoardOptions Printing(const std::string& output) {
    vivaz::BoardOptions o;
    o.programOutput = output;
    return o;
}

class CliRun : public ::testing::Test {
protected:
    explicit CliRun(vivaz::BoardOptions o = Printing("self-test 1 of 2 ok\nPASS: 2 checks"))
        : board(std::make_unique<vivaz::testing::SimulatedBoard>(o)) {
        program = cli.Write("p.RUN", LoadFileOf(0x8000, std::string(700, 'x')));
    }
    int Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"run", "--port", board->devicePath()});
        cli.Start(arguments);
        return cli.Wait();
    }

    std::unique_ptr<vivaz::testing::SimulatedBoard> board;
    CCliProcess cli;
    std::string program;
};

TEST_F(CliRun, TheVerdictOfUntilEndsItWithZeroAndTheFirstOutputIsKept) {
    EXPECT_EQ(Run({program, "--until", "PASS: [0-9]+ checks", "--timeout", "60"}), 0) << cli.Err();
    // Output to a file: line ends as LF; the load's own report comes first.
    const std::string out = cli.Out();
    EXPECT_NE(out.find("Loaded 000002BC bytes at 00008000\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Starting program at 00008000\nself-test 1 of 2 ok\nPASS: 2 checks"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find('\r'), std::string::npos);
    EXPECT_EQ(cli.Err(), "");  // standard error no terminal: no progress
}

TEST_F(CliRun, MatchesSpanLinesAndFailOnWinsWithOne) {
    // One expression over two lines.
    EXPECT_EQ(Run({program, "--until", "1 of 2 ok[[:space:]]+PASS", "--timeout", "60"}), 0)
        << cli.Err();
    EXPECT_EQ(Run({program, "--until", "PASS", "--fail-on", "^self-test [0-9] of", "--timeout", "60"}),
              1);
    EXPECT_EQ(cli.Err(), "tarvoline-cli run: the output matched --fail-on ^self-test [0-9] of\n");
    // Anchors are per line: "ok$" ends a line, "^ok" starts none.
    EXPECT_EQ(Run({program, "--until", "^ok", "--fail-on", "ok$", "--timeout", "60"}), 1);
}

TEST_F(CliRun, NoVerdictInTimeIs124) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({program, "--until", "never printed", "--timeout", "1.5"}), 124) << cli.Err();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(cli.Err(), "tarvoline-cli run: no verdict within --timeout 1.5\n");
    EXPECT_NE(cli.Out().find("PASS: 2 checks"), std::string::npos);  // still copied
}

TEST_F(CliRun, ItsOwnLineStartsBelowTheBoardsOutputOnTheSameScreen) {
    // Standard output and error into one file, as on a terminal: the board's output ends
    // with its prompt, an open line.
    const std::string both = cli.dir + "/both";
    const int fd = ::open(both.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    cli.Start({"run", "--port", board->devicePath(), program, "--until", "never", "--timeout", "2"},
              -1, fd, fd);
    ::close(fd);
    EXPECT_EQ(cli.Wait(), 124);
    const std::string text = SlurpFile(both);
    EXPECT_NE(text.find("Program returned to the monitor\n> \ntarvoline-cli run: no verdict"),
              std::string::npos)
        << text;
}

TEST_F(CliRun, ABoardThatDiesEndsItWithOne) {
    cli.Start({"run", "--port", board->devicePath(), program, "--until", "never", "--timeout", "60"});
    ASSERT_TRUE(board->waitForNote("program started at 00008000", std::chrono::seconds(20)));
    board.reset();  // the board is gone: its line hangs up
    EXPECT_EQ(cli.Wait(std::chrono::seconds(20)), 1) << cli.Err();
    EXPECT_NE(cli.Err().find("went away"), std::string::npos) << cli.Err();
    EXPECT_NE(cli.Err().find("tarvoline-cli run: the line is gone\n"), std::string::npos);
}

TEST_F(CliRun, ALoadThatFailsIsOneWithTheFileAndTheReason) {
    const std::string missing = cli.dir + "/none.RUN";
    EXPECT_EQ(Run({missing, "--until", "PASS", "--timeout", "60"}), 1);
    EXPECT_EQ(cli.Err(), "Can't open CPM68K file!\n" + missing + ": No such file or directory\n");
}

TEST_F(CliRun, ABinIsConvertedAndAHexFileStartedWithG) {
    std::filesystem::copy_file(TARVOLINE_EXAMPLES "/demo.Bin", cli.dir + "/demo.Bin");
    std::filesystem::copy_file(TARVOLINE_EXAMPLES "/demo.MAP", cli.dir + "/demo.MAP");
    EXPECT_EQ(Run({cli.dir + "/demo.Bin", "--until", "PASS", "--timeout", "60"}), 0) << cli.Err();
    EXPECT_NE(cli.Out().find("Starting program at 00020000\n"), std::string::npos) << cli.Out();
    EXPECT_TRUE(std::filesystem::exists(cli.dir + "/demo.RUN"));

    const std::string hex = cli.Write("t.HEX", "S107010041424344ED\r\nS9030000FC\r\n");
    EXPECT_EQ(Run({hex, "--until", "^self-test", "--timeout", "60"}), 0) << cli.Err() << cli.Out();
    EXPECT_NE(cli.Out().find("Starting program at 00000100\nself-test"), std::string::npos)
        << cli.Out();
    EXPECT_EQ(board->memory(0x100, 4), (std::vector<std::uint8_t>{'A', 'B', 'C', 'D'}));
}

// The verdict is the program's: the monitor's words before it (the load's report, its prompt,
// the echo of G, its line announcing the start) are shown and never matched.
TEST_F(CliRun, OnlyTheProgramsOutputIsJudged) {
    // The prompt that follows the load does not pass: the one after the program does.
    EXPECT_EQ(Run({program, "--until", "^> ", "--timeout", "60"}), 0) << cli.Err();
    EXPECT_EQ(board->lastStart(), std::optional<std::uint32_t>(0x8000));
    std::string out = cli.Out();
    const size_t started = out.find("Starting program at 00008000\n");
    ASSERT_NE(started, std::string::npos) << out;
    EXPECT_NE(out.find("Program returned to the monitor\n> ", started), std::string::npos) << out;

    // The same after hex records, where the monitor's prompt comes before G is sent.
    const std::string hex = cli.Write("t.HEX", "S107010041424344ED\r\nS9030000FC\r\n");
    board->clearTranscript();
    EXPECT_EQ(Run({hex, "--until", "^> ", "--timeout", "60"}), 0) << cli.Err();
    EXPECT_EQ(board->lastStart(), std::optional<std::uint32_t>(0x100));
    out = cli.Out();
    ASSERT_NE(out.find("Starting program at 00000100\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Program returned to the monitor\n> "), std::string::npos) << out;

    // The monitor's own lines never fail a run.
    EXPECT_EQ(Run({program, "--until", "PASS", "--fail-on", "Starting|Loaded|bytes at|^G",
                   "--timeout", "60"}),
              0)
        << cli.Err() << cli.Out();
    EXPECT_EQ(cli.Err(), "");
}

class CliRunStagedStart : public CliRun {};

TEST_F(CliRunStagedStart, AProgramBelowTheMonitorsRamIsStartedByTheMoveAndHeard) {
    // A long header whose program sits below the staging address: loaded high, moved, started.
    std::string file(36, '\0');
    file[0] = 0x60;
    file[1] = 0x1B;
    const std::string image(300, 'y');
    file[4] = 0x01;
    file[5] = 0x2C;  // 300 bytes of text
    file[23] = 0x01;  // at 0x10000
    const std::string path = cli.Write("low.RUN", file + image);
    // The monitor's "Moved ..." and "Starting program ..." are its own words, not the program's.
    EXPECT_EQ(Run({path, "--until", "PASS", "--fail-on", "Moved|Starting", "--timeout", "60"}), 0)
        << cli.Err() << cli.Out();
    EXPECT_EQ(board->lastStart(), std::optional<std::uint32_t>(0x10000)) << cli.Out();
    EXPECT_NE(cli.Out().find("Moved 0000012C bytes from "), std::string::npos) << cli.Out();
}

}  // namespace
