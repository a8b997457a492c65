// The record loader's parser: S-records and Intel hex, checksums, framing, bad records.
#include <gtest/gtest.h>

#include "records.h"

namespace vivaz {
namespace {

struct LineCase {
    const char* line;
    HexRecord::Kind kind;
    std::uint32_t address;
    std::vector<std::uint8_t> data;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.line;
}

class GoodRecord : public ::testing::TestWithParam<LineCase> {};

TEST_P(GoodRecord, Parses) {
    RecordParser parser;
    const auto parsed = parser.parseLine(GetParam().line);
    ASSERT_EQ(parsed.error, "");
    ASSERT_TRUE(parsed.record.has_value());
    EXPECT_EQ(parsed.record->kind, GetParam().kind);
    EXPECT_EQ(parsed.record->address, GetParam().address);
    EXPECT_EQ(parsed.record->data, GetParam().data);
}

using K = HexRecord::Kind;
INSTANTIATE_TEST_SUITE_P(
    Records, GoodRecord,
    ::testing::Values(LineCase{"S00600004844521B", K::Header, 0, {}},
                      LineCase{"S1060000010203F3", K::Data, 0x0000, {1, 2, 3}},
                      LineCase{"S2070100000A0B0CD6", K::Data, 0x010000, {0x0A, 0x0B, 0x0C}},
                      LineCase{"S3080020000011223371", K::Data, 0x00200000, {0x11, 0x22, 0x33}},
                      LineCase{"S204001000EB", K::Data, 0x001000, {}},
                      LineCase{"S204001300E8", K::Data, 0x001300, {}},
                      LineCase{"S5030003F9", K::Count, 3, {}},
                      LineCase{"S804000000FB", K::End, 0, {}},
                      LineCase{"S9030400F8", K::End, 0x0400, {}},
                      LineCase{"S70500020000F8", K::End, 0x00020000, {}},
                      LineCase{"s1060000010203f3", K::Data, 0x0000, {1, 2, 3}},
                      LineCase{"  S1060000010203F3 \t", K::Data, 0x0000, {1, 2, 3}},
                      LineCase{":0300300002337A1E", K::Data, 0x0030, {0x02, 0x33, 0x7A}},
                      LineCase{":00000001FF", K::End, 0, {}},
                      LineCase{":020000040002F8", K::Base, 0x00020000, {}},
                      LineCase{":0200000212FFEB", K::Base, 0x12FF0, {}},
                      LineCase{":0400000500020000F5", K::Start, 0x00020000, {}}));

struct BadCase {
    const char* line;
    const char* error;
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.line;
}

class BadRecord : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadRecord, IsRefusedWithItsReason) {
    RecordParser parser;
    const auto parsed = parser.parseLine(GetParam().line);
    EXPECT_FALSE(parsed.record.has_value());
    EXPECT_EQ(parsed.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Records, BadRecord,
    ::testing::Values(BadCase{"S1060000010203F4", "checksum F4, computed F3"},
                      BadCase{"S1070000010203F3", "count 07 but 6 bytes follow"},
                      BadCase{"S1060000010203F", "odd number of hex digits"},
                      BadCase{"S10600000102G3F3", "bad hex digit 'G'"},
                      BadCase{"S4030000FC", "unknown record type S4"},
                      BadCase{"S1", "record too short"},
                      BadCase{"S10200FD", "count 02 too small for S1"},
                      BadCase{"S90401000AF0", "S9 carries no data"},
                      BadCase{":0300300002337A1F", "checksum 1F, computed 1E"},
                      BadCase{":0400300002337A1E", "length 04 but 3 data bytes follow"},
                      BadCase{":00000007F9", "unknown record type 07"},
                      BadCase{":01000001AAFF", "checksum FF, computed 54"},
                      BadCase{":01000001AA54", "end-of-file record with data"},
                      BadCase{":0000", "record too short"},
                      BadCase{"hello", "not a record (starts with neither 'S' nor ':')"}));

TEST(RecordStream, NumbersLinesAcrossCrLfAndCrAndLf) {
    SparseMemory memory;
    RecordStream stream(memory);
    stream.feed("S1060000010203F3\r\nS1060000010203F4\rS1060003040506E7\n\r\nS9030000FC\r\n");
    stream.finish();
    const auto& r = stream.report();
    EXPECT_EQ(r.lines, 5);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0], "line 2: checksum F4, computed F3");
    EXPECT_EQ(r.dataRecords, 2);
    EXPECT_EQ(r.bytes, 6u);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(memory.read(0, 6), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(RecordStream, TakesTextSplitAnywhere) {
    SparseMemory memory;
    RecordStream stream(memory);
    const std::string text = "S2070100000A0B0CD6\r\nS804000000FB\r";
    for (char c : text) {
        stream.feed(std::string_view(&c, 1));
    }
    stream.finish();
    EXPECT_TRUE(stream.report().errors.empty());
    EXPECT_EQ(memory.read(0x010000, 3), (std::vector<std::uint8_t>{0x0A, 0x0B, 0x0C}));
}

TEST(RecordStream, IgnoresLinesAfterTheEndRecord) {
    SparseMemory memory;
    RecordStream stream(memory);
    stream.feed("S9030000FC\r\nS1060000010203F3\r\n");
    stream.finish();
    EXPECT_EQ(stream.report().linesAfterEnd, 1);
    EXPECT_EQ(stream.report().dataRecords, 0);
    EXPECT_EQ(memory.writtenBytes(), 0u);
}

TEST(RecordStream, ChecksTheS5Count) {
    SparseMemory memory;
    RecordStream stream(memory);
    stream.feed("S1060000010203F3\nS5030002FA\nS5030001FB\n");
    stream.finish();
    ASSERT_EQ(stream.report().errors.size(), 1u);
    EXPECT_EQ(stream.report().errors[0], "line 2: record count 2, but 1 data records came");
}

TEST(RecordStream, IntelBaseAndStartAddresses) {
    SparseMemory memory;
    RecordStream stream(memory);
    stream.feed(":020000040002F8\n:0300300002337A1E\n:0400000500020030C5\n:00000001FF\n");
    stream.finish();
    const auto& r = stream.report();
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(memory.read(0x20030, 3), (std::vector<std::uint8_t>{0x02, 0x33, 0x7A}));
    ASSERT_TRUE(r.startAddress.has_value());
    EXPECT_EQ(*r.startAddress, 0x20030u);
    EXPECT_TRUE(r.ended);
}

TEST(RecordStream, StagedStartRecordsAreAddressMarkers) {
    SparseMemory memory;
    RecordStream stream(memory);
    stream.feed("S204001000EB\rS204001300E8\rS804000000FB\r");
    stream.finish();
    EXPECT_EQ(stream.report().markers, (std::vector<std::uint32_t>{0x1000, 0x1300}));
    EXPECT_EQ(stream.report().bytes, 0u);
    EXPECT_TRUE(stream.report().errors.empty());
}

TEST(RecordStream, OverlongLineIsOneBadRecord) {
    SparseMemory memory;
    RecordStream stream(memory);
    stream.feed(std::string(1000, 'S') + "\r\nS9030000FC\r\n");
    stream.finish();
    ASSERT_EQ(stream.report().errors.size(), 1u);
    EXPECT_EQ(stream.report().errors[0], "line 1: line too long");
    EXPECT_TRUE(stream.report().ended);
}

TEST(SparseMemory, WrapsAt24BitsAndMergesRanges) {
    SparseMemory memory;
    memory.write(0xFFFFFE, std::vector<std::uint8_t>{1, 2, 3});
    EXPECT_EQ(memory.at(0), 3);
    EXPECT_EQ(memory.at(0x1000000), 3);
    memory.write(0x10, std::vector<std::uint8_t>{9});
    memory.write(0x11, std::vector<std::uint8_t>{9});
    const auto ranges = memory.writtenRanges();
    ASSERT_EQ(ranges.size(), 3u);
    EXPECT_EQ(ranges[1], (std::pair<std::uint32_t, std::uint32_t>{0x10, 0x12}));
}

}  // namespace
}  // namespace vivaz
