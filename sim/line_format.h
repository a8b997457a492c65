// The serial line's speed and framing, as a UART sees it.
#pragma once

#include <termios.h>

#include <chrono>
#include <string>

namespace vivaz {

struct LineFormat {
    unsigned baud = 9600;
    int dataBits = 8;
    char parity = 'N';  // 'N', 'E' or 'O'
    int stopBits = 1;

    bool operator==(const LineFormat&) const = default;

    // "115200 8N2"
    std::string text() const;
    // Line time of one character: start bit, data, parity, stop bits.
    int bitsPerChar() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    // The same as a duration; zero when the speed is not known (baud 0).
    std::chrono::nanoseconds charTime() const;
};

// A receiver set to `uart` decodes a character sent as `line` only when speed, data bits and
// parity agree. A receiver set for one stop bit also takes two-stop-bit frames (the second stop
// bit is just idle line); one set for two stop bits flags a framing error on back-to-back
// one-stop-bit frames.
bool uartAccepts(const LineFormat& uart, const LineFormat& line);

// What a termios (for instance the slave's, read through the master) says about the line.
LineFormat lineFormatOf(const termios& t);

// The rates the board's UART can be programmed to; 0 when `baud` is not one of them.
speed_t speedConstant(unsigned baud);
unsigned baudOf(speed_t speed);
bool isSupportedRate(unsigned baud);

}  // namespace vivaz
