// The special-character table and the value box's rules.
#include <gtest/gtest.h>

#include <ostream>

#include "terminal/SpecialChars.h"

namespace {

struct RowCase {
    int code;
    const char* decimal;
    const char* hex;
    const char* name;
    const char* ctrl;
};

void PrintTo(const RowCase& c, std::ostream* os) { *os << "code " << c.code; }

class SpecialCharRows : public ::testing::TestWithParam<RowCase> {};

TEST_P(SpecialCharRows, AsTabled) {
    const RowCase& c = GetParam();
    const CSpecialCharRow row = SpecialCharRow(c.code);
    EXPECT_EQ(c.decimal, row.decimal);
    EXPECT_EQ(c.hex, row.hex);
    EXPECT_EQ(c.name, row.name);
    EXPECT_EQ(c.ctrl, row.ctrl);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpecialCharRows,
    ::testing::Values(RowCase{0, "0", "00", "NUL - null", "^@"},
                      RowCase{1, "1", "01", "SOH - start of heading", "^A"},
                      RowCase{2, "2", "02", "STX - start of text      ", "^B"},
                      RowCase{3, "3", "03", "ETX - end of text", "^C"},
                      RowCase{4, "4", "04", "EOT - end of transmission", "^D"},
                      RowCase{5, "5", "05", "ENQ - enquiry", "^E"},
                      RowCase{6, "6", "06", "ACK - acknowledge", "^F"},
                      RowCase{7, "7", "07", "BEL - bell", "^G"},
                      RowCase{8, "8", "08", "BS - backspace", "^H"},
                      RowCase{9, "9", "09", "TAB - horizontal tab", "^I"},
                      RowCase{10, "10", "0A", "LF - NL line feed, new line", "^J"},
                      RowCase{11, "11", "0B", "VT - vertical tab", "^K"},
                      RowCase{12, "12", "0C", "FF - NP form feed, new page", "^L"},
                      RowCase{13, "13", "0D", "CR - carriage return", "^M"},
                      RowCase{14, "14", "0E", "SO - shift out", "^N"},
                      RowCase{15, "15", "0F", "SI - shift in", "^O"},
                      RowCase{16, "16", "10", "DLE - data link escape", "^P"},
                      RowCase{17, "17", "11", "DC1 - device control 1", "^Q"},
                      RowCase{18, "18", "12", "DC2 - device control 2", "^R"},
                      RowCase{19, "19", "13", "DC3 - device control 3", "^S"},
                      RowCase{20, "20", "14", "DC4 - device control 4", "^T"},
                      RowCase{21, "21", "15", "NAK - negative acknowledge", "^U"},
                      RowCase{22, "22", "16", "SYN - synchronous idle", "^V"},
                      RowCase{23, "23", "17", "ETB - end of trans. block", "^W"},
                      RowCase{24, "24", "18", "CAN - cancel", "^X"},
                      RowCase{25, "25", "19", "EM - end of medium", "^Y"},
                      RowCase{26, "26", "1A", "SUB - substitute", "^Z"},
                      RowCase{27, "27", "1B", "ESC - escape", "^["},
                      RowCase{28, "28", "1C", "FS - file separator", "^\\"},
                      RowCase{29, "29", "1D", "GS - group separator", "^]"},
                      RowCase{30, "30", "1E", "RS - record separator", "^^"},
                      RowCase{31, "31", "1F", "US - unit separator", "^_"},
                      RowCase{32, "32", "20", "SP - space", ""},
                      RowCase{33, "33", "21", "!", ""},
                      RowCase{65, "65", "41", "A", ""},
                      RowCase{126, "126", "7E", "~", ""},
                      RowCase{127, "127", "7F", "DEL", ""},
                      RowCase{128, "128", "80", "", ""},
                      RowCase{255, "255", "FF", "", ""}),
    [](const auto& info) { return "Code" + std::to_string(info.param.code); });

TEST(SpecialCharTable, PrintableCodesNameThemselves) {
    for (int code = 0x21; code <= 0x7E; ++code)
        EXPECT_EQ(std::string(1, static_cast<char>(code)), SpecialCharRow(code).name);
    for (int code = 0x80; code <= 0xFF; ++code) {
        EXPECT_EQ("", SpecialCharRow(code).name);
        EXPECT_EQ("", SpecialCharRow(code).ctrl);
    }
}

struct CleanCase {
    const char* typed;
    CValueMode mode;
    const char* shown;
    int code;
};

void PrintTo(const CleanCase& c, std::ostream* os) {
    *os << '"' << c.typed << '"' << (c.mode == CValueMode::Hex ? " hex" : " decimal");
}

class ValueBoxRule : public ::testing::TestWithParam<CleanCase> {};

TEST_P(ValueBoxRule, KeepsDigitsOfTheBase) {
    const CleanCase& c = GetParam();
    const CParsedValue v = CleanValueText(c.typed, c.mode);
    EXPECT_EQ(c.shown, v.text);
    EXPECT_EQ(c.code, v.code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueBoxRule,
    ::testing::Values(CleanCase{"1", CValueMode::Hex, "1", 1},
                      CleanCase{"1B", CValueMode::Hex, "1B", 27},
                      CleanCase{"1b", CValueMode::Hex, "1b", 27},
                      CleanCase{"7g", CValueMode::Hex, "7", 7},
                      CleanCase{"g7", CValueMode::Hex, "7", 7},
                      CleanCase{"1B3", CValueMode::Hex, "1B", 27},
                      CleanCase{"FF", CValueMode::Hex, "FF", 255},
                      CleanCase{"", CValueMode::Hex, "", 0},
                      CleanCase{"3", CValueMode::Decimal, "3", 3},
                      CleanCase{"30", CValueMode::Decimal, "30", 30},
                      CleanCase{"300", CValueMode::Decimal, "255", 255},
                      CleanCase{"256", CValueMode::Decimal, "255", 255},
                      CleanCase{"2559", CValueMode::Decimal, "255", 255},
                      CleanCase{"1F", CValueMode::Decimal, "1", 1},
                      CleanCase{"A", CValueMode::Decimal, "", 0},
                      CleanCase{"065", CValueMode::Decimal, "065", 65}));

TEST(ParseValue, EmptyBecomesZeroAndDecimalIsClamped) {
    EXPECT_EQ("0", ParseValue("", CValueMode::Hex).text);
    EXPECT_EQ(0, ParseValue("", CValueMode::Decimal).code);
    EXPECT_EQ(0x0D, ParseValue("0D", CValueMode::Hex).code);
    EXPECT_EQ(13, ParseValue("D", CValueMode::Hex).code);
    EXPECT_EQ("255", ParseValue("999", CValueMode::Decimal).text);
    EXPECT_EQ(255, ParseValue("999", CValueMode::Decimal).code);
}

TEST(ValueText, RowCodeInTheMode) {
    EXPECT_EQ("41", ValueTextOf(65, CValueMode::Hex));
    EXPECT_EQ("65", ValueTextOf(65, CValueMode::Decimal));
    EXPECT_EQ("0A", ValueTextOf(10, CValueMode::Hex));
}

TEST(SpecialString, AddShowsTextsAndKeepsNulAsAByte) {
    CSpecialString s;
    EXPECT_FALSE(s.CanSend());
    s.Add("0D", 0x0D);
    s.Add("00", 0x00);
    s.Add("0A", 0x0A);
    EXPECT_EQ("0D 00 0A ", s.Shown());
    EXPECT_EQ((std::vector<unsigned char>{0x0D, 0x00, 0x0A}), s.Codes());
    EXPECT_TRUE(s.CanSend());
    s.Clear();
    EXPECT_EQ(" ", s.Shown());
    EXPECT_FALSE(s.CanSend());
}

}  // namespace
