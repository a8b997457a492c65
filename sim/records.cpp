#include "records.h"

#include <cstdio>

namespace vivaz {

namespace {

constexpr std::size_t kMaxLine = 600;

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Decodes pairs of hex digits; an error text names the first problem.
std::string decodeHex(std::string_view digits, std::vector<std::uint8_t>& out) {
    if (digits.size() % 2 != 0) {
        return "odd number of hex digits";
    }
    out.clear();
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int hi = hexValue(digits[i]);
        const int lo = hexValue(digits[i + 1]);
        if (hi < 0 || lo < 0) {
            return "bad hex digit '" + std::string(1, hi < 0 ? digits[i] : digits[i + 1]) + "'";
        }
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return {};
}

std::string hex2(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
    return buf;
}

ParsedLine fail(std::string message) {
    return ParsedLine{std::nullopt, std::move(message)};
}

std::uint32_t bigEndian(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t n) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        v = (v << 8) | b[from + i];
    }
    return v;
}

}  // namespace

ParsedLine RecordParser::parseLine(std::string_view line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == 0x1A)) {
        line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    if (line.empty()) {
        return {};
    }
    if (line.front() == 'S' || line.front() == 's') {
        return parseMotorola(line);
    }
    if (line.front() == ':') {
        return parseIntel(line);
    }
    return fail("not a record (starts with neither 'S' nor ':')");
}

ParsedLine RecordParser::parseMotorola(std::string_view line) const {
    if (line.size() < 4) {
        return fail("record too short");
    }
    const char type = line[1];
    std::size_t addressBytes = 0;
    switch (type) {
        case '0':
        case '1':
        case '5':
        case '9':
            addressBytes = 2;
            break;
        case '2':
        case '6':
        case '8':
            addressBytes = 3;
            break;
        case '3':
        case '7':
            addressBytes = 4;
            break;
        default:
            return fail(std::string("unknown record type S") + type);
    }
    std::vector<std::uint8_t> bytes;
    if (auto e = decodeHex(line.substr(2), bytes); !e.empty()) {
        return fail(e);
    }
    const std::size_t count = bytes[0];
    if (count != bytes.size() - 1) {
        return fail("count " + hex2(count) + " but " + std::to_string(bytes.size() - 1) +
                    " bytes follow");
    }
    if (count < addressBytes + 1) {
        return fail("count " + hex2(count) + " too small for S" + type);
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        sum += bytes[i];
    }
    const unsigned expected = ~sum & 0xFF;
    if (bytes.back() != expected) {
        return fail("checksum " + hex2(bytes.back()) + ", computed " + hex2(expected));
    }
    HexRecord r;
    r.address = bigEndian(bytes, 1, addressBytes);
    const auto dataFirst = bytes.begin() + 1 + static_cast<long>(addressBytes);
    switch (type) {
        case '0':
            r.kind = HexRecord::Kind::Header;
            break;
        case '1':
        case '2':
        case '3':
            r.kind = HexRecord::Kind::Data;
            r.data.assign(dataFirst, bytes.end() - 1);
            break;
        case '5':
        case '6':
            r.kind = HexRecord::Kind::Count;
            break;
        default:
            r.kind = HexRecord::Kind::End;
            break;
    }
    if ((r.kind == HexRecord::Kind::Count || r.kind == HexRecord::Kind::End) &&
        count != addressBytes + 1) {
        return fail(std::string("S") + type + " carries no data");
    }
    return ParsedLine{r, {}};
}

ParsedLine RecordParser::parseIntel(std::string_view line) {
    std::vector<std::uint8_t> bytes;
    if (auto e = decodeHex(line.substr(1), bytes); !e.empty()) {
        return fail(e);
    }
    if (bytes.size() < 5) {
        return fail("record too short");
    }
    const std::size_t length = bytes[0];
    if (length != bytes.size() - 5) {
        return fail("length " + hex2(length) + " but " + std::to_string(bytes.size() - 5) +
                    " data bytes follow");
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        sum += bytes[i];
    }
    const unsigned expected = (0x100 - (sum & 0xFF)) & 0xFF;
    if (bytes.back() != expected) {
        return fail("checksum " + hex2(bytes.back()) + ", computed " + hex2(expected));
    }
    const std::uint32_t offset = bigEndian(bytes, 1, 2);
    const std::uint8_t type = bytes[3];
    HexRecord r;
    auto needLength = [&](std::size_t n) { return length == n; };
    switch (type) {
        case 0x00:
            r.kind = HexRecord::Kind::Data;
            r.address = intelBase_ + offset;
            r.data.assign(bytes.begin() + 4, bytes.end() - 1);
            break;
        case 0x01:
            if (!needLength(0))
                return fail("end-of-file record with data");
            r.kind = HexRecord::Kind::End;
            break;
        case 0x02:
        case 0x04:
            if (!needLength(2))
                return fail("address record needs 2 data bytes");
            r.kind = HexRecord::Kind::Base;
            r.address = bigEndian(bytes, 4, 2) << (type == 0x02 ? 4 : 16);
            intelBase_ = r.address;
            break;
        case 0x03:
        case 0x05:
            if (!needLength(4))
                return fail("start record needs 4 data bytes");
            r.kind = HexRecord::Kind::Start;
            r.address = type == 0x05 ? bigEndian(bytes, 4, 4)
                                     : (bigEndian(bytes, 4, 2) << 4) + bigEndian(bytes, 6, 2);
            break;
        default:
            return fail("unknown record type " + hex2(type));
    }
    return ParsedLine{r, {}};
}

void RecordStream::feed(std::string_view text) {
    for (char c : text) {
        if (c == '\n' && lastWasCr_) {
            lastWasCr_ = false;
            continue;
        }
        lastWasCr_ = c == '\r';
        if (c == '\r' || c == '\n') {
            takeLine();
            continue;
        }
        if (line_.size() < kMaxLine) {
            line_.push_back(c);
        } else {
            lineTooLong_ = true;
        }
    }
}

void RecordStream::finish() {
    if (!line_.empty() || lineTooLong_) {
        takeLine();
    }
}

void RecordStream::takeLine() {
    const int number = ++report_.lines;
    const std::string line = std::move(line_);
    line_.clear();
    const bool tooLong = lineTooLong_;
    lineTooLong_ = false;
    if (report_.ended) {
        if (line.find_first_not_of(" \t\x1a") != std::string::npos) {
            ++report_.linesAfterEnd;
        }
        return;
    }
    if (tooLong) {
        report_.errors.push_back("line " + std::to_string(number) + ": line too long");
        return;
    }
    const ParsedLine parsed = parser_.parseLine(line);
    if (!parsed.error.empty()) {
        report_.errors.push_back("line " + std::to_string(number) + ": " + parsed.error);
        return;
    }
    if (parsed.record) {
        if (parsed.record->kind == HexRecord::Kind::Count &&
            parsed.record->address != static_cast<std::uint32_t>(report_.dataRecords)) {
            report_.errors.push_back("line " + std::to_string(number) + ": record count " +
                                     std::to_string(parsed.record->address) + ", but " +
                                     std::to_string(report_.dataRecords) + " data records came");
            return;
        }
        apply(*parsed.record);
    }
}

void RecordStream::apply(const HexRecord& record) {
    switch (record.kind) {
        case HexRecord::Kind::Data:
            ++report_.dataRecords;
            if (record.data.empty()) {
                report_.markers.push_back(record.address & SparseMemory::kMask);
                break;
            }
            memory_.write(record.address, record.data);
            report_.bytes += record.data.size();
            if (!report_.firstAddress) {
                report_.firstAddress = record.address & SparseMemory::kMask;
            }
            break;
        case HexRecord::Kind::Start:
            report_.startAddress = record.address;
            break;
        case HexRecord::Kind::End:
            report_.ended = true;
            if (record.address != 0) {
                report_.startAddress = record.address;
            }
            break;
        default:
            break;
    }
}

}  // namespace vivaz
