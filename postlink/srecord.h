#pragma once

// The Motorola S-record text of a load image.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tarvoline::postlink {

inline constexpr std::size_t kSRecordDataBytes = 32;

// S2 records of 32 bytes covering whole 32-byte lines from `loadAddress` rounded down to 256,
// the gap before the image filled with 0xFF, then one S8 record; lines end in CR LF, digits
// are upper case, addresses and checksums use the low 24 bits. nullopt when out of memory.
std::optional<std::string> FormatSRecords(std::span<const std::uint8_t> image,
                                          std::uint32_t loadAddress);

}  // namespace tarvoline::postlink
