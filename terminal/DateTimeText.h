#pragma once
// The four texts of "Paste Date & Time": month/day/year and 24-hour time, with a two- or
// four-digit year, alone or as a monitor "DATE " command ending in CR. Qt-free.

#include <ctime>
#include <string>

enum DateTimeFormat {
    kDateTimeShortYear = 0,      // MM/DD/YY HH:MM:SS
    kDateTimeLongYear = 1,       // MM/DD/YYYY HH:MM:SS
    kDateCommandShortYear = 2,   // DATE MM/DD/YY HH:MM:SS + CR (the preselected one)
    kDateCommandLongYear = 3,    // DATE MM/DD/YYYY HH:MM:SS + CR
};

// The text to send for a local time in one of the four formats (0 to 3).
std::string DateTimeText(int format, const std::tm& local);

// The same for a calendar time, converted to local time.
std::string DateTimeText(int format, std::time_t when);
