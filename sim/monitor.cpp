#include "monitor.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace vivaz {

namespace {

constexpr std::size_t kMaxLine = 80;
constexpr std::uint32_t kDefaultDump = 0x100;
constexpr std::uint32_t kMaxDump = 0x10000;

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Splits off the first space-separated word.
std::string_view firstWord(std::string_view& rest) {
    rest = trim(rest);
    const auto space = rest.find(' ');
    const auto word = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view{} : trim(rest.substr(space));
    return word;
}

}  // namespace

std::string hex8(std::uint32_t v) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

bool parseHexField(std::string_view text, std::uint32_t& out) {
    if (text.empty() || text.size() > 8) {
        return false;
    }
    out = 0;
    for (char c : text) {
        const int d = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : (std::isxdigit(static_cast<unsigned char>(c))
                                 ? std::toupper(static_cast<unsigned char>(c)) - 'A' + 10
                                 : -1);
        if (d < 0) {
            return false;
        }
        out = out * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
}

Monitor::Monitor(MonitorOutput& out, SparseMemory& memory, const BoardOptions& options,
                 Clock::time_point now)
    : out_(out), memory_(memory), options_(options), clock_(now), now_(now) {
    uart_ = consoleFormat();
    restartChatter();
}

void Monitor::setFaults(const Faults& faults, Clock::time_point now) {
    const bool chatterChanged = faults.chatterMs != options_.faults.chatterMs;
    options_.faults = faults;
    if (chatterChanged) {
        chatterDue_.reset();
        if (faults.chatterMs > 0) {
            chatterDue_ = now + std::chrono::milliseconds(faults.chatterMs);
        }
    }
}

LineFormat Monitor::consoleFormat() const {
    LineFormat f;
    f.baud = options_.consoleBaud;
    f.stopBits = options_.consoleStopBits;
    return f;
}

void Monitor::emit(std::string_view bytes) {
    if (!options_.faults.silent && !bytes.empty()) {
        out_.send(bytes, uart_);
    }
}

void Monitor::setUart(const LineFormat& f) {
    if (f == uart_) {
        return;
    }
    uart_ = f;
    if (!options_.faults.noise.empty()) {
        // The glitch of reprogramming the UART goes out at neither rate.
        emit(std::string(options_.faults.noise.begin(), options_.faults.noise.end()));
    }
}

void Monitor::powerOn() {
    if (options_.greetOnCr) {
        awaitingCr_ = true;  // the first CR greets
        return;
    }
    greet();
}

void Monitor::greet() {
    emit("\r\nViVaz ROM monitor 2.0 (simulated 68000 board)\r\n");
    emit("Console " + consoleFormat().text() + ", RAM 16 MiB. Type help for commands.\r\n");
    prompt();
}

void Monitor::prompt() {
    const bool m8 = mode_ == Mode::M8;
    switch (options_.faults.promptEnd) {
        case PromptEnd::Normal:
            emit(m8 ? "M8>" : "> ");
            break;
        case PromptEnd::Gt:
            emit(m8 ? "M8>" : ">");
            break;
        case PromptEnd::Space:
            emit(m8 ? "M8> " : "> ");
            break;
        case PromptEnd::CrLf:
            emit(m8 ? "M8>\r\n" : ">\r\n");
            break;
    }
}

bool Monitor::refuse(std::string_view bytes, const LineFormat& line) {
    if (uartAccepts(uart_, line)) {
        return false;
    }
    out_.note("refused " + std::to_string(bytes.size()) + " byte(s) sent at " + line.text() +
              ": the board's UART is at " + uart_.text());
    return true;
}

void Monitor::receive(std::string_view bytes, const LineFormat& line, Clock::time_point now) {
    now_ = now;
    tick(now);
    if (bytes.empty()) {
        return;
    }
    switch (state_) {
        case State::Command:
            if (refuse(bytes, line)) {
                return;
            }
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                commandByte(bytes[i]);
                if (state_ != State::Command) {
                    // The command switched the dialogue; the rest belongs to it.
                    receive(bytes.substr(i + 1), line, now);
                    return;
                }
            }
            return;
        case State::AwaitHostPlus:
        case State::Blocks:
        case State::KeepGoing:
            loadBytes(bytes, line);
            return;
        case State::RecordWait:
        case State::RecordText:
            recordBytes(bytes, line);
            return;
        case State::AwaitPercent:
            awaitPercentBytes(bytes, line);
            return;
    }
}

std::optional<Monitor::Clock::time_point> Monitor::deadline() const {
    std::optional<Clock::time_point> due = deadline_;
    if (pendingRequest_ && (!due || *pendingRequest_ < *due)) {
        due = pendingRequest_;
    }
    if (state_ == State::Command && chatterDue_ && (!due || *chatterDue_ < *due)) {
        due = chatterDue_;
    }
    return due;
}

void Monitor::tick(Clock::time_point now) {
    now_ = now;
    chatter(now);
    if (pendingRequest_ && now >= *pendingRequest_) {
        pendingRequest_.reset();
        sendRequest();
    }
    if (!deadline_ || now < *deadline_) {
        return;
    }
    deadline_.reset();
    switch (state_) {
        case State::AwaitHostPlus:
        case State::Blocks:
        case State::KeepGoing:
            loadTimeout();
            break;
        case State::RecordWait:
        case State::RecordText:
            recordsQuiet();
            break;
        case State::AwaitPercent:
            out_.note("record loader: no closing '%' from the host");
            // Without the host's '%' a staged start is not made: the host holds it back
            // when the board reported bad records.
            if (moveArmed_) {
                moveArmed_ = false;
                out_.note("staged start: not made without the host's '%'");
            }
            recordsDone();
            break;
        case State::Command:
            break;
    }
}

void Monitor::restartChatter() {
    chatterDue_.reset();
    if (options_.faults.chatterMs > 0) {
        chatterDue_ = now_ + std::chrono::milliseconds(options_.faults.chatterMs);
    }
}

void Monitor::chatter(Clock::time_point now) {
    if (state_ != State::Command || !chatterDue_ || now < *chatterDue_) {
        return;
    }
    if (chatterCount_ == 0) {
        out_.note("fault: a tick line every " + std::to_string(options_.faults.chatterMs) +
                  " ms at the command line");
    }
    ++chatterCount_;
    char text[24];
    std::snprintf(text, sizeof text, "tick %06u\r\n",
                  static_cast<unsigned>(chatterCount_ % 1000000));
    const std::string_view line(text);
    emit(line);
    // The period runs on from when the line was due; one that fell due while the board was held
    // up is not made up for, and the next line never starts before this one has left the UART.
    const auto period = std::chrono::milliseconds(options_.faults.chatterMs);
    auto next = *chatterDue_ + period;
    if (next <= now) {
        next = now + period;
    }
    const auto gone = now + std::chrono::duration_cast<Clock::duration>(
                                uart_.charTime() * static_cast<long>(line.size()));
    chatterDue_ = std::max(next, gone);
}

void Monitor::commandByte(char c) {
    if (awaitingCr_) {
        if (c == '\r') {
            awaitingCr_ = false;
            greet();
        }
        return;
    }
    switch (c) {
        case '\r': {
            goKeyArmed_ = false;
            emit("\r\n");
            const std::string line = std::move(line_);
            line_.clear();
            execute(line);
            return;
        }
        case '\n':
            return;  // terminals end lines with CR; a following LF is not a new line
        case 0x08:
        case 0x7F:
            if (!line_.empty()) {
                line_.pop_back();
                emit("\b \b");
            }
            return;
        case 0x03:
            line_.clear();
            emit("^C\r\n");
            prompt();
            return;
        default:
            break;
    }
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) {
        return;
    }
    if (goKeyArmed_) {
        goKeyArmed_ = false;
        if ((c == 'G' || c == 'g') && line_.empty()) {
            emit("G\r\n");
            go({});
            return;
        }
    }
    if (line_.size() >= kMaxLine) {
        emit("\a");
        return;
    }
    line_.push_back(c);
    emit(std::string_view(&c, 1));
}

void Monitor::execute(const std::string& text) {
    std::string_view rest = text;
    const std::string command = lower(firstWord(rest));
    if (command.empty() || command == ".") {
        prompt();  // the host's wake-up sends "." and bare CRs
    } else if (command == "help" || command == "?") {
        help();
    } else if (command == "load") {
        startLoad(rest);
    } else if (command == "tom8") {
        mode_ = Mode::M8;
        prompt();
    } else if (command == "q" && mode_ == Mode::M8) {
        mode_ = Mode::Main;
        prompt();
    } else if (command == "lo" || command.starts_with("lo;")) {
        if (mode_ != Mode::M8) {
            emit("lo: the record loader runs in M8 mode; type tom8 first\r\n");
            prompt();
        } else if (options_.faults.noLoaderAnswer) {
            out_.note("fault: no '%' for this lo");  // back at the command line, silent
        } else {
            startRecords(trim(trim(text).substr(2)));
        }
    } else if (command == "mo") {
        arm(rest);
    } else if (command == "g" || command == "go") {
        go(rest);
    } else if (command == "date") {
        date(rest);
    } else if (command == "md") {
        memoryDump(rest);
    } else {
        std::string_view all = text;
        emit("What? " + std::string(firstWord(all)) + " (help lists the commands)\r\n");
        prompt();
    }
}

void Monitor::help() {
    emit(
        "Commands:\r\n"
        "  help                      this list\r\n"
        "  LOAD rrrrrrrr aaaaaaaa cccccccc\r\n"
        "                            binary load of c bytes at a, blocks at rate r (hex)\r\n"
        "  tom8                      enter M8 mode (the record loader), q leaves it\r\n"
        "  lo ;options               in M8 mode: load S-records or Intel hex at 57600\r\n"
        "  mo                        move the last LOAD to the address records that follow\r\n"
        "                            through lo, and start it there\r\n"
        "  G [addr]                  start the last loaded program (or addr)\r\n"
        "  DATE [mm/dd/yy[yy] hh:mm:ss]  set and show the clock\r\n"
        "  md addr [len]             dump memory (hex)\r\n");
    prompt();
}

void Monitor::memoryDump(std::string_view args) {
    std::uint32_t address = 0;
    std::uint32_t length = kDefaultDump;
    const auto a = firstWord(args);
    const auto l = firstWord(args);
    if (!parseHexField(a, address) || (!l.empty() && !parseHexField(l, length)) || !args.empty() ||
        length > kMaxDump) {
        emit("md: usage md addr [len], hex, len up to 10000\r\n");
        prompt();
        return;
    }
    for (std::uint32_t row = 0; row < length; row += 16) {
        const std::uint32_t n = std::min<std::uint32_t>(16, length - row);
        const auto bytes = memory_.read(address + row, n);
        std::string text = hex8((address + row) & SparseMemory::kMask) + " ";
        std::string ascii;
        for (std::uint32_t i = 0; i < 16; ++i) {
            char buf[4];
            if (i < n) {
                std::snprintf(buf, sizeof buf, " %02X", bytes[i]);
                ascii.push_back(bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i])
                                                                    : '.');
            } else {
                std::snprintf(buf, sizeof buf, "   ");
            }
            text += buf;
        }
        emit(text + "  " + ascii + "\r\n");
    }
    prompt();
}

void Monitor::date(std::string_view args) {
    if (!args.empty()) {
        const auto dt = parseDate(args);
        if (!dt) {
            emit("DATE: expected mm/dd/yy hh:mm:ss or mm/dd/yyyy hh:mm:ss\r\n");
            prompt();
            return;
        }
        clock_.set(*dt, now_);
        out_.note("clock set to " + formatDate(*dt));
    }
    emit("DATE " + formatDate(clock_.read(now_)) + "\r\n");
    prompt();
}

void Monitor::go(std::string_view args) {
    std::uint32_t address = 0;
    if (!args.empty()) {
        if (!parseHexField(args, address)) {
            emit("G: usage G [addr]\r\n");
            prompt();
            return;
        }
    } else if (program_) {
        address = *program_;
    } else {
        emit("G: no program loaded\r\n");
        prompt();
        return;
    }
    startProgram(address & SparseMemory::kMask);
    prompt();
}

void Monitor::startProgram(std::uint32_t address) {
    lastStart_ = address;
    out_.note("program started at " + hex8(address));
    // The simulated program prints what it was given and returns to the monitor at once.
    std::string printed;
    if (!options_.programOutput.empty()) {
        for (char c : options_.programOutput) printed += c == '\n' ? std::string("\r\n") : std::string(1, c);
        printed += "\r\n";
    }
    emit("Starting program at " + hex8(address) + "\r\n" + printed +
         "Program returned to the monitor\r\n");
}

void Monitor::arm(std::string_view args) {
    if (!args.empty()) {
        emit("mo: takes no arguments\r\n");
    } else if (!lastLoadAddress_) {
        emit("mo: nothing loaded to move\r\n");
    } else {
        moveArmed_ = true;
        out_.note("move armed for " + std::to_string(lastLoadCount_) + " bytes at " +
                  hex8(*lastLoadAddress_));
        emit("mo: " + hex8(lastLoadCount_) + " bytes at " + hex8(*lastLoadAddress_) +
             " wait for their place (lo ;3)\r\n");
    }
    prompt();
}

}  // namespace vivaz
