#include "cli_options.h"

#include <getopt.h>

#include <charconv>

#include "line_format.h"

namespace vivaz {

namespace {

bool toInt(const std::string& s, int& out, int base = 10) {
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
    return ec == std::errc() && p == s.data() + s.size() && out >= 0;
}

bool toByte(const std::string& s, std::uint8_t& out) {
    std::string digits = s.starts_with("0x") || s.starts_with("0X") ? s.substr(2) : s;
    int v = 0;
    if (digits.empty() || digits.size() > 2 || !toInt(digits, v, 16)) {
        return false;
    }
    out = static_cast<std::uint8_t>(v);
    return true;
}

bool toByteList(const std::string& s, std::vector<std::uint8_t>& out) {
    out.clear();
    std::size_t start = 0;
    while (start <= s.size()) {
        const auto comma = s.find(',', start);
        std::uint8_t b = 0;
        if (!toByte(s.substr(start, comma - start), b)) {
            return false;
        }
        out.push_back(b);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return true;
}

}  // namespace

namespace {

// The values of the options that have no one-letter form; those that have one use it.
enum : int {
    kProgramOutput = 256,
    kLink,
    kTimeout,
    kStopBits,
    kPace,
    kGreetOnCr,
    kLatency,
    kDump,
    kQuiet,
    kEchoLoad,
    kWait,
    kKeepGoing,
    kLateBlock,
    kLateMs,
    kRequestByte,
    kRequestBlock,
    kNoGoAhead,
    kNoCompletion,
    kNoLoaderAnswer,
    kSilent,
    kPromptEnd,
    kNoise,
    kChatter,
};

constexpr char kShortOptions[] = ":hVb:";  // ':' first: a missing value is told apart

constexpr option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"baud", required_argument, nullptr, 'b'},
    {"stopbits", required_argument, nullptr, kStopBits},
    {"program-output", required_argument, nullptr, kProgramOutput},
    {"link", required_argument, nullptr, kLink},
    {"timeout", required_argument, nullptr, kTimeout},
    {"pace", no_argument, nullptr, kPace},
    {"greet-on-cr", no_argument, nullptr, kGreetOnCr},
    {"latency", required_argument, nullptr, kLatency},
    {"dump", required_argument, nullptr, kDump},
    {"quiet", no_argument, nullptr, kQuiet},
    {"echo-load", no_argument, nullptr, kEchoLoad},
    {"wait", required_argument, nullptr, kWait},
    {"keep-going", required_argument, nullptr, kKeepGoing},
    {"late-block", required_argument, nullptr, kLateBlock},
    {"late-ms", required_argument, nullptr, kLateMs},
    {"request-byte", required_argument, nullptr, kRequestByte},
    {"request-block", required_argument, nullptr, kRequestBlock},
    {"no-go-ahead", no_argument, nullptr, kNoGoAhead},
    {"no-completion", no_argument, nullptr, kNoCompletion},
    {"no-loader-answer", no_argument, nullptr, kNoLoaderAnswer},
    {"silent", no_argument, nullptr, kSilent},
    {"prompt-end", required_argument, nullptr, kPromptEnd},
    {"noise", required_argument, nullptr, kNoise},
    {"chatter", required_argument, nullptr, kChatter},
    {nullptr, 0, nullptr, 0},
};

// "--baud" for 'b': messages name an option by its long name, however it was written.
std::string optionName(int code) {
    for (const option& o : kLongOptions) {
        if (o.name != nullptr && o.val == code) {
            return std::string("--") + o.name;
        }
    }
    return std::string("-") + static_cast<char>(code);
}

// What getopt_long did not take: `element` is the argument it stopped at.
std::string refusal(int code, const char* element) {
    const std::string written = element != nullptr ? element : "";
    if (code != 0 && written.starts_with("--")) {
        return optionName(code) + " takes no value";  // --pace=1
    }
    if (code != 0) {
        return "unknown option: -" + std::string(1, static_cast<char>(code));
    }
    return "unknown option: " + written.substr(0, written.find('='));
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
    CommandLine cl;
    Faults& f = cl.board.faults;
    std::vector<std::string> words{"vivaz-sim"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    opterr = 0;  // the messages are ours
    optind = 0;  // a fresh scan, also after an earlier call
    for (;;) {
        const int code = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
        if (code == -1) {
            break;
        }
        if (code == ':') {
            error = optionName(optopt) + " needs a value";
            return std::nullopt;
        }
        if (code == '?') {
            error = refusal(optopt, argv[optind - 1]);
            return std::nullopt;
        }
        const std::string name = optionName(code);
        const std::string v = optarg != nullptr ? optarg : "";
        int n = 0;
        auto number = [&](int& out) {
            if (!toInt(v, out)) {
                error = name + ": not a number: " + v;
                return false;
            }
            return true;
        };
        switch (code) {
            case 'h':
                cl.help = true;
                break;
            case 'V':
                cl.version = true;
                break;
            case kProgramOutput:
                cl.board.programOutput = v;
                // The two characters \n in the option stand for a line end.
                for (std::size_t at;
                     (at = cl.board.programOutput.find("\\n")) != std::string::npos;)
                    cl.board.programOutput.replace(at, 2, "\n");
                break;
            case kLink:
                cl.link = v;
                break;
            case kTimeout:
                try {
                    cl.timeoutSeconds = std::stod(v);
                } catch (...) {
                    error = "--timeout: not a number: " + v;
                    return std::nullopt;
                }
                break;
            case 'b':
                if (!number(n))
                    return std::nullopt;
                if (!isSupportedRate(static_cast<unsigned>(n))) {
                    error = "--baud: not a rate the UART can take: " + std::to_string(n);
                    return std::nullopt;
                }
                cl.board.consoleBaud = static_cast<unsigned>(n);
                break;
            case kStopBits:
                if (v != "1" && v != "2") {
                    error = "--stopbits: expected 1 or 2: " + v;
                    return std::nullopt;
                }
                cl.board.consoleStopBits = v == "2" ? 2 : 1;
                break;
            case kGreetOnCr:
                cl.board.greetOnCr = true;
                break;
            case kPace:
                cl.board.pace = true;
                break;
            case kLatency:
                if (!toInt(v, n) || n > 1000) {
                    error = "--latency: expected milliseconds from 0 to 1000: " + v;
                    return std::nullopt;
                }
                cl.board.latencyMs = n;
                break;
            case kDump:
                cl.dumpPath = v;
                break;
            case kQuiet:
                cl.quiet = true;
                break;
            case kEchoLoad:
                f.echoLoadCommand = true;
                break;
            case kWait:
                if (!number(f.waitRequests))
                    return std::nullopt;
                break;
            case kKeepGoing:
                if (!number(f.keepGoing))
                    return std::nullopt;
                break;
            case kLateBlock:
                if (!number(f.lateBlock))
                    return std::nullopt;
                break;
            case kLateMs:
                if (!number(f.lateMs))
                    return std::nullopt;
                break;
            case kRequestByte: {
                std::uint8_t b = 0;
                if (!toByte(v, b)) {
                    error = "--request-byte: not a hex byte: " + v;
                    return std::nullopt;
                }
                f.requestByte = b;
                break;
            }
            case kRequestBlock:
                if (!number(f.requestBlock))
                    return std::nullopt;
                break;
            case kNoGoAhead:
                f.noGoAhead = true;
                break;
            case kNoCompletion:
                f.noCompletion = true;
                break;
            case kNoLoaderAnswer:
                f.noLoaderAnswer = true;
                break;
            case kSilent:
                f.silent = true;
                break;
            case kPromptEnd:
                if (v == "normal")
                    f.promptEnd = PromptEnd::Normal;
                else if (v == "gt")
                    f.promptEnd = PromptEnd::Gt;
                else if (v == "space")
                    f.promptEnd = PromptEnd::Space;
                else if (v == "crlf")
                    f.promptEnd = PromptEnd::CrLf;
                else {
                    error = "--prompt-end: expected normal, gt, space or crlf: " + v;
                    return std::nullopt;
                }
                break;
            case kNoise:
                if (!toByteList(v, f.noise)) {
                    error = "--noise: expected hex bytes separated by commas: " + v;
                    return std::nullopt;
                }
                break;
            case kChatter:
                if (!toInt(v, n) || n < 1 || n > 60000) {
                    error = "--chatter: expected milliseconds from 1 to 60000: " + v;
                    return std::nullopt;
                }
                f.chatterMs = n;
                break;
        }
    }
    if (optind < argc) {
        error = "unexpected argument: " + words[static_cast<std::size_t>(optind)];
        return std::nullopt;
    }
    return cl;
}

std::string usageText() {
    return R"(Usage: vivaz-sim [OPTIONS]

A simulated 68000 board running the ViVaz ROM monitor, on a pseudo-terminal. The first line
printed is the device to open (for instance with picocom -b 9600 DEVICE); the board's notes
(refused bytes, protocol errors, loads, program starts) follow on stdout.

An option's value follows it as the next word or after '=': -b 19200, --baud=19200.

Line and run:
  -b, --baud RATE      console rate of the monitor (default 9600)
  --stopbits 1|2       stop bits of the console (default 1); at 2 the board refuses bytes
                       that come with one
  --pace               run the line at its real rate both ways: send no faster than the
                       board's UART rate (10 bits a byte at 8N1, 11 at 8N2), so that a dump
                       or the banner arrives as on a real line, and take the host's bytes
                       no faster than its line setting carries them (4096 bytes wait in
                       the board; beyond that the host's writes wait in the device)
  --latency MS         the board's bytes reach the host in packets, at most MS ms late
                       (0 to 1000, default 0), as through a USB adapter's latency timer
  --greet-on-cr        keep the banner and first prompt until the host's first CR (what
                       comes before it is ignored), so a terminal that opens the line late
                       sees the greeting whole and one prompt
  --link PATH          also make PATH a symbolic link to the device (removed at exit)
  --timeout SECONDS    end after this long (default: until SIGINT or SIGTERM)
  --dump FILE          at exit, write the memory that was written as S2 records to FILE
  --quiet              print only the device path
  --program-output TEXT  a started program (G, or the staged start) prints TEXT between
                       "Starting program at ..." and "Program returned to the monitor",
                       each \n in TEXT a line end: a test program's verdict for the host
  -h, --help           print this help, and end
  -V, --version        print "vivaz-sim" and the version, and end

Faults of the LOAD dialogue:
  --echo-load          repeat the LOAD command line before '+'
  --wait N             send '#' N times before '+'
  --keep-going N       send '&' N times before '-', each awaiting the host's 00
  --late-block K       send the request for block K (1-based) late ...
  --late-ms MS         ... by MS milliseconds (default 500)
  --request-byte HH    send byte HH instead of '=' ...
  --request-block K    ... for block K (default 1)
  --no-go-ahead        never answer '+'
  --no-completion      never answer '-'
  --no-loader-answer   the record loader's lo gets no '%'

Other faults:
  --silent             send nothing at all
  --prompt-end STYLE   normal ("> " and "M8>"), gt (both end in '>'), space (both end in a
                       space) or crlf (both followed by CR LF)
  --noise HH[,HH...]   send these bytes each time the board's UART changes rate, e.g. 00,FF
  --chatter MS         keep printing: at the command line, a line "tick NNNNNN" (a counter)
                       every MS ms (1 to 60000), for ever, so the line never goes quiet;
                       none inside a LOAD or the record loader

The monitor's commands and behaviour are described by its help command and in sim/README.md.
)";
}

}  // namespace vivaz
