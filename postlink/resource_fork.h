#pragma once

// Looks up resources in the resource fork that a .Bin file carries from offset 128 onward.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarvoline::postlink {

constexpr std::uint32_t FourCharCode(const char (&text)[5]) {
    return (std::uint32_t{static_cast<std::uint8_t>(text[0])} << 24) |
           (std::uint32_t{static_cast<std::uint8_t>(text[1])} << 16) |
           (std::uint32_t{static_cast<std::uint8_t>(text[2])} << 8) |
           std::uint32_t{static_cast<std::uint8_t>(text[3])};
}

inline constexpr std::uint32_t kCodeType = FourCharCode("CODE");
inline constexpr std::uint32_t kDataType = FourCharCode("DATA");

// The fork starts this far into the .Bin file; every fork offset is relative to it.
inline constexpr std::size_t kResourceForkStart = 128;

enum class LookupStatus {
    kFound,
    kMissing,    // no such type, or no such number in the first entry of the type
    kMalformed,  // an offset or length read on the way points outside the file
};

struct ResourceLookup {
    LookupStatus status = LookupStatus::kMissing;
    std::span<const std::uint8_t> data;  // after the length word; inside the file
    std::size_t fileOffset = 0;          // where `data` starts in the file
};

// Whether `file` holds a resource fork at all: an empty string when its header, the map's
// header and the type list lie inside the file, else the reason, in words, that it does not
// ("the file is empty", "the resource map at 0x6C6C6F20 lies outside the file's 1177 bytes").
// FindResource still checks every entry it follows; this tells a file that is no .Bin at all
// (truncated, something else renamed, empty) from a .Bin with one broken entry.
std::string CheckResourceFork(std::span<const std::uint8_t> file);

// Only the first type entry of `type` is searched, as the linker never writes two; a later
// duplicate is ignored rather than merged.
ResourceLookup FindResource(std::span<const std::uint8_t> file, std::uint32_t type,
                            std::int16_t number);

// "CODE 1" and the like, for messages.
std::string ResourceName(std::uint32_t type, int number);

}  // namespace tarvoline::postlink
