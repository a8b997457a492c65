#pragma once

// The absolute program image for one configuration and the header at its front.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "postlink/byte_buffer.h"

namespace tarvoline::postlink {

inline constexpr std::size_t kImageHeaderSize = 324;
// The largest image the converter builds: the 68000's whole 24-bit address space.
inline constexpr std::uint64_t kLargestImage = std::uint64_t{1} << 24;
// The target program reserves the header's room by carrying this text; the image must hold it.
inline constexpr std::string_view kImageSignature = "(Tarvoline image header)";
inline constexpr std::size_t kSignatureOffset = 152;
inline constexpr std::size_t kStartupRoutineOffset = 180;

using Extension = std::array<char, 4>;

// The image header's fields in host order; the image itself holds them big-endian.
struct LoadImageHeader {
    std::uint32_t loadAddress = 0;         // 40
    std::uint32_t imageSize = 0;           // 44
    std::uint32_t codeAddress = 0;         // 48
    std::uint32_t codeSize = 0;            // 52
    std::uint32_t auxWord12 = 0;           // 56
    std::uint32_t dataAddress = 0;         // 60
    std::uint32_t dataSize = 0;            // 64
    std::uint32_t auxWord20 = 0;           // 68
    std::uint32_t stackBase = 0;           // 72
    std::uint32_t stackSize = 0;           // 76
    std::uint32_t configId = 0;            // 84
    std::uint32_t dataEnd = 0;             // 88
    std::uint32_t auxRemainder = 0;        // 92
    std::uint32_t a5Address = 0;           // 96
    std::uint32_t codeAddressCopy = 0;     // 100
    std::uint32_t secondStageAddress = 0;  // 104
    std::uint32_t startupAddress = 0;      // 108
    std::uint32_t entryAddress = 0;        // 112
    std::uint32_t exitAddress = 0;         // 116
    std::uint32_t watchdogRegister = 0;    // 120
    Extension loadFileExt{};               // 124, the .Bin's four bytes unchanged
    Extension sRecordExt{};                // 128
    Extension mapExt{};                    // 132
    std::uint32_t belowA5Size = 0;         // not in the header; locates A5 in the image
};

struct LoadImage {
    LoadImageHeader header;
    ByteBuffer bytes;  // header big-endian at the front, as written to the files
};

// An extension is at most four characters; a shorter one ends at its first zero byte.
inline std::string_view ExtensionText(const Extension& extension) {
    std::size_t length = 0;
    while (length < extension.size() && extension[length] != '\0') {
        ++length;
    }
    return {extension.data(), length};
}

}  // namespace tarvoline::postlink
