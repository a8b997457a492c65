#include "line_format.h"

#include <array>
#include <utility>

namespace vivaz {

namespace {

constexpr std::array<std::pair<unsigned, speed_t>, 11> kRates{{
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {921600, B921600},
}};

}  // namespace

std::string LineFormat::text() const {
    return std::to_string(baud) + " " + std::to_string(dataBits) + parity +
           std::to_string(stopBits);
}

std::chrono::nanoseconds LineFormat::charTime() const {
    if (baud == 0) {
        return std::chrono::nanoseconds::zero();
    }
    return std::chrono::nanoseconds(static_cast<long long>(bitsPerChar()) * 1000000000LL / baud);
}

bool uartAccepts(const LineFormat& uart, const LineFormat& line) {
    if (uart.baud != line.baud || uart.dataBits != line.dataBits || uart.parity != line.parity) {
        return false;
    }
    return uart.stopBits <= line.stopBits;
}

LineFormat lineFormatOf(const termios& t) {
    LineFormat f;
    f.baud = baudOf(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
        case CS5:
            f.dataBits = 5;
            break;
        case CS6:
            f.dataBits = 6;
            break;
        case CS7:
            f.dataBits = 7;
            break;
        default:
            f.dataBits = 8;
            break;
    }
    f.parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 'O' : 'E') : 'N';
    f.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return f;
}

speed_t speedConstant(unsigned baud) {
    for (const auto& [rate, constant] : kRates) {
        if (rate == baud) {
            return constant;
        }
    }
    return 0;
}

unsigned baudOf(speed_t speed) {
    for (const auto& [rate, constant] : kRates) {
        if (constant == speed) {
            return rate;
        }
    }
    return 0;
}

bool isSupportedRate(unsigned baud) {
    return speedConstant(baud) != 0;
}

}  // namespace vivaz
