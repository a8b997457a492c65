#include "board_clock.h"

#include <cstdio>

namespace vivaz {

namespace {

bool leapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : kDays[m - 1];
}

// Reads exactly `digits` decimal digits at `pos`, then expects `sep` (unless 0).
bool field(std::string_view text, std::size_t& pos, std::size_t digits, char sep, int& out) {
    if (pos + digits > text.size()) {
        return false;
    }
    out = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') {
            return false;
        }
        out = out * 10 + (c - '0');
    }
    pos += digits;
    if (sep != 0) {
        if (pos >= text.size() || text[pos] != sep) {
            return false;
        }
        ++pos;
    }
    return true;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

std::optional<DateTime> parseDate(std::string_view text) {
    DateTime dt;
    std::size_t pos = 0;
    if (!field(text, pos, 2, '/', dt.month) || !field(text, pos, 2, '/', dt.day)) {
        return std::nullopt;
    }
    const std::size_t space = text.find(' ', pos);
    if (space == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t yearDigits = space - pos;
    if ((yearDigits != 2 && yearDigits != 4) || !field(text, pos, yearDigits, ' ', dt.year)) {
        return std::nullopt;
    }
    if (yearDigits == 2) {
        dt.year += dt.year >= 70 ? 1900 : 2000;
    }
    if (!field(text, pos, 2, ':', dt.hour) || !field(text, pos, 2, ':', dt.minute) ||
        !field(text, pos, 2, 0, dt.second) || pos != text.size()) {
        return std::nullopt;
    }
    if (dt.month < 1 || dt.month > 12 || dt.day < 1 || dt.day > daysInMonth(dt.year, dt.month) ||
        dt.hour > 23 || dt.minute > 59 || dt.second > 59) {
        return std::nullopt;
    }
    return dt;
}

std::string formatDate(const DateTime& dt) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", dt.month, dt.day, dt.year,
                  dt.hour, dt.minute, dt.second);
    return buf;
}

std::int64_t toSeconds(const DateTime& dt) {
    return daysFromCivil(dt.year, dt.month, dt.day) * 86400 + dt.hour * 3600 + dt.minute * 60 +
           dt.second;
}

DateTime fromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Inverse of daysFromCivil.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    DateTime dt;
    dt.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    dt.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    dt.year = static_cast<int>(yoe + era * 400 + (dt.month <= 2));
    dt.hour = static_cast<int>(rest / 3600);
    dt.minute = static_cast<int>(rest % 3600 / 60);
    dt.second = static_cast<int>(rest % 60);
    return dt;
}

void BoardClock::set(const DateTime& dt, Clock::time_point now) {
    setTo_ = toSeconds(dt);
    setAt_ = now;
}

DateTime BoardClock::read(Clock::time_point now) const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - setAt_).count();
    return fromSeconds(setTo_ + elapsed);
}

}  // namespace vivaz
