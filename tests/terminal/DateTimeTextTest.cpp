// The date-and-time texts of the four formats.
#include <gtest/gtest.h>

#include <ostream>

#include "terminal/DateTimeText.h"

namespace {

std::tm Local(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return t;
}

struct FormatCase {
    int format;
    std::tm when;
    const char* text;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << "format " << c.format; }

class DateTimeFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DateTimeFormats, Text) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(c.text, DateTimeText(c.format, c.when));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DateTimeFormats,
    ::testing::Values(FormatCase{0, Local(2026, 12, 6, 19, 46, 2), "12/06/26 19:46:02"},
                      FormatCase{1, Local(2026, 12, 6, 19, 46, 2), "12/06/2026 19:46:02"},
                      FormatCase{2, Local(2026, 12, 6, 19, 46, 2), "DATE 12/06/26 19:46:02\r"},
                      FormatCase{3, Local(2026, 12, 6, 19, 46, 2), "DATE 12/06/2026 19:46:02\r"},
                      FormatCase{2, Local(2027, 3, 1, 9, 5, 7), "DATE 03/01/27 09:05:07\r"},
                      FormatCase{1, Local(2027, 3, 1, 9, 5, 7), "03/01/2027 09:05:07"},
                      FormatCase{0, Local(2000, 1, 1, 0, 0, 0), "01/01/00 00:00:00"},
                      FormatCase{3, Local(1999, 12, 31, 23, 59, 59),
                                 "DATE 12/31/1999 23:59:59\r"}));

TEST(DateTimeText, LengthsOfThePreselectedAndTheLongYearFormats) {
    EXPECT_EQ(23u, DateTimeText(kDateCommandShortYear, Local(2027, 3, 1, 9, 5, 7)).size());
    EXPECT_EQ(19u, DateTimeText(kDateTimeLongYear, Local(2027, 3, 1, 9, 5, 7)).size());
    EXPECT_EQ(25u, DateTimeText(kDateCommandLongYear, Local(2027, 3, 1, 9, 5, 7)).size());
}

TEST(DateTimeText, CalendarTimeIsConvertedToLocalTime) {
    std::tm t = Local(2027, 3, 1, 9, 5, 7);
    const std::time_t when = std::mktime(&t);
    EXPECT_EQ("DATE 03/01/27 09:05:07\r", DateTimeText(kDateCommandShortYear, when));
}

}  // namespace
