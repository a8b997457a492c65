#include "SystemError.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

std::string FormatSystemMessage(DWORD error) {
    // The system's own words for "not a terminal" mention ioctls; users need to hear that the
    // device is no serial port.
    if (error == ENOTTY) return "The device is not a serial port.";
    if (error == kErrorComPortRefused)
        return "The server refused the COM port option (RFC 2217); for a raw port use "
               "tcp://HOST:PORT.";
    if (error == kErrorComPortNoAnswer)
        return "The server did not answer the COM port option (RFC 2217); for a raw port use "
               "tcp://HOST:PORT.";
    if ((error & 0xFFFF0000u) == kErrorHostLookup) {
        const int code = -static_cast<int>(error & 0xFFFFu);
        return std::string("Unknown host (") + ::gai_strerror(code) + ")";
    }
    char buffer[256] = {};
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(static_cast<int>(error), buffer, sizeof buffer);
    if (!text || !*text) return "Unknown error " + std::to_string(error);
    return text;
}

DWORD HostLookupError(int gaiCode) {
    const int magnitude = gaiCode < 0 ? -gaiCode : gaiCode;
    return kErrorHostLookup | (static_cast<DWORD>(magnitude) & 0xFFFFu);
}
