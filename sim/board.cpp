#include "board.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

namespace vivaz {

namespace {

// Beyond this the host is not reading; what a real UART sends to nobody is lost as well.
constexpr std::size_t kMaxQueued = 1 << 20;
// Paced, the host's bytes wait inside the board for their line time; like a UART driver's
// buffer it holds this many, and while it is full the host's writes back up in the device.
constexpr std::size_t kMaxArriving = 4096;

}  // namespace

std::chrono::steady_clock::time_point nextTick(std::chrono::steady_clock::time_point start,
                                               std::chrono::milliseconds period,
                                               std::chrono::steady_clock::time_point t) {
    if (period <= std::chrono::milliseconds::zero() || t <= start) {
        return t;
    }
    const auto p = std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
    const auto ticks = (t - start + p - std::chrono::steady_clock::duration(1)) / p;
    return start + ticks * p;
}

Board::Board(const BoardOptions& options)
    : options_(options),
      line_(openPtyLine(options.consoleBaud)),
      monitor_(*this, memory_, options, Clock::now()),
      lineFree_(Clock::now()),
      inputFree_(lineFree_),
      start_(lineFree_) {
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) {
        const int e = errno;
        closePtyLine(line_);
        throw std::system_error(e, std::generic_category(), "eventfd");
    }
    std::lock_guard lock(mutex_);
    monitor_.powerOn();
}

Board::~Board() {
    ::close(wake_);
    closePtyLine(line_);
}

termios Board::hostSetting() const {
    termios t{};
    ::tcgetattr(line_.master, &t);
    return t;
}

void Board::stop() {
    stopping_.store(true);
    wakeServer();
}

void Board::wakeServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
}

void Board::send(std::string_view bytes, const LineFormat& uart) {
    const auto now = Clock::now();
    transcript_.add(TranscriptEntry::Kind::Sent, std::string(bytes), uart);
    const auto charTime = std::chrono::duration_cast<Clock::duration>(uart.charTime());
    const std::chrono::milliseconds latency(options_.latencyMs);
    for (char c : bytes) {
        if (out_.size() >= kMaxQueued) {
            if (!overflowNoted_) {
                overflowNoted_ = true;
                note("output lost: nobody is reading the line");
            }
            return;
        }
        Clock::time_point due = now;
        if (options_.pace) {
            // Each character reaches the host when its stop bit ends.
            lineFree_ = std::max(lineFree_, now) + charTime;
            due = lineFree_;
        }
        // The adapter passes on what it has at its timer's next tick.
        out_.push_back({c, nextTick(start_, latency, due), uart});
    }
}

void Board::note(const std::string& text) {
    transcript_.add(TranscriptEntry::Kind::Note, text);
    if (noteSink_) {
        noteSink_(text);
    }
}

bool Board::writeDue(Clock::time_point now) {
    std::string chunk;
    for (const auto& p : out_) {
        if (p.due > now) {
            break;
        }
        chunk.push_back(p.byte);
    }
    if (chunk.empty()) {
        return true;
    }
    const ssize_t n = ::write(line_.master, chunk.data(), chunk.size());
    if (n > 0) {
        out_.erase(out_.begin(), out_.begin() + n);
        overflowNoted_ = false;
    }
    return n == static_cast<ssize_t>(chunk.size()) || (n < 0 && errno == EINTR);
}

bool Board::readsLine() const {
    return !options_.pace || in_.size() < kMaxArriving;
}

void Board::readLine(Clock::time_point now) {
    // The host's setting is read before its bytes: a pty master sees the slave's termios.
    termios t{};
    const bool haveFormat = ::tcgetattr(line_.master, &t) == 0;
    char buf[kMaxArriving];
    // Only the serving thread touches the input queue.
    const std::size_t room = options_.pace ? kMaxArriving - in_.size() : sizeof buf;
    const ssize_t n = ::read(line_.master, buf, std::min(room, sizeof buf));
    if (n <= 0) {
        return;
    }
    const std::string_view bytes(buf, static_cast<std::size_t>(n));
    std::lock_guard lock(mutex_);
    const LineFormat format = haveFormat ? lineFormatOf(t) : monitor_.uart();
    if (!options_.pace) {
        transcript_.add(TranscriptEntry::Kind::Received, std::string(bytes), format);
        monitor_.receive(bytes, format, now);
        return;
    }
    // The bytes were all in the device when read; each arrives a line time after the last.
    const auto charTime = std::chrono::duration_cast<Clock::duration>(format.charTime());
    for (char c : bytes) {
        inputFree_ = std::max(inputFree_, now) + charTime;
        in_.push_back({c, inputFree_, format});
    }
}

void Board::deliverDue(Clock::time_point now) {
    while (!in_.empty() && in_.front().due <= now) {
        // What has arrived at one setting goes to the monitor in one piece, as a driver hands
        // over its buffer; the piece is as late as its last byte.
        const LineFormat format = in_.front().format;
        std::string bytes;
        Clock::time_point arrived = in_.front().due;
        while (!in_.empty() && in_.front().due <= now && in_.front().format == format) {
            bytes.push_back(in_.front().byte);
            arrived = in_.front().due;
            in_.pop_front();
        }
        transcript_.add(TranscriptEntry::Kind::Received, bytes, format);
        monitor_.receive(bytes, format, arrived);
    }
}

std::optional<Board::Clock::time_point> Board::nextWake(bool blocked) const {
    std::optional<Clock::time_point> wake = monitor_.deadline();
    if (!out_.empty() && !blocked && (!wake || out_.front().due < *wake)) {
        wake = out_.front().due;
    }
    if (!in_.empty() && (!wake || in_.front().due < *wake)) {
        wake = in_.front().due;
    }
    return wake;
}

void Board::serve(std::optional<Clock::time_point> until) {
    while (!stopping_.load()) {
        auto now = Clock::now();
        if (until && now >= *until) {
            break;
        }
        bool blocked = false;
        std::optional<Clock::time_point> wake;
        bool reading = true;
        {
            std::lock_guard lock(mutex_);
            // The host's bytes first: each is handed over with its arrival time, and what fell
            // due before it (a time-out, a late request) is acted on first by the monitor.
            deliverDue(now);
            monitor_.tick(now);
            reading = readsLine();
            blocked = !writeDue(now);
            wake = nextWake(blocked);
        }
        if (until && (!wake || *until < *wake)) {
            wake = until;
        }
        const short events = static_cast<short>((reading ? POLLIN : 0) | (blocked ? POLLOUT : 0));
        pollfd fds[2] = {{line_.master, events, 0}, {wake_, POLLIN, 0}};
        timespec ts{};
        timespec* timeout = nullptr;
        if (wake) {
            const auto left = std::max(Clock::duration::zero(), *wake - now);
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            ts.tv_sec = static_cast<time_t>(ns / 1000000000);
            ts.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &ts;
        }
        if (::ppoll(fds, 2, timeout, nullptr) < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int e = errno;
            std::lock_guard lock(mutex_);
            note(std::string("poll failed: ") + std::strerror(e));
            break;
        }
        if (fds[0].revents & POLLIN) {
            readLine(Clock::now());
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // Cannot happen while the board holds the slave open; avoid spinning if it does.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (fds[1].revents & POLLIN) {
            std::uint64_t v = 0;
            [[maybe_unused]] auto r = ::read(wake_, &v, sizeof v);
        }
    }
}

std::vector<std::uint8_t> Board::readMemory(std::uint32_t address, std::size_t length) const {
    std::lock_guard lock(mutex_);
    return memory_.read(address, length);
}

void Board::writeMemory(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    memory_.write(address, bytes);
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> Board::writtenRanges() const {
    std::lock_guard lock(mutex_);
    return memory_.writtenRanges();
}

std::string Board::memoryAsSRecords() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (auto [first, end] : memory_.writtenRanges()) {
        for (std::uint32_t a = first; a < end; a += 16) {
            const std::uint32_t n = std::min<std::uint32_t>(16, end - a);
            const auto bytes = memory_.read(a, n);
            unsigned sum = (n + 4) + (a >> 16 & 0xFF) + (a >> 8 & 0xFF) + (a & 0xFF);
            char buf[16];
            std::snprintf(buf, sizeof buf, "S2%02X%06X", n + 4, a);
            text += buf;
            for (auto b : bytes) {
                std::snprintf(buf, sizeof buf, "%02X", b);
                text += buf;
                sum += b;
            }
            std::snprintf(buf, sizeof buf, "%02X\n", ~sum & 0xFF);
            text += buf;
        }
    }
    return text + "S804000000FB\n";
}

Transcript Board::transcript() const {
    std::lock_guard lock(mutex_);
    return transcript_;
}

void Board::clearTranscript() {
    std::lock_guard lock(mutex_);
    transcript_.clear();
}

void Board::setFaults(const Faults& faults) {
    std::lock_guard lock(mutex_);
    options_.faults = faults;
    monitor_.setFaults(faults, Clock::now());
    // A fault may bring a timer of its own (the chatter): the serving loop looks again.
    wakeServer();
}

std::optional<std::uint32_t> Board::lastStart() const {
    std::lock_guard lock(mutex_);
    return monitor_.lastStart();
}

DateTime Board::boardClock() const {
    std::lock_guard lock(mutex_);
    return monitor_.clock(Clock::now());
}

}  // namespace vivaz
