// The pseudo-terminal that stands in for the board's serial port.
#pragma once

#include <string>

namespace vivaz {

struct PtyLine {
    int master = -1;
    int slave = -1;  // held open by the board so that a host closing the device never hangs up
    std::string slavePath;
};

// Opens a pair with the slave raw (no echo, no line editing, no output processing) at `baud`
// 8N1, as a serial port reads before anyone has set it up. The master is non-blocking.
// Throws std::system_error.
PtyLine openPtyLine(unsigned baud);
void closePtyLine(PtyLine& line);

// Replaces `link` (if it is a symbolic link or missing) with a symbolic link to `target`.
// Throws std::system_error.
void makeDeviceLink(const std::string& link, const std::string& target);

}  // namespace vivaz
