// A simulated board: the monitor behind a pseudo-terminal, with its memory, its transcript and
// the loop that serves the line. serve() runs on one thread; every other member may be called
// from any thread while it runs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "memory.h"
#include "monitor.h"
#include "options.h"
#include "pty_line.h"
#include "transcript.h"

namespace vivaz {

// The first tick at or after `t` of a timer of `period` that started at `start`; `t` itself when
// the period is zero or `t` lies before the start.
std::chrono::steady_clock::time_point nextTick(std::chrono::steady_clock::time_point start,
                                               std::chrono::milliseconds period,
                                               std::chrono::steady_clock::time_point t);

class Board : private MonitorOutput {
  public:
    using Clock = std::chrono::steady_clock;

    // Opens the pseudo-terminal and powers on (the banner waits on the line). Throws
    // std::system_error when no pseudo-terminal can be had.
    explicit Board(const BoardOptions& options);
    ~Board() override;
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    const std::string& devicePath() const { return line_.slavePath; }

    // Serves the line until stop() or until `until` passes.
    void serve(std::optional<Clock::time_point> until = std::nullopt);
    // Ends serve(); safe from a signal handler.
    void stop();

    // Each diagnostic is also handed to this (for instance to print it); set before serve().
    void setNoteSink(std::function<void(const std::string&)> sink) { noteSink_ = std::move(sink); }

    std::vector<std::uint8_t> readMemory(std::uint32_t address, std::size_t length) const;
    void writeMemory(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> writtenRanges() const;
    // The written memory as S2 records and an S8 end record.
    std::string memoryAsSRecords() const;
    Transcript transcript() const;
    void clearTranscript();
    void setFaults(const Faults& faults);
    std::optional<std::uint32_t> lastStart() const;
    // The line setting the host has made at this moment (the slave's termios, read through the
    // master), including what the board does not judge, such as flow control.
    termios hostSetting() const;
    DateTime boardClock() const;

  private:
    // A byte for the host, written at `due`; or one from the host, handed to the monitor at
    // `due` (when its stop bit has arrived), with the host's line setting when it was read.
    struct Pending {
        char byte;
        Clock::time_point due;
        LineFormat format;
    };

    // Makes serve() look at the line and the monitor's timers again; safe from a signal handler.
    void wakeServer();
    void send(std::string_view bytes, const LineFormat& uart) override;
    void note(const std::string& text) override;
    // Whether the board takes more of the host's bytes now (not while its input queue is full).
    bool readsLine() const;
    void readLine(Clock::time_point now);
    // Hands the host's bytes that have arrived by `now` to the monitor.
    void deliverDue(Clock::time_point now);
    // Writes what is due; returns false when the pseudo-terminal is full.
    bool writeDue(Clock::time_point now);
    std::optional<Clock::time_point> nextWake(bool blocked) const;

    BoardOptions options_;
    PtyLine line_;
    int wake_ = -1;
    std::atomic<bool> stopping_{false};
    std::function<void(const std::string&)> noteSink_;

    mutable std::mutex mutex_;
    SparseMemory memory_;
    Transcript transcript_;
    Monitor monitor_;
    std::deque<Pending> out_;
    Clock::time_point lineFree_;   // when the board's last queued character has left
    std::deque<Pending> in_;       // paced: the host's bytes still on their way
    Clock::time_point inputFree_;  // when the host's last read character has arrived
    Clock::time_point start_;      // the latency timer runs from here
    bool overflowNoted_ = false;
};

}  // namespace vivaz
