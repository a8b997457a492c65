#include "postlink/program_intel_hex.h"

#include <vector>

#include "postlink/big_endian.h"
#include "postlink/program_record_text.h"
#include "postlink/program_runs.h"

namespace tarvoline::postlink {
namespace {

// Length, address (2), type and checksum.
constexpr std::size_t kRecordOverhead = 5;

enum RecordType : std::uint8_t {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegmentAddress = 0x02,
    kStartSegmentAddress = 0x03,
    kExtendedLinearAddress = 0x04,
    kStartLinearAddress = 0x05,
};

// A record's bytes, from the length byte to the checksum, or the error text.
std::optional<std::string> DecodeRecord(std::string_view line, std::vector<std::uint8_t>& record) {
    if (line[0] != ':') {
        return "not an Intel HEX record: the line begins with " + DescribeCharacter(line[0]) +
               ", not ':'";
    }
    if (auto error = DecodeHexPairs(line.substr(1), 2, record)) {
        return error;
    }
    const std::size_t digits = line.size() - 1;
    if (digits < 2 * kRecordOverhead) {
        return "short record: " + std::to_string(digits) +
               " digits, fewer than a record's length, address, type and checksum";
    }
    const std::size_t length = record[0];
    if (digits != 2 * (kRecordOverhead + length)) {
        return std::string(digits < 2 * (kRecordOverhead + length) ? "short record"
                                                                   : "bad length") +
               ": its length byte says " + std::to_string(length) + " data bytes, the line holds " +
               std::to_string((digits - 2 * kRecordOverhead) / 2) +
               (digits % 2 != 0 ? " and a half" : "");
    }
    // The two's complement of the sum: all the bytes add up to zero.
    const unsigned sum = SumBeforeChecksum(record);
    return CheckChecksum(record, static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
}

}  // namespace

ProgramReadResult ParseIntelHexProgram(const std::uint8_t* bytes, std::size_t size,
                                       const std::string& displayName) {
    auto fail = [&](std::size_t line, const std::string& what) {
        return ProgramReadError{displayName + ": line " + std::to_string(line) + ": " + what};
    };
    ProgramImage image;
    image.format = ProgramFormat::IntelHex;
    ProgramRunCollector collector;
    std::uint32_t base = 0;
    std::size_t endLine = 0;
    std::size_t startLine = 0;
    std::vector<std::uint8_t> record;
    for (const RecordLine& line : SplitRecordLines(bytes, size)) {
        if (endLine != 0) {
            return fail(line.number,
                        "record after the end-of-file record of line " + std::to_string(endLine));
        }
        if (auto error = DecodeRecord(line.text, record)) {
            return fail(line.number, *error);
        }
        const std::size_t length = record[0];
        const std::uint16_t offset = ReadBigEndian16(&record[1]);
        const std::uint8_t type = record[3];
        const std::uint8_t* data = &record[4];
        auto expectLength = [&](std::size_t wanted,
                                const char* what) -> std::optional<ProgramReadError> {
            if (length == wanted) {
                return std::nullopt;
            }
            return fail(line.number, std::string(what) + " record of " + std::to_string(length) +
                                         " data bytes, not " + std::to_string(wanted));
        };
        switch (type) {
            case kData:
                if (offset + length > 0x10000) {
                    return fail(line.number, "data record runs past the end of its 64 KiB segment");
                }
                if (auto error = collector.Add(base + offset, {data, length},
                                               "line " + std::to_string(line.number))) {
                    return ProgramReadError{displayName + ": " + *error};
                }
                break;
            case kEndOfFile:
                if (auto error = expectLength(0, "end-of-file")) {
                    return *error;
                }
                endLine = line.number;
                break;
            case kExtendedSegmentAddress:
            case kExtendedLinearAddress:
                if (auto error = expectLength(2, "extended address")) {
                    return *error;
                }
                base = type == kExtendedSegmentAddress ? std::uint32_t{ReadBigEndian16(data)} << 4
                                                       : std::uint32_t{ReadBigEndian16(data)} << 16;
                break;
            case kStartSegmentAddress:
            case kStartLinearAddress: {
                if (auto error = expectLength(4, "start address")) {
                    return *error;
                }
                const std::uint32_t entry =
                    type == kStartSegmentAddress
                        ? (std::uint32_t{ReadBigEndian16(data)} << 4) + ReadBigEndian16(data + 2)
                        : ReadBigEndian32(data);
                if (entry >= kProgramAddressLimit) {
                    return fail(line.number, "start address " + FormatProgramAddress(entry) +
                                                 " is beyond the 68000's 24-bit address space");
                }
                if (startLine != 0 && entry != image.entry) {
                    return fail(line.number, "start address " + FormatProgramAddress(entry) +
                                                 " differs from " +
                                                 FormatProgramAddress(image.entry) + " of line " +
                                                 std::to_string(startLine));
                }
                image.entry = entry;
                image.hasEntry = entry != 0;
                startLine = line.number;
                break;
            }
            default:
                return fail(line.number, "unknown record type " + FormatHexByte(type));
        }
    }
    if (collector.empty()) {
        return ProgramReadError{displayName + ": no data records with bytes to load"};
    }
    if (endLine == 0) {
        return ProgramReadError{displayName +
                                ": no end-of-file record (type 01): the file may be cut short"};
    }
    return collector.FinishInto(std::move(image), displayName);
}

}  // namespace tarvoline::postlink
