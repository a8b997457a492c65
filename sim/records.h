// The record loader's parser: Motorola S-records (S0 to S9 except S4) and Intel hex records,
// one record per line, each with its checksum checked. Pure text in, records or errors out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "memory.h"

namespace vivaz {

struct HexRecord {
    enum class Kind {
        Header,  // S0: accepted and otherwise ignored
        Data,    // S1/S2/S3, Intel 00; data may be empty (an address marker)
        Count,   // S5/S6: `address` holds the record count
        Base,    // Intel 02/04: changes the base of later data records
        Start,   // Intel 03/05: start address, loading goes on
        End,     // S7/S8/S9 (start address in `address`), Intel 01
    };
    Kind kind = Kind::Data;
    std::uint32_t address = 0;
    std::vector<std::uint8_t> data;
};

struct ParsedLine {
    std::optional<HexRecord> record;  // empty for a blank line or an error
    std::string error;                // empty unless the line is bad
};

// Keeps the Intel base address between lines; S-records need no state.
class RecordParser {
  public:
    ParsedLine parseLine(std::string_view line);

  private:
    ParsedLine parseMotorola(std::string_view line) const;
    ParsedLine parseIntel(std::string_view line);
    std::uint32_t intelBase_ = 0;
};

struct RecordLoadReport {
    int lines = 0;
    int dataRecords = 0;
    std::size_t bytes = 0;
    std::vector<std::string> errors;            // "line N: what"
    bool ended = false;                         // a termination record was seen
    int linesAfterEnd = 0;                      // non-blank lines after it, ignored
    std::optional<std::uint32_t> startAddress;  // from S7/S8/S9 or Intel 03/05
    std::optional<std::uint32_t> firstAddress;  // of the first data record with data
    std::vector<std::uint32_t> markers;         // addresses of data records without data
};

// Splits a stream of record text into lines (CR, LF or CR LF end a line), parses them and
// stores the good records' data. Bad records are reported by line number and skipped.
class RecordStream {
  public:
    explicit RecordStream(SparseMemory& memory) : memory_(memory) {}
    void feed(std::string_view text);
    // Takes a last line that had no line end.
    void finish();
    const RecordLoadReport& report() const { return report_; }

  private:
    void takeLine();
    void apply(const HexRecord& record);

    SparseMemory& memory_;
    RecordParser parser_;
    RecordLoadReport report_;
    std::string line_;
    bool lastWasCr_ = false;
    bool lineTooLong_ = false;
};

}  // namespace vivaz
