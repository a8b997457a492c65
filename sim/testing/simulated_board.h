// SimulatedBoard: a ViVaz board on a pseudo-terminal, served on its own thread, for tests.
//
// Contract
// - Construction opens a pseudo-terminal, powers the board on (its banner and "> " prompt wait
//   in the line for whoever opens the device first) and starts serving; it throws
//   std::system_error when no pseudo-terminal can be had. Destruction stops the board and
//   closes the line; a host that still has the device open then reads end of file or EIO.
// - devicePath() is the slave device (/dev/pts/N). Open it like a serial port with open() and
//   termios; its speed and stop bits are what the board checks: the console runs at
//   options.consoleBaud (default 9600), LOAD blocks at the LOAD command's rate with 2 stop
//   bits, record text at 57600. The board holds the device open itself, so closing and
//   reopening it does not hang the line up, and what the board sent stays queued until read.
// - With options.pace the line runs at its real rate both ways: the board's bytes leave no faster
//   than its UART sends them, and the host's reach the monitor (and the transcript) only once
//   their line time at the host's setting has passed; 4096 of them wait in the board, beyond
//   that the host's writes back up in the device. With options.latencyMs the board's bytes are
//   written at the ticks of a timer of that period, in packets.
// - Every other member may be called from the test's thread at any time; each returns a
//   consistent snapshot. Memory is 24-bit (addresses wrap at 0x1000000) and never-written bytes
//   read as 0x00.
// - The transcript lists, in order: bytes received from the host (with the host's line setting
//   when they arrived), bytes sent (with the board's UART setting) and the board's notes
//   (refused bytes, LOAD and record-loader errors, completed loads, program starts).
// - setFaults() takes effect from the next byte the board handles; a changed chatter period
//   starts at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "board.h"
#include "options.h"
#include "transcript.h"

namespace vivaz::testing {

class SimulatedBoard {
  public:
    explicit SimulatedBoard(const BoardOptions& options = {});
    ~SimulatedBoard();
    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    const std::string& devicePath() const { return board_->devicePath(); }

    std::vector<std::uint8_t> memory(std::uint32_t address, std::size_t length) const;
    void setMemory(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    // Written address ranges [first, end), ascending.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> writtenRanges() const;

    Transcript transcript() const { return board_->transcript(); }
    std::string sent() const { return transcript().sent(); }
    std::string received() const { return transcript().received(); }
    std::vector<std::string> notes() const { return transcript().notes(); }
    void clearTranscript() { board_->clearTranscript(); }

    // Polls until the board has sent `text` (anywhere in what it sent) or a note containing it
    // was made; false after `timeout`.
    bool waitForSent(std::string_view text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    bool waitForNote(std::string_view text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    void setFaults(const Faults& faults) { board_->setFaults(faults); }
    // Where the last G or staged start started a program.
    std::optional<std::uint32_t> lastStart() const { return board_->lastStart(); }
    // The host's line setting now, flow control included.
    termios hostSetting() const { return board_->hostSetting(); }
    DateTime clock() const { return board_->boardClock(); }

  private:
    std::unique_ptr<Board> board_;
    std::thread thread_;
};

}  // namespace vivaz::testing
