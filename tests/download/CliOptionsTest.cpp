// tarvoline-cli's options as getopt users type them, and the line options of one run, against
// the simulated board: a board at another rate or format refuses the host's bytes, so an
// option that does not reach the line fails its load. Also the version flags of the three
// programs, and the shell completion and man page held to the rate table.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "CliProcess.h"
#include "comm/PortSettings.h"
#include "simulated_board.h"

namespace {

using namespace std::chrono_literals;

const std::string kHexFile = "S107010041424344ED\r\nS9030000FC\r\n";  // ABCD at 0x100
const std::vector<std::uint8_t> kAbcd{'A', 'B', 'C', 'D'};

std::string RatesText() {
    std::string text;
    for (unsigned rate : kOfferedBaudRates) text += (text.empty() ? "" : " ") + std::to_string(rate);
    return text;
}

struct Result {
    int exitCode;
    std::string out, err;
};

class CliOptions : public ::testing::Test {
protected:
    explicit CliOptions(vivaz::BoardOptions options = {}) : board(options) {}

    // The user's stored settings: the fixture's (a port that does not exist, 9600 baud) and
    // these lines of the section.
    void Store(const std::string& lines) {
        std::ofstream(cli.dir + "/config/Hollowbrook Works/Tarvoline.conf")
            << "[COM%20Settings]\nCOM%20Port=COM200\nBaud%20Rate=9600\n"
               "Baud%20Rate%20Tv%20Download=115200\n"
            << lines;
    }
    Result Run(const std::vector<std::string>& arguments) {
        cli.Start(arguments);
        const int code = cli.Wait(60s);
        return {code, cli.Out(), cli.Err()};
    }
    // loadhex of a file that writes ABCD at 0x100, with these options before the file.
    Result LoadHex(std::vector<std::string> options) {
        board.setMemory(0x100, {0, 0, 0, 0});
        options.insert(options.begin(), "loadhex");
        options.push_back(hex);
        return Run(options);
    }
    std::string Device() const { return board.devicePath(); }

    // term with these options, its input a pipe that sends one CR: what the board made of it
    // (its prompt, or its note refusing bytes at another format), the host's line setting
    // at that moment, and term's exit code once the input has ended.
    struct TermOutcome {
        bool prompted = false, refused = false;
        termios line{};
        int exitCode = -1;
    };
    TermOutcome Term(const std::vector<std::string>& options) {
        TermOutcome outcome;
        int input[2];
        if (::pipe(input) != 0) return outcome;
        std::vector<std::string> arguments = {"term", "-p", Device()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        board.clearTranscript();
        cli.Start(arguments, input[0]);
        ::close(input[0]);
        if (::write(input[1], "\r", 1) == 1) {
            PollFor([&] {
                outcome.prompted = board.sent().find("> ") != std::string::npos;
                for (const std::string& note : board.notes())
                    if (note.find("refused") != std::string::npos) outcome.refused = true;
                return outcome.prompted || outcome.refused;
            }, 20s);
        }
        outcome.line = board.hostSetting();
        ::close(input[1]);
        outcome.exitCode = cli.Wait();
        return outcome;
    }

    vivaz::testing::SimulatedBoard board;
    CCliProcess cli;
    std::string hex = cli.Write("a.HEX", kHexFile);
};

class CliOptionsFastBoard : public CliOptions {
protected:
    CliOptionsFastBoard() : CliOptions(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.consoleBaud = 19200;
        return o;
    }
};

TEST_F(CliOptionsFastBoard, EveryFormOfARateAndAPortReachesTheLine) {
    const TermOutcome stored = Term({});  // the stored 9600
    EXPECT_TRUE(stored.refused);
    EXPECT_FALSE(stored.prompted);

    const std::vector<std::vector<std::string>> forms = {
        {"-p", Device(), "-b", "19200"},
        {"--port=" + Device(), "--baud=19200"},
        {"-p" + Device(), "-b19200"},
        {"--port", Device(), "--baud", "19200"},
        {"--po", Device(), "--bau=19200"},  // unique abbreviations
    };
    for (const auto& form : forms) {
        const Result r = LoadHex(form);
        EXPECT_EQ(r.exitCode, 0) << form[0] << " " << form.back() << ": " << r.err;
        EXPECT_EQ(board.memory(0x100, 4), kAbcd) << form[0] << " " << form.back();
    }
    // Options after the file, and a file after "--".
    board.setMemory(0x100, {0, 0, 0, 0});
    Result r = Run({"loadhex", hex, "--baud=19200", "-p", Device()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(board.memory(0x100, 4), kAbcd);
    board.setMemory(0x100, {0, 0, 0, 0});
    r = Run({"loadhex", "-b", "19200", "-p", Device(), "--", hex});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(board.memory(0x100, 4), kAbcd);
}

class CliOptionsTwoStopBits : public CliOptions {
protected:
    CliOptionsTwoStopBits() : CliOptions(Options()) {}
    static vivaz::BoardOptions Options() {
        vivaz::BoardOptions o;
        o.consoleStopBits = 2;
        return o;
    }
};

TEST_F(CliOptionsTwoStopBits, StopBitsForTheRunOverrideTheStoredOnes) {
    // The loaders set their own format; the terminal's traffic goes at the user's.
    const struct {
        std::string stored;
        std::vector<std::string> options;
        bool accepted;
    } cases[] = {
        {"", {}, false},  // the stored 1 stop bit
        {"", {"--stopbits", "2"}, true},
        {"Stop%20Bits=2\n", {}, true},
        {"Stop%20Bits=2\n", {"--stopbits=1"}, false},
    };
    for (const auto& c : cases) {
        Store(c.stored);
        const TermOutcome t = Term(c.options);
        const std::string name = c.stored + (c.options.empty() ? "" : c.options.back());
        EXPECT_EQ(t.prompted, c.accepted) << name << cli.Err();
        EXPECT_EQ(t.refused, !c.accepted) << name;
        EXPECT_EQ((t.line.c_cflag & CSTOPB) != 0, c.accepted) << name;
        EXPECT_EQ(t.exitCode, 0) << name << cli.Err();
    }
}

TEST_F(CliOptions, DataBitsAndParityTheDeviceCannotTakeEndTheRunNamingTheOption) {
    // A pseudo-terminal carries 8 data bits without parity, whatever it is asked.
    const struct {
        std::vector<std::string> options;
        std::string err;
    } cases[] = {
        {{"--databits", "7"}, " did not take --databits 7; the line stays at 8\n"},
        {{"--parity=odd"}, " did not take --parity odd; the line stays at none\n"},
        {{"--parity", "Even"}, " did not take --parity even; the line stays at none\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"-p", Device()});
        const Result r = LoadHex(options);
        EXPECT_EQ(r.exitCode, 1) << c.options[0];
        EXPECT_EQ(r.err, Device() + c.err);
    }
    EXPECT_EQ(board.received(), "");  // nothing was sent on a line not as asked

    // The values the device can take go through, over stored ones it cannot.
    Store("Data%20Bits=7\nParity=Even\n");
    const Result r = LoadHex({"-p", Device(), "--databits=8", "--parity", "none"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(board.memory(0x100, 4), kAbcd);
}

TEST_F(CliOptions, FlowControlForTheRunReachesTheLine) {
    Store("Flow%20Control=Software\n");
    const struct {
        std::vector<std::string> options;
        bool xonXoff, rtsCts;
    } cases[] = {
        {{}, true, false},  // the stored XON/XOFF
        {{"--flow=hardware"}, false, true},
        {{"--flow", "none"}, false, false},
    };
    for (const auto& c : cases) {
        const std::string name = c.options.empty() ? "stored" : c.options[0];
        const TermOutcome t = Term(c.options);
        ASSERT_TRUE(t.prompted) << name << cli.Err();
        EXPECT_EQ((t.line.c_iflag & IXON) != 0, c.xonXoff) << name;
        EXPECT_EQ((t.line.c_cflag & CRTSCTS) != 0, c.rtsCts) << name;
        EXPECT_EQ(t.exitCode, 0) << name << cli.Err();
    }
}

TEST_F(CliOptions, BadValuesAndOptionsNameTheOptionAndExitTwo) {
    const std::string rates = "use one of " + RatesText() + "\n";
    const struct {
        std::vector<std::string> arguments;
        std::string firstLine;
    } cases[] = {
        {{"load", "-b", "4800", "x.RUN"}, "tarvoline-cli load: --baud 4800: not a supported rate; " + rates},
        {{"run", "--download-baud=fast", "x"},
         "tarvoline-cli run: --download-baud fast: not a supported rate; " + rates},
        {{"load", "--databits", "9", "x.RUN"},
         "tarvoline-cli load: --databits 9: not a number of data bits; use one of 7 8\n"},
        {{"term", "--parity=mark"},
         "tarvoline-cli term: --parity mark: not a parity; use one of none odd even\n"},
        {{"loadhex", "--stopbits", "1.5", "x.HEX"},
         "tarvoline-cli loadhex: --stopbits 1.5: not a number of stop bits; use one of 1 2\n"},
        {{"postlink-load", "--flow", "rts", "x.Bin"},
         "tarvoline-cli postlink-load: --flow rts: not a flow control; use one of none xonxoff "
         "hardware\n"},
        {{"load", "x.RUN", "-p"}, "tarvoline-cli load: --port needs a value\n"},
        {{"xmodem", "send", "-x", "f"}, "tarvoline-cli xmodem: unknown option -x\n"},
        {{"load", "--d", "7", "x.RUN"},
         "tarvoline-cli load: ambiguous option --d (--download-baud --databits)\n"},
        {{"run", "--until=x", "--timeout", "2", "--frobnicate=1", "x"},
         "tarvoline-cli run: unknown option --frobnicate\n"},
        {{"postlink", "--baud", "9600", "x.Bin"}, "tarvoline-cli postlink: unknown option --baud\n"},
        {{"-Z"}, "tarvoline-cli: unknown option -Z\n"},
        {{"--versions"}, "tarvoline-cli: unknown option --versions\n"},
    };
    for (const auto& c : cases) {
        const Result r = Run(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << c.firstLine;
        EXPECT_EQ(r.err.rfind(c.firstLine, 0), 0u) << r.err;
        EXPECT_EQ(r.out, "") << c.firstLine;
        if (c.arguments[0][0] != '-') {
            EXPECT_NE(r.err.find("\nUsage: tarvoline-cli " + c.arguments[0] + " "), std::string::npos)
                << r.err;
        }
    }
}

TEST_F(CliOptions, TheThreeProgramsAnswerDashVAndVersion) {
    const struct {
        std::string program, answer;
        std::vector<std::string> flags;
    } programs[] = {
        {TARVOLINE_CLI, "tarvoline-cli 2.0.0\n", {"-V", "--version"}},
        {VIVAZ_SIM, "vivaz-sim 2.0.0\n", {"-V", "--version"}},
#ifdef TARVOLINE_APP
        {TARVOLINE_APP, "tarvoline 2.0.0\n", {"-V", "--version", "-v"}},
#endif
    };
    for (const auto& p : programs) {
        for (const std::string& flag : p.flags) {
            // No display is needed to ask.
            const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY '" + p.program + "' " +
                                        flag + " >'" + cli.dir + "/v' 2>&1";
            const int status = std::system(command.c_str());
            EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << p.program << " " << flag;
            EXPECT_EQ(SlurpFile(cli.dir + "/v"), p.answer) << flag;
        }
    }
}

// What bash completes for the words of a command line, the last one being completed.
std::string Complete(const std::string& inFolder, const std::vector<std::string>& words) {
    // The line as typed: bash splits "--baud=" into "--baud" and "=", without spaces between.
    std::string quoted, line = "tarvoline-cli";
    for (size_t i = 0; i < words.size(); ++i) {
        quoted += " '" + words[i] + "'";
        const bool joined = words[i] == "=" || (i > 0 && words[i - 1] == "=");
        line += (joined ? "" : " ") + words[i];
    }
    const std::string script =
        "cd '" + inFolder + "' && source /usr/share/bash-completion/bash_completion && "
        "source '" TARVOLINE_SOURCE "/res/completion/tarvoline-cli' && "
        "complete_words() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); COMP_LINE='" + line + "'; "
        "COMP_POINT=${#COMP_LINE}; COMPREPLY=(); "
        "_tarvoline_cli tarvoline-cli \"${COMP_WORDS[-1]}\" \"${COMP_WORDS[-2]}\"; "
        "printf '%s\\n' \"${COMPREPLY[@]}\"; }; complete_words tarvoline-cli" + quoted;
    std::string command = "bash -c ";
    command += '\'';
    for (char c : script) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += '\'';
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pipe) ::pclose(pipe);
    // One word a line; in order.
    std::istringstream lines(out);
    std::set<std::string> sorted;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) sorted.insert(line);
    std::string joined;
    for (const std::string& w : sorted) joined += (joined.empty() ? "" : " ") + w;
    return joined;
}

std::string SortedRates() {
    std::set<std::string> sorted;
    for (unsigned rate : kOfferedBaudRates) sorted.insert(std::to_string(rate));
    std::string joined;
    for (const std::string& w : sorted) joined += (joined.empty() ? "" : " ") + w;
    return joined;
}

TEST_F(CliOptions, CompletionAndManPageOfferExactlyTheRatesTheToolTakes) {
    if (!std::filesystem::exists("/usr/share/bash-completion/bash_completion"))
        GTEST_SKIP() << "bash-completion is not installed";
    const std::string rates = SortedRates();
    EXPECT_EQ(Complete(cli.dir, {"load", "--baud", ""}), rates);
    EXPECT_EQ(Complete(cli.dir, {"term", "-b", ""}), rates);
    EXPECT_EQ(Complete(cli.dir, {"run", "x.RUN", "--download-baud", ""}), rates);
    EXPECT_EQ(Complete(cli.dir, {"xmodem", "send", "--baud", "=", ""}), rates);  // --baud=
    EXPECT_EQ(Complete(cli.dir, {"load", "--baud", "11"}), "115200");
    EXPECT_EQ(Complete(cli.dir, {"term", "--databits", ""}), "7 8");
    EXPECT_EQ(Complete(cli.dir, {"term", "--parity", ""}), "even none odd");
    EXPECT_EQ(Complete(cli.dir, {"term", "--stopbits", ""}), "1 2");
    EXPECT_EQ(Complete(cli.dir, {"term", "--flow", ""}), "hardware none xonxoff");
    EXPECT_EQ(Complete(cli.dir, {"term", "--d"}), "--databits --download-baud");

    // The help and the man page list the same rates.
    const Result help = Run({"load", "--help"});
    EXPECT_NE(help.out.find(" " + RatesText() + "\n"), std::string::npos) << help.out;
    const std::string page = SlurpFile(TARVOLINE_SOURCE "/res/man/tarvoline-cli.1");
    EXPECT_NE(page.find("\n" + RatesText() + ".\n"), std::string::npos);
}

TEST_F(CliOptions, LoadhexCompletesTheConvertersRecordFilesAndTheUsualHexNames) {
    if (!std::filesystem::exists("/usr/share/bash-completion/bash_completion"))
        GTEST_SKIP() << "bash-completion is not installed";
    const std::string folder = cli.dir + "/files";
    std::filesystem::create_directories(folder + "/sub");
    for (const char* name : {"demo.REC", "demo.SRE", "demo.Srec", "a.s19", "b.S28", "c.s37",
                             "d.mot", "e.hex", "f.HEX", "g.ihx", "h.RHX", "i.ahx", "j.Bin",
                             "k.RUN", "l.elf", "notes.txt", "rec"})
        std::ofstream(folder + "/" + name) << "x";
    EXPECT_EQ(Complete(folder, {"loadhex", ""}),
              "a.s19 b.S28 c.s37 d.mot demo.REC demo.SRE demo.Srec e.hex f.HEX g.ihx h.RHX "
              "i.ahx sub");
    EXPECT_EQ(Complete(folder, {"loadhex", "-p", "COM1", "demo"}),
              "demo.REC demo.SRE demo.Srec");
    // load takes load files and the toolchain's programs; not the converter's .REC and .SRE,
    // nor the record loader's own .RHX and .AHX.
    EXPECT_EQ(Complete(folder, {"load", ""}),
              "a.s19 b.S28 c.s37 d.mot demo.Srec e.hex f.HEX k.RUN l.elf sub");
    EXPECT_EQ(Complete(folder, {"load", "--raw"}), "--raw-header");
}

}  // namespace
