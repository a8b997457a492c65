#include "SystemError.h"

#include <cerrno>
#include <cstring>

std::string FormatSystemMessage(DWORD error) {
    // The system's own words for "not a terminal" mention ioctls; users need to hear that the
    // device is no serial port.
    if (error == ENOTTY) return "The device is not a serial port.";
    char buffer[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(static_cast<int>(error), buffer, sizeof buffer);
    if (!text || !*text) return "Unknown error " + std::to_string(error);
    return text;
}
