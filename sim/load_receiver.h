// The block framing of the LOAD protocol from the monitor's side, as a byte-at-a-time parser.
// After the host's '+' the monitor asks for each block with '='; a block is a big-endian length
// (1 to 1024), that many data bytes and a 00 00 trailer. Once the announced count has arrived
// the host closes with 00 00. The parser stores the data as it comes and says when the monitor
// must act; it sends nothing itself.
#pragma once

#include <cstdint>
#include <string>

#include "memory.h"

namespace vivaz {

class LoadReceiver {
  public:
    static constexpr std::uint32_t kMaxBlock = 1024;

    enum class Event {
        None,           // keep feeding
        BlockComplete,  // a block and its trailer arrived; ask for the next if blockDue()
        EndOfData,      // the closing 00 00 arrived: the load is complete
        Error,          // the host broke the framing; see error()
    };

    LoadReceiver(SparseMemory& memory, std::uint32_t address, std::uint32_t count);

    // Whether the monitor still has to ask for a block (it asks only while bytes remain).
    bool blockDue() const { return received_ < count_; }
    // The monitor has sent its block request; block bytes before one are a host error.
    void requestSent() { requested_ = true; }
    Event feed(std::uint8_t byte);

    const std::string& error() const { return error_; }
    std::uint32_t received() const { return received_; }
    int blocks() const { return blocks_; }
    bool finished() const { return phase_ == Phase::Done; }

  private:
    enum class Phase { LengthHigh, LengthLow, Data, Trailer1, Trailer2, End1, End2, Done, Failed };
    Event failWith(std::string message);
    void nextBlockOrEnd();

    SparseMemory& memory_;
    std::uint32_t address_;
    std::uint32_t count_;
    std::uint32_t received_ = 0;
    std::uint32_t blockLength_ = 0;
    std::uint32_t inBlock_ = 0;
    int blocks_ = 0;
    bool requested_ = false;
    Phase phase_;
    std::string error_;
};

}  // namespace vivaz
