#include "DateTimeText.h"

std::string DateTimeText(int format, const std::tm& local) {
    const bool longYear = format == kDateTimeLongYear || format == kDateCommandLongYear;
    const bool command = format == kDateCommandShortYear || format == kDateCommandLongYear;
    const char* pattern = longYear ? "%m/%d/%Y %H:%M:%S" : "%m/%d/%y %H:%M:%S";
    char buffer[24];
    const size_t n = std::strftime(buffer, sizeof buffer, pattern, &local);
    std::string text(buffer, n);
    if (command) text = "DATE " + text + "\r";
    return text;
}

std::string DateTimeText(int format, std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return DateTimeText(format, local);
}
