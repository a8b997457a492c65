// The map rewrite: code and data fields, their bounds, and the files read and written.

#include <gtest/gtest.h>

#include "postlink/map_rewrite.h"
#include "test_support.h"

namespace tarvoline::postlink::testkit {
namespace {

std::string Rewritten(std::string text, std::uint32_t code = 0x20000, std::uint32_t a5 = 0x30100) {
    RewriteMapText(text, code, a5);
    return text;
}

TEST(MapText, CodeFieldBecomesSixDigitsAndABlank) {
    EXPECT_EQ(Rewritten("main   Code: 0001A0\tseg 1\n"), "main   Code: 0201A0 seg 1\n");
}

TEST(MapText, NegativeDataOffsetCountsDownFromA5) {
    EXPECT_EQ(Rewritten("Code: 0      \nglobal Data: -8     x\n"),
              "Code: 020000 \nglobal Data: 0300F8 x\n");
}

TEST(MapText, DataPassStartsAtTheTopWithoutCodeTags) {
    EXPECT_EQ(Rewritten("a Data: 16     \nb Data: -256   \n"),
              "a Data: 030110 \nb Data: 030000 \n");
}

TEST(MapText, DataTagBeforeTheLastCodeTagStaysAsItIs) {
    EXPECT_EQ(Rewritten("Data: 4      \nCode: 10     \nData: 4      \n"),
              "Data: 4      \nCode: 020010 \nData: 030104 \n");
}

TEST(MapText, EmptyTextStaysEmpty) {
    EXPECT_EQ(Rewritten(""), "");
}

TEST(MapText, FieldAtTheEndOfTheTextIsCutShort) {
    EXPECT_EQ(Rewritten("x Code: 1A"), "x Code: 02");
    EXPECT_EQ(Rewritten("x Code: "), "x Code: ");
    EXPECT_EQ(Rewritten("Data: 1"), "Data: 0");
}

TEST(MapText, LongSumsKeepTheirLowSixDigits) {
    EXPECT_EQ(Rewritten("Code: FFFFFFF  tail", 0x1000000), "Code: FFFFFF   tail");
    EXPECT_EQ(Rewritten("Code: 123456789ABCDEF0 t", 0), "Code: BCDEF0 89ABCDEF0 t");
}

TEST(MapText, NumbersAreReadAsTheCLibraryReadsThem) {
    // Leading blanks, a 0x prefix and a sign are part of the number; no digits reads zero.
    EXPECT_EQ(Rewritten("Code:  0x10  z"), "Code: 020010 z");
    EXPECT_EQ(Rewritten("Code: zz     q"), "Code: 020000 q");
    EXPECT_EQ(Rewritten("Code: -1     q", 0x20000), "Code: 01FFFF q");
    EXPECT_EQ(Rewritten("Data: +8     q", 0, 0x100), "Data: 000108 q");
}

TEST(MapText, EverySearchResumesAtTheFieldJustWritten) {
    // The rewritten field itself holds no tag, so each tag is rewritten exactly once.
    EXPECT_EQ(Rewritten("Code: 1      Code: 2      |"), "Code: 020001 Code: 020002 |");
}

TEST(MapText, BytesOutsideTheFieldsAreKept) {
    using namespace std::string_literals;
    const std::string text = "\r\nCode: 000000 \r\n\0\xff"s;
    const std::string expected = "\r\nCode: 020000 \r\n\0\xff"s;
    EXPECT_EQ(Rewritten(text), expected);
}

class MapFile : public ::testing::Test {
  protected:
    LoadImageHeader Header() const {
        LoadImageHeader header;
        header.codeAddress = 0x20000;
        header.a5Address = 0x30100;
        return header;
    }
    TempDir dir_;
};

TEST_F(MapFile, WritesTheRewrittenMapUnderTheExtension) {
    SaveText(dir_ / "PROG.MAP", "Code: 0001A0\t\n");
    EXPECT_EQ(RewriteMapFile(dir_ / "PROG", Header(), ".XMP"), 0);
    const Bytes out = LoadFile(dir_ / "PROG.XMP");
    EXPECT_EQ(std::string(out.begin(), out.end()), "Code: 0201A0 \n");
}

TEST_F(MapFile, FindsTheMapIgnoringCase) {
    SaveText(dir_ / "Prog.map", "Code: 1      \n");
    EXPECT_EQ(RewriteMapFile(dir_ / "Prog", Header(), ".xmp"), 0);
    EXPECT_TRUE(FileExists(dir_ / "Prog.xmp"));
}

TEST_F(MapFile, MissingMapLeavesAnOlderOutputAlone) {
    SaveText(dir_ / "PROG.XMP", "older");
    EXPECT_EQ(RewriteMapFile(dir_ / "PROG", Header(), ".XMP"), ENOENT);
    const Bytes out = LoadFile(dir_ / "PROG.XMP");
    EXPECT_EQ(std::string(out.begin(), out.end()), "older");
}

TEST_F(MapFile, EmptyMapGivesAnEmptyOutput) {
    SaveText(dir_ / "PROG.MAP", "");
    SaveText(dir_ / "PROG.XMP", "older");
    EXPECT_EQ(RewriteMapFile(dir_ / "PROG", Header(), ".XMP"), 0);
    EXPECT_EQ(LoadFile(dir_ / "PROG.XMP").size(), 0u);
}

TEST_F(MapFile, MapExtensionOfTheMapReplacesIt) {
    SaveText(dir_ / "PROG.MAP", "Code: 1      \n");
    EXPECT_EQ(RewriteMapFile(dir_ / "PROG", Header(), ".MAP"), 0);
    EXPECT_EQ(RewriteMapFile(dir_ / "PROG", Header(), ".MAP"), 0);
    const Bytes out = LoadFile(dir_ / "PROG.MAP");
    EXPECT_EQ(std::string(out.begin(), out.end()), "Code: 040001 \n");
}

TEST_F(MapFile, OutputThatCannotBeCreatedGivesItsErrno) {
    SaveText(dir_ / "PROG.MAP", "Code: 1\n");
    EXPECT_EQ(RewriteMapFile(dir_ / "PROG", Header(), "/no/such"), ENOENT);
}

}  // namespace
}  // namespace tarvoline::postlink::testkit
