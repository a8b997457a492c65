#pragma once

// Collects the bytes a program file places in memory, in the order the file gives them, and
// turns them into the runs of a ProgramImage: sorted, checked for overlap, joined across small
// gaps.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "postlink/program_image.h"

namespace tarvoline::postlink {

// "0002A000": addresses in messages, as the monitor prints them.
std::string FormatProgramAddress(std::uint32_t address);

class ProgramRunCollector {
  public:
    // Adds `bytes` at `address`; `where` names the record or header they come from ("line 12",
    // "program header 2 of 3"). Bytes that follow the previous ones directly extend them. The
    // error text (without the file's name) when they reach past the 68000's address space.
    std::optional<std::string> Add(std::uint32_t address, std::span<const std::uint8_t> bytes,
                                   const std::string& where);

    bool empty() const { return pieces_.empty(); }

    // The runs, or the error text "WHERE: ..." naming the later of two places that give bytes
    // for the same address.
    std::variant<std::vector<ProgramRun>, std::string> Finish();

    // Finish() into image.runs: the image, or the error naming displayName.
    ProgramReadResult FinishInto(ProgramImage image, const std::string& displayName);

  private:
    struct Piece {
        std::uint32_t address = 0;
        std::vector<std::uint8_t> bytes;
        std::string where;      // where its first bytes came from
        bool extended = false;  // later records continued it
        std::size_t order = 0;  // its place in the file
    };
    std::vector<Piece> pieces_;
};

}  // namespace tarvoline::postlink
