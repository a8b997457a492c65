#include "postlink/program_record_text.h"

#include <cstdio>

namespace tarvoline::postlink {

std::vector<RecordLine> SplitRecordLines(const std::uint8_t* bytes, std::size_t size) {
    std::vector<RecordLine> lines;
    const char* text = reinterpret_cast<const char*>(bytes);
    std::size_t number = 0;
    std::size_t from = 0;
    while (from < size) {
        ++number;
        std::size_t end = from;
        while (end < size && text[end] != '\n') {
            ++end;
        }
        std::size_t last = end;
        while (last > from &&
               (text[last - 1] == '\r' || text[last - 1] == ' ' || text[last - 1] == '\t')) {
            --last;
        }
        if (last > from) {
            lines.push_back(RecordLine{number, std::string_view(text + from, last - from)});
        }
        from = end + 1;
    }
    return lines;
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

std::optional<std::string> DecodeHexPairs(std::string_view digits, std::size_t firstColumn,
                                          std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (HexValue(digits[i]) < 0) {
            return DescribeCharacter(digits[i]) + " at column " + std::to_string(firstColumn + i) +
                   " is not a hexadecimal digit";
        }
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(HexValue(digits[i]) * 16 + HexValue(digits[i + 1])));
    }
    return std::nullopt;
}

std::string DescribeCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    char text[16];
    if (byte >= 0x20 && byte < 0x7F) {
        std::snprintf(text, sizeof text, "'%c'", c);
    } else {
        std::snprintf(text, sizeof text, "byte 0x%02X", byte);
    }
    return text;
}

std::string FormatHexByte(std::uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

unsigned SumBeforeChecksum(const std::vector<std::uint8_t>& record) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < record.size(); ++i) {
        sum += record[i];
    }
    return sum;
}

std::optional<std::string> CheckChecksum(const std::vector<std::uint8_t>& record,
                                         std::uint8_t expected) {
    if (record.back() != expected) {
        return "wrong checksum (the record says " + FormatHexByte(record.back()) +
               ", its bytes give " + FormatHexByte(expected) + ")";
    }
    return std::nullopt;
}

}  // namespace tarvoline::postlink
