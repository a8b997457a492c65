#include "postlink/image_header.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "postlink/big_endian.h"

namespace tarvoline::postlink {
namespace {

// 68000 code: branch over a zero word, point A5 at the header, then three jump slots through
// the header (second stage, start-up, exit to the monitor through the reset vector).
constexpr std::array<std::uint8_t, 40> kEntryBlock = {
    0x60, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x4B, 0xFA, 0xFF, 0xF6, 0x20, 0x6D,
    0x00, 0x68, 0x4E, 0xE8, 0x00, 0x00, 0x20, 0x6D, 0x00, 0x6C, 0x4E, 0xE8, 0x00, 0x00,
    0x4E, 0x7A, 0x88, 0x01, 0x20, 0x68, 0x00, 0x04, 0x4E, 0xE8, 0x00, 0x00,
};

// 68000 code run with A5 at the header: copies code or data where the configuration wants
// them (feeding the watchdog), sets up stack and A5 and enters the program.
constexpr std::array<std::uint8_t, 144> kStartupRoutine = {
    0x22, 0x2D, 0x00, 0x54, 0x02, 0x01, 0x00, 0x03, 0x53, 0x01, 0x67, 0x4A, 0x53, 0x01, 0x67, 0x0E,
    0x22, 0x6D, 0x00, 0x28, 0x24, 0x6D, 0x00, 0x30, 0x20, 0x2D, 0x00, 0x2C, 0x60, 0x12, 0x20, 0x2D,
    0x00, 0x30, 0xD0, 0xAD, 0x00, 0x34, 0x22, 0x40, 0x24, 0x6D, 0x00, 0x3C, 0x20, 0x2D, 0x00, 0x40,
    0x56, 0x80, 0xE4, 0x88, 0x26, 0x6D, 0x00, 0x78, 0xB7, 0xFC, 0x00, 0x00, 0x00, 0x00, 0x67, 0x10,
    0x24, 0xD9, 0x16, 0xBC, 0x00, 0x55, 0x16, 0xBC, 0x00, 0xAA, 0x51, 0xC8, 0xFF, 0xF4, 0x60, 0x06,
    0x24, 0xD9, 0x51, 0xC8, 0xFF, 0xFC, 0x20, 0x6D, 0x00, 0x70, 0x22, 0x2D, 0x00, 0x74, 0x20, 0x2D,
    0x00, 0x48, 0xD0, 0xAD, 0x00, 0x4C, 0x2E, 0x40, 0x20, 0x0D, 0x2A, 0x6D, 0x00, 0x60, 0x2A, 0x80,
    0x4F, 0xEF, 0xFF, 0xF4, 0x2E, 0xBC, 0x54, 0x76, 0x6C, 0x00, 0x43, 0xD7, 0x2F, 0x49, 0x00, 0x04,
    0x42, 0xAF, 0x00, 0x08, 0x48, 0x6F, 0x00, 0x04, 0x3F, 0x3C, 0x00, 0x01, 0x2F, 0x01, 0x4E, 0xD0,
};

static_assert(kStartupRoutineOffset + kStartupRoutine.size() == kImageHeaderSize);
static_assert(kSignatureOffset + kImageSignature.size() + 1 <= 177);

}  // namespace

bool ClearUpToSignature(std::span<std::uint8_t> image) {
    std::size_t matched = 0;
    for (std::uint8_t& byte : image) {
        matched = byte == static_cast<std::uint8_t>(kImageSignature[matched]) ? matched + 1 : 0;
        byte = 0;
        if (matched == kImageSignature.size()) {
            return true;
        }
    }
    return false;
}

void CompleteHeader(LoadImageHeader& header) {
    header.dataEnd = header.dataAddress + header.dataSize;
    header.auxRemainder = header.auxWord20 - header.dataSize;
    header.a5Address = header.dataAddress + header.belowA5Size;
    header.codeAddressCopy = header.codeAddress;
    header.secondStageAddress = header.loadAddress + 20;
    header.startupAddress = header.loadAddress + kStartupRoutineOffset;
    header.exitAddress = header.loadAddress + 28;
}

void WriteImageHeader(const LoadImageHeader& header, std::span<std::uint8_t> image) {
    std::uint8_t* p = image.data();
    std::copy(kEntryBlock.begin(), kEntryBlock.end(), p);
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {40, header.loadAddress},
        {44, header.imageSize},
        {48, header.codeAddress},
        {52, header.codeSize},
        {56, header.auxWord12},
        {60, header.dataAddress},
        {64, header.dataSize},
        {68, header.auxWord20},
        {72, header.stackBase},
        {76, header.stackSize},
        {80, 0},
        {84, header.configId},
        {88, header.dataEnd},
        {92, header.auxRemainder},
        {96, header.a5Address},
        {100, header.codeAddressCopy},
        {104, header.secondStageAddress},
        {108, header.startupAddress},
        {112, header.entryAddress},
        {116, header.exitAddress},
        {120, header.watchdogRegister},
    };
    for (const auto& [offset, value] : fields) {
        WriteBigEndian32(p + offset, value);
    }
    std::memcpy(p + 124, header.loadFileExt.data(), 4);
    std::memcpy(p + 128, header.sRecordExt.data(), 4);
    std::memcpy(p + 132, header.mapExt.data(), 4);
    std::fill(p + 136, p + kSignatureOffset, std::uint8_t{0});
    std::memcpy(p + kSignatureOffset, kImageSignature.data(), kImageSignature.size());
    p[kSignatureOffset + kImageSignature.size()] = 0;
    p[179] = 0;
    std::copy(kStartupRoutine.begin(), kStartupRoutine.end(), p + kStartupRoutineOffset);
}

}  // namespace tarvoline::postlink
