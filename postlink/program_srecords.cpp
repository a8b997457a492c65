#include "postlink/program_srecords.h"

#include <vector>

#include "postlink/program_record_text.h"
#include "postlink/program_runs.h"

namespace tarvoline::postlink {
namespace {

enum class RecordKind { Header, Data, Count, End };

struct RecordType {
    RecordKind kind;
    std::size_t fieldBytes;  // the address (or count) field
};

std::optional<RecordType> TypeOf(char digit) {
    switch (digit) {
        case '0':
            return RecordType{RecordKind::Header, 2};
        case '1':
            return RecordType{RecordKind::Data, 2};
        case '2':
            return RecordType{RecordKind::Data, 3};
        case '3':
            return RecordType{RecordKind::Data, 4};
        case '5':
            return RecordType{RecordKind::Count, 2};
        case '6':
            return RecordType{RecordKind::Count, 3};
        case '7':
            return RecordType{RecordKind::End, 4};
        case '8':
            return RecordType{RecordKind::End, 3};
        case '9':
            return RecordType{RecordKind::End, 2};
        default:
            return std::nullopt;
    }
}

std::uint32_t FieldValue(const std::vector<std::uint8_t>& record, std::size_t fieldBytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 1; i <= fieldBytes; ++i) {
        value = (value << 8) | record[i];
    }
    return value;
}

// A record's bytes, from the length byte to the checksum, or the error text.
std::optional<std::string> DecodeRecord(std::string_view line, std::vector<std::uint8_t>& record,
                                        std::size_t& fieldBytes, char& type) {
    if (line[0] != 'S') {
        return "not an S-record: the line begins with " + DescribeCharacter(line[0]) + ", not 'S'";
    }
    if (line.size() < 2) {
        return "short record: no record type after 'S'";
    }
    type = line[1];
    const std::optional<RecordType> recordType = TypeOf(type);
    if (!recordType) {
        return type >= '0' && type <= '9'
                   ? "unknown record type S" + std::string(1, type)
                   : "no record type: " + DescribeCharacter(type) + " after 'S' is not a digit";
    }
    fieldBytes = recordType->fieldBytes;
    if (auto error = DecodeHexPairs(line.substr(2), 3, record)) {
        return error;
    }
    const std::size_t digits = line.size() - 2;
    if (digits < 2) {
        return "short record: no length byte";
    }
    const std::size_t length = record[0];
    if (digits != 2 + 2 * length) {
        return std::string(digits < 2 + 2 * length ? "short record" : "bad length") +
               ": its length byte says " + std::to_string(length) +
               " bytes follow, the line holds " + std::to_string((digits - 2) / 2) +
               (digits % 2 != 0 ? " and a half" : "");
    }
    if (length < fieldBytes + 1) {
        return "bad length: " + std::to_string(length) + " bytes cannot hold an S" +
               std::string(1, type) + " record's " + std::to_string(fieldBytes) +
               "-byte address and its checksum";
    }
    // The ones' complement of the sum's low byte.
    return CheckChecksum(record, static_cast<std::uint8_t>(~SumBeforeChecksum(record)));
}

}  // namespace

ProgramReadResult ParseSRecordProgram(const std::uint8_t* bytes, std::size_t size,
                                      const std::string& displayName) {
    auto fail = [&](std::size_t line, const std::string& what) {
        return ProgramReadError{displayName + ": line " + std::to_string(line) + ": " + what};
    };
    ProgramImage image;
    image.format = ProgramFormat::SRecords;
    ProgramRunCollector collector;
    std::size_t dataRecords = 0;
    std::size_t endLine = 0;
    std::vector<std::uint8_t> record;
    for (const RecordLine& line : SplitRecordLines(bytes, size)) {
        if (endLine != 0) {
            return fail(line.number,
                        "record after the end record of line " + std::to_string(endLine));
        }
        std::size_t fieldBytes = 0;
        char type = 0;
        if (auto error = DecodeRecord(line.text, record, fieldBytes, type)) {
            return fail(line.number, *error);
        }
        const std::uint32_t field = FieldValue(record, fieldBytes);
        switch (TypeOf(type)->kind) {
            case RecordKind::Header:
                break;
            case RecordKind::Data: {
                ++dataRecords;
                const std::span<const std::uint8_t> data(record.data() + 1 + fieldBytes,
                                                         record.size() - 2 - fieldBytes);
                if (auto error =
                        collector.Add(field, data, "line " + std::to_string(line.number))) {
                    return ProgramReadError{displayName + ": " + *error};
                }
                break;
            }
            case RecordKind::Count:
                if (field != (dataRecords & (fieldBytes == 2 ? 0xFFFFu : 0xFFFFFFu))) {
                    return fail(line.number, "the count record says " + std::to_string(field) +
                                                 " data records, " + std::to_string(dataRecords) +
                                                 (dataRecords == 1 ? " comes" : " come") +
                                                 " before it");
                }
                break;
            case RecordKind::End:
                if (field >= kProgramAddressLimit) {
                    return fail(line.number, "start address " + FormatProgramAddress(field) +
                                                 " is beyond the 68000's 24-bit address space");
                }
                image.entry = field;
                image.hasEntry = field != 0;
                endLine = line.number;
                break;
        }
    }
    if (collector.empty()) {
        return ProgramReadError{displayName + ": no data records with bytes to load"};
    }
    if (endLine == 0) {
        return ProgramReadError{displayName +
                                ": no end record (S7, S8 or S9): the file may be cut short"};
    }
    return collector.FinishInto(std::move(image), displayName);
}

}  // namespace tarvoline::postlink
