// The board's real-time clock and the "DATE" command's text forms.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vivaz {

struct DateTime {
    int year = 1990;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const DateTime&) const = default;
};

// "mm/dd/yy hh:mm:ss" or "mm/dd/yyyy hh:mm:ss", fields of exactly two (year: two or four)
// digits. Two-digit years 70-99 are 1970-1999, 00-69 are 2000-2069. Empty when the text or
// a field's value is not valid.
std::optional<DateTime> parseDate(std::string_view text);
// "mm/dd/yyyy hh:mm:ss"
std::string formatDate(const DateTime& dt);

std::int64_t toSeconds(const DateTime& dt);
DateTime fromSeconds(std::int64_t seconds);

// Runs from 01/01/1990 00:00:00 at power-on (the board has no battery) until set.
class BoardClock {
  public:
    using Clock = std::chrono::steady_clock;
    explicit BoardClock(Clock::time_point powerOn) : setAt_(powerOn) {}
    void set(const DateTime& dt, Clock::time_point now);
    DateTime read(Clock::time_point now) const;

  private:
    std::int64_t setTo_ = toSeconds(DateTime{});
    Clock::time_point setAt_;
};

}  // namespace vivaz
