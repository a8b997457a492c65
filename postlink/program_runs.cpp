#include "postlink/program_runs.h"

#include <algorithm>
#include <cstdio>

namespace tarvoline::postlink {

std::string FormatProgramAddress(std::uint32_t address) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(address));
    return text;
}

std::optional<std::string> ProgramRunCollector::Add(std::uint32_t address,
                                                    std::span<const std::uint8_t> bytes,
                                                    const std::string& where) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    const std::uint64_t end = std::uint64_t{address} + bytes.size();
    if (end > kProgramAddressLimit) {
        return where + ": its bytes " + FormatProgramAddress(address) + " to " +
               FormatProgramAddress(static_cast<std::uint32_t>(end - 1)) +
               " reach past the 68000's 24-bit address space (" +
               FormatProgramAddress(kProgramAddressLimit - 1) + " is the last address)";
    }
    if (!pieces_.empty()) {
        Piece& last = pieces_.back();
        if (std::uint64_t{last.address} + last.bytes.size() == address) {
            last.bytes.insert(last.bytes.end(), bytes.begin(), bytes.end());
            last.extended = true;
            return std::nullopt;
        }
    }
    Piece piece;
    piece.address = address;
    piece.bytes.assign(bytes.begin(), bytes.end());
    piece.where = where;
    piece.order = pieces_.size();
    pieces_.push_back(std::move(piece));
    return std::nullopt;
}

std::variant<std::vector<ProgramRun>, std::string> ProgramRunCollector::Finish() {
    std::sort(pieces_.begin(), pieces_.end(), [](const Piece& a, const Piece& b) {
        return a.address != b.address ? a.address < b.address : a.order < b.order;
    });
    std::vector<ProgramRun> runs;
    std::uint64_t runEnd = 0;
    const Piece* previous = nullptr;
    for (Piece& piece : pieces_) {
        if (previous != nullptr && piece.address < runEnd) {
            // Sorted and so far without overlap: the previous piece holds the highest end.
            const Piece& earlier = previous->order < piece.order ? *previous : piece;
            const Piece& later = previous->order < piece.order ? piece : *previous;
            const std::uint64_t overlapEnd =
                std::min(runEnd, std::uint64_t{piece.address} + piece.bytes.size());
            return later.where + ": its bytes " + FormatProgramAddress(piece.address) + " to " +
                   FormatProgramAddress(static_cast<std::uint32_t>(overlapEnd - 1)) +
                   " overlap those of " + earlier.where +
                   (earlier.extended ? " and what follows it" : "");
        }
        if (!runs.empty() && piece.address - runEnd <= kProgramGapFillLimit) {
            std::vector<std::uint8_t>& bytes = runs.back().bytes;
            bytes.resize(bytes.size() + static_cast<std::size_t>(piece.address - runEnd), 0);
            bytes.insert(bytes.end(), piece.bytes.begin(), piece.bytes.end());
        } else {
            runs.push_back(ProgramRun{piece.address, std::move(piece.bytes)});
        }
        runEnd = std::uint64_t{runs.back().address} + runs.back().bytes.size();
        previous = &piece;
    }
    pieces_.clear();
    return runs;
}

ProgramReadResult ProgramRunCollector::FinishInto(ProgramImage image,
                                                  const std::string& displayName) {
    auto runs = Finish();
    if (auto* error = std::get_if<std::string>(&runs)) {
        return ProgramReadError{displayName + ": " + *error};
    }
    image.runs = std::move(std::get<std::vector<ProgramRun>>(runs));
    return image;
}

}  // namespace tarvoline::postlink
