#include "cli_options.h"

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

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
    CommandLine cl;
    Faults& f = cl.board.faults;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](int& out) {
            std::string v;
            if (!value(v)) {
                return false;
            }
            if (!toInt(v, out)) {
                error = a + ": not a number: " + v;
                return false;
            }
            return true;
        };
        std::string v;
        int n = 0;
        if (a == "-h" || a == "--help") {
            cl.help = true;
        } else if (a == "--version" || a == "-V") {
            cl.version = true;
        } else if (a == "--program-output") {
            if (!value(cl.board.programOutput))
                return std::nullopt;
            // The two characters \n in the option stand for a line end.
            for (std::size_t at; (at = cl.board.programOutput.find("\\n")) != std::string::npos;)
                cl.board.programOutput.replace(at, 2, "\n");
        } else if (a == "--link") {
            if (!value(cl.link))
                return std::nullopt;
        } else if (a == "--timeout") {
            if (!value(v))
                return std::nullopt;
            try {
                cl.timeoutSeconds = std::stod(v);
            } catch (...) {
                error = "--timeout: not a number: " + v;
                return std::nullopt;
            }
        } else if (a == "--baud") {
            if (!number(n))
                return std::nullopt;
            if (!isSupportedRate(static_cast<unsigned>(n))) {
                error = "--baud: not a rate the UART can take: " + std::to_string(n);
                return std::nullopt;
            }
            cl.board.consoleBaud = static_cast<unsigned>(n);
        } else if (a == "--pace") {
            cl.board.pace = true;
        } else if (a == "--latency") {
            if (!value(v))
                return std::nullopt;
            if (!toInt(v, n) || n > 1000) {
                error = "--latency: expected milliseconds from 0 to 1000: " + v;
                return std::nullopt;
            }
            cl.board.latencyMs = n;
        } else if (a == "--dump") {
            if (!value(cl.dumpPath))
                return std::nullopt;
        } else if (a == "--quiet") {
            cl.quiet = true;
        } else if (a == "--echo-load") {
            f.echoLoadCommand = true;
        } else if (a == "--wait") {
            if (!number(f.waitRequests))
                return std::nullopt;
        } else if (a == "--keep-going") {
            if (!number(f.keepGoing))
                return std::nullopt;
        } else if (a == "--late-block") {
            if (!number(f.lateBlock))
                return std::nullopt;
        } else if (a == "--late-ms") {
            if (!number(f.lateMs))
                return std::nullopt;
        } else if (a == "--request-byte") {
            std::uint8_t b = 0;
            if (!value(v))
                return std::nullopt;
            if (!toByte(v, b)) {
                error = "--request-byte: not a hex byte: " + v;
                return std::nullopt;
            }
            f.requestByte = b;
        } else if (a == "--request-block") {
            if (!number(f.requestBlock))
                return std::nullopt;
        } else if (a == "--no-go-ahead") {
            f.noGoAhead = true;
        } else if (a == "--no-completion") {
            f.noCompletion = true;
        } else if (a == "--no-loader-answer") {
            f.noLoaderAnswer = true;
        } else if (a == "--silent") {
            f.silent = true;
        } else if (a == "--prompt-end") {
            if (!value(v))
                return std::nullopt;
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
        } else if (a == "--noise") {
            if (!value(v))
                return std::nullopt;
            if (!toByteList(v, f.noise)) {
                error = "--noise: expected hex bytes separated by commas: " + v;
                return std::nullopt;
            }
        } else if (a == "--chatter") {
            if (!value(v))
                return std::nullopt;
            if (!toInt(v, n) || n < 1 || n > 60000) {
                error = "--chatter: expected milliseconds from 1 to 60000: " + v;
                return std::nullopt;
            }
            f.chatterMs = n;
        } else {
            error = "unknown option: " + a;
            return std::nullopt;
        }
    }
    return cl;
}

std::string usageText() {
    return R"(Usage: vivaz-sim [OPTIONS]

A simulated 68000 board running the ViVaz ROM monitor, on a pseudo-terminal. The first line
printed is the device to open (for instance with picocom -b 9600 DEVICE); the board's notes
(refused bytes, protocol errors, loads, program starts) follow on stdout.

Line and run:
  --baud RATE          console rate of the monitor (default 9600)
  --pace               run the line at its real rate both ways: send no faster than the
                       board's UART rate (10 bits a byte at 8N1, 11 at 8N2), so that a dump
                       or the banner arrives as on a real line, and take the host's bytes
                       no faster than its line setting carries them (4096 bytes wait in
                       the board; beyond that the host's writes wait in the device)
  --latency MS         the board's bytes reach the host in packets, at most MS ms late
                       (0 to 1000, default 0), as through a USB adapter's latency timer
  --link PATH          also make PATH a symbolic link to the device (removed at exit)
  --timeout SECONDS    end after this long (default: until SIGINT or SIGTERM)
  --dump FILE          at exit, write the memory that was written as S2 records to FILE
  --quiet              print only the device path
  --program-output TEXT  a started program (G, or the staged start) prints TEXT between
                       "Starting program at ..." and "Program returned to the monitor",
                       each \n in TEXT a line end: a test program's verdict for the host
  --version            print "vivaz-sim" and the version, and end

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
