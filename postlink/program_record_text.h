#pragma once

// What S-records and Intel HEX share: lines numbered from 1, hexadecimal pairs, and the words
// for a character that does not belong.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvoline::postlink {

struct RecordLine {
    std::size_t number = 0;  // from 1
    std::string_view text;   // without its LF, and without a CR, spaces or tabs before it
};

// The lines of `size` bytes of text; blank lines are left out (a file may end in several).
std::vector<RecordLine> SplitRecordLines(const std::uint8_t* bytes, std::size_t size);

// Decodes `digits` (an even number of hexadecimal digits, either case) into bytes. On a
// character that is not a digit, the error text naming it and its column; `firstColumn` is the
// column of digits[0] in its line.
std::optional<std::string> DecodeHexPairs(std::string_view digits, std::size_t firstColumn,
                                          std::vector<std::uint8_t>& bytes);

// "'G'" for a printable character, "byte 0x00" for any other.
std::string DescribeCharacter(char c);

// "4F": a byte in messages.
std::string FormatHexByte(std::uint8_t value);

// The sum of a decoded record's bytes before its last (the checksum byte).
unsigned SumBeforeChecksum(const std::vector<std::uint8_t>& record);

// Nothing when the record's last byte is expected, else the words for a wrong checksum.
std::optional<std::string> CheckChecksum(const std::vector<std::uint8_t>& record,
                                         std::uint8_t expected);

}  // namespace tarvoline::postlink
