// tarvoline-cli load and loadhex against the simulated board, run as a user runs them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "BoardFixture.h"

namespace {

struct RunResult {
    int exitCode;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CliLoad : public ::testing::Test {
protected:
    explicit CliLoad(vivaz::BoardOptions o = {}) : board(o) {
        dir = ::testing::TempDir() + "/cli-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(dir + "/config/Hollowbrook Works");
        // The user's stored settings: a port that does not exist, 9600 baud.
        std::ofstream(dir + "/config/Hollowbrook Works/Tarvoline.conf")
            << "[COM%20Settings]\nCOM%20Port=COM200\nBaud%20Rate=9600\n"
               "Baud%20Rate%20Tv%20Download=115200\n";
    }

    RunResult Run(const std::string& arguments) {
        std::string command = "XDG_CONFIG_HOME='" + dir + "/config' '" TARVOLINE_CLI "' " +
                              arguments + " >'" + dir + "/out' 2>'" + dir + "/err'";
        int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir + "/out"),
                Slurp(dir + "/err")};
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        return dir + "/" + name;
    }
    std::string Port() const { return " --port " + board.devicePath() + " "; }

    vivaz::testing::SimulatedBoard board;
    std::string dir;
};

std::string RunFile(std::uint32_t textStart, const std::vector<std::uint8_t>& image) {
    std::string file(28, '\0');
    file[0] = 0x60;
    file[1] = 0x1A;
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = static_cast<char>(image.size() >> (24 - 8 * i));
        file[22 + i] = static_cast<char>(textStart >> (24 - 8 * i));
    }
    return file + std::string(image.begin(), image.end());
}

TEST_F(CliLoad, LoadsAndStartsAProgramAndStoresNothing) {
    auto image = Pattern(2100);
    std::string path = Write("prog.RUN", RunFile(0x8000, image));
    std::string stored = Slurp(dir + "/config/Hollowbrook Works/Tarvoline.conf");
    RunResult r = Run("load" + Port() + "'" + path + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");  // not a terminal: no progress drawn
    EXPECT_EQ(board.memory(0x8000, image.size()), image);
    EXPECT_TRUE(board.waitForNote("program started at 00008000"));
    EXPECT_EQ(Slurp(dir + "/config/Hollowbrook Works/Tarvoline.conf"), stored);
}

TEST_F(CliLoad, FailuresPrintTheWindowsMessagesAndExitOne) {
    RunResult missing = Run("load" + Port() + "'" + dir + "/none.RUN'");
    EXPECT_EQ(missing.exitCode, 1);
    // The window's own text, then the file and the system's reason.
    EXPECT_EQ(missing.err,
              "Can't open CPM68K file!\n" + dir + "/none.RUN: No such file or directory\n");

    RunResult noPort = Run("load '" + dir + "/none.RUN'");  // the stored COM200 is no device
    EXPECT_EQ(noPort.exitCode, 1);
    EXPECT_EQ(noPort.err, "Cannot open COM200 (/dev/ttyS199): No such file or directory\n");

    RunResult usage = Run("load --baud fast x.RUN");
    EXPECT_EQ(usage.exitCode, 2);

    RunResult hexMissing = Run("loadhex" + Port() + "'" + dir + "/none.HEX'");
    EXPECT_EQ(hexMissing.exitCode, 1);
    EXPECT_EQ(hexMissing.err,
              "Can't open hex file!\n" + dir + "/none.HEX: No such file or directory\n");
}

TEST_F(CliLoad, VersionAndEachCommandsHelpAreAnswered) {
    RunResult version = Run("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "tarvoline-cli 2.0.0\n");
    for (const char* command :
         {"postlink", "load", "loadhex", "postlink-load", "xmodem", "term", "run"}) {
        RunResult help = Run(std::string(command) + " --help");
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_EQ(help.out.rfind("Usage: tarvoline-cli " + std::string(command) + " ", 0), 0u)
            << help.out;
        // The exit codes are part of every help; term's lists only those it gives.
        if (std::string(command) == "term") {
            EXPECT_NE(help.out.find("2 bad usage, 130 interrupted"), std::string::npos) << help.out;
            EXPECT_EQ(help.out.find("124"), std::string::npos) << help.out;
        } else {
            EXPECT_NE(help.out.find("124 the --timeout passed, 130 interrupted"),
                      std::string::npos)
                << help.out;
        }
        EXPECT_EQ(help.err, "");
    }
    EXPECT_NE(Run("run --help").out.find("POSIX extended regular expression"), std::string::npos);
    EXPECT_NE(Run("term --help").out.find("Ctrl-]"), std::string::npos);
    EXPECT_NE(Run("--help").out.find("  run [--port NAME]"), std::string::npos);
}

TEST_F(CliLoad, BadOptionsAndValuesNameThemselvesAndExitTwo) {
    const std::string rates = "use one of 1200 2400 9600 19200 38400 57600 115200 230400\n";
    const struct {
        std::string arguments, firstLine;
    } cases[] = {
        {"load --baud 12345 x.RUN", "tarvoline-cli load: --baud 12345: not a supported rate; " + rates},
        {"run --download-baud fast x.RUN",
         "tarvoline-cli run: --download-baud fast: not a supported rate; " + rates},
        {"term --baud", "tarvoline-cli term: --baud needs a value\n"},
        {"loadhex --frobnicate x.HEX", "tarvoline-cli loadhex: unknown option --frobnicate\n"},
        {"run x.RUN --timeout soon",
         "tarvoline-cli run: --timeout soon: not a time; give seconds, e.g. 30, 2.5 or 2m\n"},
        {"run x.RUN --until '(x'", "tarvoline-cli run: --until (x: not a regular expression: "},
        {"loadhex --fail-pattern '(x' x.HEX",
         "tarvoline-cli loadhex: --fail-pattern (x: not a regular expression: "},
        {"run", "tarvoline-cli run: which file?\n"},
        {"load a.RUN b.RUN", "tarvoline-cli load: one file at a time\n"},
        {"term x.RUN", "tarvoline-cli term: takes no file: x.RUN\n"},
        {"xmodem sideways x", "tarvoline-cli xmodem: sideways: expected send or receive\n"},
        {"--frobnicate", "tarvoline-cli: unknown option --frobnicate\n"},
        {"frobnicate", "tarvoline-cli: unknown command frobnicate\n"},
    };
    for (const auto& c : cases) {
        RunResult r = Run(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << c.arguments;
        EXPECT_EQ(r.err.rfind(c.firstLine, 0), 0u) << c.arguments << "\n" << r.err;
        EXPECT_EQ(r.out, "") << c.arguments;
    }
    // The usage line follows the complaint.
    EXPECT_NE(Run("load --baud 12345 x.RUN").err.find("\nUsage: tarvoline-cli load "),
              std::string::npos);
}

TEST_F(CliLoad, TheThreeProgramsTellTheirWholeVersion) {
    const struct {
        std::string program, answer;
    } programs[] = {
        {TARVOLINE_CLI, "tarvoline-cli 2.0.0\n"},
        {VIVAZ_SIM, "vivaz-sim 2.0.0\n"},
#ifdef TARVOLINE_APP
        {TARVOLINE_APP, "tarvoline 2.0.0\n"},
#endif
    };
    for (const auto& p : programs) {
        // No display is needed to ask.
        const std::string command =
            "env -u DISPLAY -u WAYLAND_DISPLAY '" + p.program + "' --version >'" + dir + "/v' 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << p.program;
        EXPECT_EQ(Slurp(dir + "/v"), p.answer);
    }
}

TEST_F(CliLoad, SendsAHexFile) {
    std::string path = Write("a.HEX", "S107010041424344ED\r\nS9030000FC\r\n");
    RunResult r = Run("loadhex" + Port() + "'" + path + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(board.memory(0x100, 4), (std::vector<std::uint8_t>{'A', 'B', 'C', 'D'}));
}

TEST_F(CliLoad, WhatTheBoardSaysOfTheRecordsIsPrinted) {
    std::string path = Write("bad.HEX", "S107010041424344EE\r\nS9030000FC\r\n");
    RunResult r = Run("loadhex" + Port() + "'" + path + "'");
    EXPECT_NE(r.out.find("line 1: checksum"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 bad"), std::string::npos) << r.out;
    // The board did not take the records: the load failed, told once, in the board's words.
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Hex file not loaded, the board reported: line 1: checksum EE, computed ED\n");
    EXPECT_EQ(r.out.find("Loaded " + path), std::string::npos) << r.out;
}

TEST_F(CliLoad, RunStartsNothingAfterBadRecords) {
    std::string path = Write("bad.HEX", "S107010041424344EE\r\nS9030000FC\r\n");
    RunResult r = Run("run" + Port() + "'" + path + "' --until PASS --timeout 20");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("the board reported: line 1: checksum EE, computed ED"), std::string::npos)
        << r.err;
    EXPECT_EQ(board.received().find("G\r"), std::string::npos);
    EXPECT_FALSE(board.lastStart().has_value());
}

TEST_F(CliLoad, AFailPatternHoldsForOneRunAndIsNotStored) {
    const std::string stored = Slurp(dir + "/config/Hollowbrook Works/Tarvoline.conf");
    std::string good = Write("good.HEX", "S107010041424344ED\r\nS9030000FC\r\n");
    // A monitor whose every report means trouble, to this user.
    RunResult strict = Run("loadhex" + Port() + "--fail-pattern 'BYTES LOADED' '" + good + "'");
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_EQ(strict.err, "Hex file not loaded, the board reported: 1 records, 00000004 bytes "
                          "loaded, 0 bad\n");
    // The next run has the default again.
    EXPECT_EQ(Run("loadhex" + Port() + "'" + good + "'").exitCode, 0);
    EXPECT_EQ(Slurp(dir + "/config/Hollowbrook Works/Tarvoline.conf"), stored);

    // The staged start is judged the same way: the program is loaded but never started.
    std::string file(36, '\0');
    file[0] = 0x60;
    file[1] = 0x1B;
    file[5] = 0x40;   // text size 0x40
    file[24] = 0x10;  // text start 0x00001000
    std::string staged = Write("staged.RUN", file + std::string(0x40, 'z'));
    RunResult load = Run("load" + Port() + "--fail-pattern 'bytes loaded' '" + staged + "'");
    EXPECT_EQ(load.exitCode, 1);
    EXPECT_NE(load.err.find("The program was loaded but not started: the board reported: "),
              std::string::npos)
        << load.err;
    EXPECT_EQ(load.out.find("Loaded and started"), std::string::npos) << load.out;
    EXPECT_FALSE(board.lastStart().has_value());
}

TEST_F(CliLoad, PostLinkLoadConvertsTheExampleAndStartsIt) {
    std::filesystem::copy_file(TARVOLINE_EXAMPLES "/demo.Bin", dir + "/demo.Bin",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(TARVOLINE_EXAMPLES "/demo.MAP", dir + "/demo.MAP",
                               std::filesystem::copy_options::overwrite_existing);
    RunResult r = Run("postlink-load" + Port() + "'" + dir + "/demo.Bin'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string run = Slurp(dir + "/demo.RUN");
    ASSERT_GT(run.size(), 28u);
    std::vector<std::uint8_t> image(run.begin() + 28, run.end());
    EXPECT_EQ(board.memory(0x20000, image.size()), image);
    EXPECT_TRUE(board.waitForNote("program started at 00020000"));

    RunResult bad = Run("postlink-load" + Port() + "'" + dir + "/demo.txt'");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "Invalid .BIN file!\n" + dir +
                           "/demo.txt: the name holds none of .BIN, .bin and .Bin\n");
}

TEST_F(CliLoad, ADirectoryIsRefusedAndTheToolsOwnLinesStartLinesOfTheirOwn) {
    const std::string folder = dir + "/build.RUN";
    std::filesystem::create_directories(folder);
    for (const char* command : {"load", "loadhex"}) {
        RunResult r = Run(std::string(command) + Port() + "'" + folder + "'");
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_EQ(r.err, folder + ": it is a directory\n") << command;
    }
    EXPECT_EQ(board.received(), "");  // the line was not touched

    // The record loader's last word is its '%': the tool's line goes below it.
    std::string path = Write("a.HEX", "S107010041424344ED\r\nS9030000FC\r\n");
    RunResult r = Run("loadhex" + Port() + "'" + path + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("%\nLoaded " + path + "\n"), std::string::npos) << r.out;
}

class CliLoadFastBoard : public CliLoad {
protected:
    CliLoadFastBoard() : CliLoad(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.consoleBaud = 19200;
        return o;
    }
};

TEST_F(CliLoadFastBoard, RatesGivenOnTheCommandLineHoldForTheRun) {
    auto image = Pattern(300);
    std::string path = Write("p.RUN", RunFile(0x9000, image));
    RunResult slow = Run("load" + Port() + "'" + path + "'");  // the stored 9600
    EXPECT_EQ(slow.exitCode, 1);
    EXPECT_EQ(slow.err, "### Protocol Error (timeout expecting monitor >)\n");

    RunResult r = Run("load" + Port() + "--baud 19200 --download-baud 57600 '" + path + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(board.memory(0x9000, image.size()), image);
    EXPECT_TRUE(board.waitForNote("blocks at 57600 baud"));
}

class CliLoadSilentBoard : public CliLoad {
protected:
    CliLoadSilentBoard() : CliLoad(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.faults.silent = true;
        return o;
    }
};

TEST_F(CliLoadSilentBoard, AHexLoadTheMonitorIgnoresFailsWithAReason) {
    std::string path = Write("a.HEX", "S9030000FC\r\n");
    RunResult r = Run("loadhex" + Port() + "'" + path + "'");
    EXPECT_EQ(r.exitCode, 1);
    // Told once: by the loader, as the window tells it.
    EXPECT_EQ(r.err, "Hex file not loaded: the monitor did not answer \"tom8\" with its prompt\n");
}

}  // namespace
