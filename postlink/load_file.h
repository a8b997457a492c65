#pragma once

// The binary load file: a CP/M-68K style program header, then the image.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "postlink/load_image.h"

namespace tarvoline::postlink {

inline constexpr std::uint16_t kLoadFileMagicContiguous = 0x601A;  // configuration 1
inline constexpr std::uint16_t kLoadFileMagicSplit = 0x601B;       // configurations 2 and 3
inline constexpr std::size_t kShortLoadHeaderSize = 28;
inline constexpr std::size_t kLongLoadHeaderSize = 36;

struct LoadFileHeader {
    std::array<std::uint8_t, kLongLoadHeaderSize> bytes{};
    std::size_t size = 0;  // 28 or 36
    std::span<const std::uint8_t> span() const { return {bytes.data(), size}; }
};

LoadFileHeader MakeLoadFileHeader(const LoadImageHeader& header);

// Writes the header, then the whole image, as one file written whole or not at all; 0 or the
// errno of the failed step.
int WriteLoadFile(const std::string& path, const LoadImage& image);

}  // namespace tarvoline::postlink
