#pragma once
// Loads a CP/M-68K load file (.RUN, .APP) into the board with the binary LOAD, then starts it:
// 'G' for a program at 0x40000 or above or with the short header; a staged start with a short
// S-record text for a program below 0x40000 with the long header.

#include <cstdint>
#include <string>
#include <vector>

struct CTransferContext;

constexpr std::uint16_t kMagicShortHeader = 0x601A;  // 28-byte header
constexpr std::uint16_t kMagicLongHeader = 0x601B;   // 36-byte header
constexpr std::uint32_t kStagedStartBelow = 0x40000;
constexpr std::uint32_t kStagingAddress = 0x2D0000;

struct CLoadFileHeader {
    std::uint16_t magic = 0;
    std::uint32_t textSize = 0;
    std::uint32_t dataSize = 0;
    std::uint32_t textStart = 0;
    int HeaderLength() const { return magic == kMagicLongHeader ? 36 : 28; }
};

// The header fields the loader needs; nothing when the file is shorter than its header.
bool ReadLoadFileHeader(const std::vector<std::uint8_t>& file, CLoadFileHeader& header);

// The 39 characters of the staged start: S2 records for the text start and for the end of
// text and data, then S8, each ended by CR.
std::string BuildStagedStartRecords(const CLoadFileHeader& header);
// The same for a program whose place is start to end.
std::string BuildStagedStartRecords(std::uint32_t start, std::uint32_t end);

// The two starts after the last LOAD; each has told its failures (a lost device the document).
// 'G', which starts the program where that LOAD put it: true when 'G' went out.
bool StartWithGo(const CTransferContext& ctx);
// The staged start of what that LOAD put at kStagingAddress: the monitor moves it to start and
// starts it there. True when the board took the records and was sent the closing '%'.
bool StartStaged(const CTransferContext& ctx, std::uint32_t start, std::uint32_t end);

// Result: true when the image was loaded and started: 'G' sent, or the staged start's records
// taken by the board and its closing "%" sent. Every failure has been told to the user (a
// lost device by the document).
bool LoadCpm68kFile(const CTransferContext& ctx, const std::string& path);
