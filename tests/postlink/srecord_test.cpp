// The S-record text: fill records, the first data record, checksums, and the srecord tools'
// view of it.

#include <gtest/gtest.h>

#include <sstream>

#include "bin_writer.h"
#include "postlink/srecord.h"
#include "srecord_check.h"
#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

Bytes SampleImage(std::size_t size) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    return image;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2) {
        lines.push_back(text.substr(from, end - from));
    }
    EXPECT_EQ(from, text.size()) << "text after the last CR LF";
    return lines;
}

std::string HexBytes(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + from, bytes.begin() + from + count);
}

// Every record's bytes, count through checksum, add up to 0xFF.
void ExpectChecksumsHold(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        unsigned sum = 0;
        for (std::size_t i = 2; i + 1 < line.size(); i += 2) {
            sum += std::stoul(line.substr(i, 2), nullptr, 16);
        }
        EXPECT_EQ(sum & 0xFF, 0xFFu) << line;
        EXPECT_EQ(std::stoul(line.substr(2, 2), nullptr, 16) * 2 + 4, line.size()) << line;
    }
}

TEST(SRecords, LoadAddressAt40PastALineBoundary) {
    const Bytes image = SampleImage(400);
    const std::vector<std::string> lines = Lines(*FormatSRecords(image, 0x10040));
    ExpectChecksumsHold(lines);
    // One fill record at 0x10000; then F is 32, so the record at 0x10020 is all 0xFF.
    EXPECT_EQ(lines[0].substr(0, 10), "S224010000");
    EXPECT_EQ(lines[0].substr(10, 64), std::string(64, 'F'));
    EXPECT_EQ(lines[1].substr(0, 10), "S224010020");
    EXPECT_EQ(lines[1].substr(10, 64), std::string(64, 'F'));
    EXPECT_EQ(lines[2].substr(0, 10 + 64), "S224010040" + HexBytes(Slice(image, 0, 32)));
    EXPECT_EQ(lines.back(), "S804010040BA");
}

TEST(SRecords, LoadAddressFourPastALineBoundary) {
    const Bytes image = SampleImage(400);
    const std::vector<std::string> lines = Lines(*FormatSRecords(image, 0x10004));
    ExpectChecksumsHold(lines);
    EXPECT_EQ(lines[0].substr(0, 10 + 64), "S224010000FFFFFFFF" + HexBytes(Slice(image, 0, 28)));
    EXPECT_EQ(lines[1].substr(0, 10 + 64), "S224010020" + HexBytes(Slice(image, 28, 32)));
}

TEST(SRecords, AlignedLoadAddressHasNoFill) {
    const Bytes image = SampleImage(330);
    const std::vector<std::string> lines = Lines(*FormatSRecords(image, 0x20000));
    ExpectChecksumsHold(lines);
    ASSERT_EQ(lines.size(), 11u + 1u);
    EXPECT_EQ(lines[0].substr(0, 74), "S224020000" + HexBytes(Slice(image, 0, 32)));
    // The last data record holds the remaining 10 bytes.
    EXPECT_EQ(lines[10], "S20E020140" + HexBytes(Slice(image, 320, 10)) + lines[10].substr(30));
    EXPECT_EQ(lines[10].size(), 32u);
}

TEST(SRecords, SeveralFillRecordsLeaveOneToThirtyTwo) {
    const Bytes image = SampleImage(400);
    const std::vector<std::string> lines = Lines(*FormatSRecords(image, 0x100A1));
    ExpectChecksumsHold(lines);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(lines[i].substr(4, 6), HexBytes({0x01, 0x00, static_cast<std::uint8_t>(32 * i)}));
        EXPECT_EQ(lines[i].substr(10, 64), std::string(64, 'F'));
    }
    EXPECT_EQ(lines[5].substr(0, 74), "S2240100A0FF" + HexBytes(Slice(image, 0, 31)));
}

TEST(SRecords, AddressesUseTheLow24Bits) {
    const Bytes image = SampleImage(324);
    const std::vector<std::string> lines = Lines(*FormatSRecords(image, 0x12345678));
    ExpectChecksumsHold(lines);
    EXPECT_EQ(lines[0].substr(0, 10), "S224345600");
    EXPECT_EQ(lines.back().substr(0, 10), "S804345678");
}

TEST(SRecords, ToolsReadBackTheImage) {
    TempDir dir;
    for (std::uint32_t address : {0x10000u, 0x10004u, 0x10040u, 0x100A1u, 0x2FFFFu}) {
        const Bytes image = SampleImage(1000 + address % 7);
        const std::string path = dir / "image.rec";
        SaveText(path, *FormatSRecords(image, address));
        SCOPED_TRACE(address);
        ExpectSRecordFileHolds(path, image, address);
    }
}

}  // namespace
}  // namespace tarvoline::postlink::testkit
