// The hex view's rows: a known byte stream, fed whole or a byte at a time, gives the same rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/HexRows.h"

namespace {

const std::string kStream = std::string("MD 0 20\r\n> ") + std::string("\0ABCD", 5) +
                            "\x7F\xFF\x1B[0m";

const std::vector<std::string> kRows = {
    "00000000  4D 44 20 30 20 32 30 0D  0A 3E 20 00 41 42 43 44  MD 0 20..> .ABCD",
    "00000010  7F FF 1B 5B 30 6D                                 ...[0m",
};

std::vector<std::string> Feed(CHexRows& rows, const std::string& bytes, bool sent = false) {
    std::vector<std::string> shown;
    rows.Feed(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()),
              sent, [&](const CHexRow& row) { shown.push_back(row.Text()); });
    return shown;
}

TEST(HexRows, AKnownStreamGivesItsRows) {
    CHexRows rows;
    EXPECT_EQ(kRows, Feed(rows, kStream));
    EXPECT_TRUE(rows.RowOpen());
    // The open row is given again, longer, and the next row follows at its offset.
    const std::vector<std::string> more = Feed(rows, std::string(11, 'z'));
    ASSERT_EQ(2u, more.size());
    EXPECT_EQ("00000010  7F FF 1B 5B 30 6D 7A 7A  7A 7A 7A 7A 7A 7A 7A 7A  ...[0mzzzzzzzzzz",
              more[0]);
    EXPECT_EQ("00000020  7A                                                z", more[1]);
}

TEST(HexRows, AByteAtATimeFillsTheSameRows) {
    CHexRows rows;
    std::vector<std::string> last;
    for (size_t i = 0; i < kStream.size(); ++i) {
        const std::vector<std::string> shown = Feed(rows, kStream.substr(i, 1));
        ASSERT_EQ(1u, shown.size());
        // The character column of an open row is already where a full row has it.
        EXPECT_EQ(60 + i % 16 + 1, shown[0].size()) << shown[0];
        if (i % 16 == 0)
            last.push_back(shown[0]);
        else
            last.back() = shown[0];
    }
    EXPECT_EQ(kRows, last);
}

TEST(HexRows, StampsSentMarksColumnsAndReset) {
    CHexRows rows;
    rows.SetTimeStamps(true, [] { return std::chrono::system_clock::time_point{}; });
    std::vector<CHexRow> given;
    auto keep = [&](const CHexRow& row) { given.push_back(row); };
    rows.Feed(reinterpret_cast<const unsigned char*>("ab"), 2, false, keep);
    rows.Feed(reinterpret_cast<const unsigned char*>("c"), 1, true, keep);
    ASSERT_EQ(2u, given.size());
    const CHexRow& row = given.back();
    EXPECT_EQ(15u, row.stamp.size());
    EXPECT_EQ('[', row.Text()[0]);
    EXPECT_EQ(row.stamp + "00000000  61 62 63", row.Text().substr(0, 15 + 18));
    EXPECT_FALSE(row.sent[1]);
    EXPECT_TRUE(row.sent[2]);
    EXPECT_EQ("63", row.Text().substr(row.HexColumn(2), 2));
    EXPECT_EQ('c', row.Text()[row.CharColumn(2)]);
    EXPECT_EQ("61", row.Text().substr(row.HexColumn(0), 2));
    rows.Reset();
    EXPECT_FALSE(rows.RowOpen());
    given.clear();
    rows.Feed(reinterpret_cast<const unsigned char*>("d"), 1, false, keep);
    EXPECT_EQ(0u, given.back().offset);
}

}  // namespace
