#include "LineTermios.h"

namespace {

struct SpeedEntry {
    DWORD baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

}  // namespace

std::optional<speed_t> BaudToSpeed(DWORD baud) {
    for (const auto& e : kSpeeds)
        if (e.baud == baud) return e.speed;
    return std::nullopt;
}

DWORD SpeedToBaud(speed_t speed) {
    for (const auto& e : kSpeeds)
        if (e.speed == speed) return e.baud;
    return 0;
}

void MakeRawLine(termios& tio) {
    tio.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC |
                     IMAXBEL);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cflag &= ~HUPCL;
    // With the device non-blocking, VMIN 1 makes an empty read say EAGAIN and keeps a read of 0
    // bytes for the end of the line (hang-up).
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

bool ApplyBaud(termios& tio, DWORD baud) {
    auto speed = BaudToSpeed(baud);
    if (!speed) return false;
    cfsetispeed(&tio, *speed);
    cfsetospeed(&tio, *speed);
    return true;
}

bool ApplyLineFormat(termios& tio, int parityCode, int dataBits, int stopBitCode) {
    tcflag_t size;
    switch (dataBits) {
        case 5: size = CS5; break;
        case 6: size = CS6; break;
        case 7: size = CS7; break;
        case 8: size = CS8; break;
        default: return false;
    }
    if (parityCode != kParityNone && parityCode != kParityOdd && parityCode != kParityEven)
        return false;
    if (stopBitCode != kOneStopBit && stopBitCode != kTwoStopBits) return false;

    tio.c_cflag = (tio.c_cflag & ~CSIZE) | size;
    tio.c_cflag &= ~(PARENB | PARODD);
    if (parityCode == kParityOdd) tio.c_cflag |= PARENB | PARODD;
    if (parityCode == kParityEven) tio.c_cflag |= PARENB;
    if (stopBitCode == kTwoStopBits)
        tio.c_cflag |= CSTOPB;
    else
        tio.c_cflag &= ~CSTOPB;
    tio.c_iflag |= INPCK;
    return true;
}

void ApplyFlowControl(CLineConfig& cfg, DWORD flags, int xonLimit, int xoffLimit,
                      unsigned char xonChar, unsigned char xoffChar) {
    termios& tio = cfg.tio;
    MakeRawLine(tio);  // binary mode, NUL bytes kept
    cfg.dsrDtrHandshake = (flags & kFlowDsrDtr) != 0;
    if (flags & kFlowCtsRts)
        tio.c_cflag |= CRTSCTS;
    else
        tio.c_cflag &= ~CRTSCTS;
    if (flags & kFlowXonXoff)
        tio.c_iflag |= IXON | IXOFF;
    else
        tio.c_iflag &= ~(IXON | IXOFF);
    tio.c_iflag &= ~IXANY;
    tio.c_cc[VSTART] = xonChar;
    tio.c_cc[VSTOP] = xoffChar;
    cfg.xonLimit = static_cast<std::uint16_t>(xonLimit);
    cfg.xoffLimit = static_cast<std::uint16_t>(xoffLimit);
}

bool LineFormatMatches(const termios& wanted, const termios& actual) {
    constexpr tcflag_t kFormat = CSIZE | PARENB | PARODD | CSTOPB;
    return (wanted.c_cflag & kFormat) == (actual.c_cflag & kFormat) &&
           cfgetospeed(&wanted) == cfgetospeed(&actual) &&
           cfgetispeed(&wanted) == cfgetispeed(&actual);
}
