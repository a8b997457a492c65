#include "Rfc2217.h"

#include "LineTermios.h"
#include "TelnetCodec.h"

namespace rfc2217 {

namespace {

// A server that never answers a kind of request (SET-CONTROL for DTR on a device without
// modem lines) must not make the list grow for ever.
constexpr std::size_t kMostRemembered = 32;

std::string Describe(std::uint8_t command, const std::string& value) {
    auto byte = [&] { return value.empty() ? 0 : std::uint8_t(value[0]); };
    switch (command) {
        case kSetBaudRate: {
            std::uint32_t baud = 0;
            for (char c : value) baud = (baud << 8) | std::uint8_t(c);
            return std::to_string(baud) + " baud";
        }
        case kSetDataSize: return std::to_string(byte()) + " data bits";
        case kSetParity:
            switch (byte()) {
                case kParityNone: return "no parity";
                case kParityOdd: return "odd parity";
                case kParityEven: return "even parity";
                default: return "parity " + std::to_string(byte());
            }
        case kSetStopSize:
            return byte() == kStopTwo ? "2 stop bits" : byte() == kStopOne ? "1 stop bit"
                                                      : "stop size " + std::to_string(byte());
        case kSetControl:
            switch (byte()) {
                case kNoFlowControl: return "no flow control";
                case kXonXoffFlowControl: return "XON/XOFF flow control";
                case kHardwareFlowControl: return "hardware flow control";
                case kBreakOn: return "break on";
                case kBreakOff: return "break off";
                default: return "control " + std::to_string(byte());
            }
        default: return "command " + std::to_string(command);
    }
}

}  // namespace

std::string Encode(std::uint8_t command, const std::string& value) {
    std::string out{char(telnet::kIac), char(telnet::kSb), char(telnet::kOptionComPort)};
    telnet::AppendEscaped(out, &command, 1);
    telnet::AppendEscaped(out, value.data(), value.size());
    out += char(telnet::kIac);
    out += char(telnet::kSe);
    return out;
}

std::string SetBaudRate(std::uint32_t baud) {
    const std::string value{char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    return Encode(kSetBaudRate, value);
}

std::string SetByte(std::uint8_t command, std::uint8_t value) {
    return Encode(command, std::string(1, char(value)));
}

LineSettings FromTermios(const termios& tio) {
    LineSettings s;
    s.baud = SpeedToBaud(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5: s.dataSize = 5; break;
        case CS6: s.dataSize = 6; break;
        case CS7: s.dataSize = 7; break;
        default: s.dataSize = 8; break;
    }
    s.parity = !(tio.c_cflag & PARENB) ? kParityNone
                                       : (tio.c_cflag & PARODD) ? kParityOdd : kParityEven;
    s.stopSize = (tio.c_cflag & CSTOPB) ? kStopTwo : kStopOne;
    s.flowControl = (tio.c_cflag & CRTSCTS)              ? kHardwareFlowControl
                    : (tio.c_iflag & (IXON | IXOFF)) != 0 ? kXonXoffFlowControl
                                                          : kNoFlowControl;
    return s;
}

std::string ChangeCommands(const std::optional<LineSettings>& before, const LineSettings& after) {
    std::string out;
    if (!before || before->baud != after.baud) out += SetBaudRate(after.baud);
    if (!before || before->dataSize != after.dataSize) out += SetByte(kSetDataSize, after.dataSize);
    if (!before || before->parity != after.parity) out += SetByte(kSetParity, after.parity);
    if (!before || before->stopSize != after.stopSize) out += SetByte(kSetStopSize, after.stopSize);
    if (!before || before->flowControl != after.flowControl)
        out += SetByte(kSetControl, after.flowControl);
    return out;
}

int CAnswerJudge::Group(std::uint8_t command, std::uint8_t firstValueByte) {
    if (command != kSetControl) return command * 256;
    // 1-3 flow out, 4-6 break, 7-9 DTR, 10-12 RTS, 13-19 flow in: the states of one thing.
    const int group = firstValueByte <= 3 ? 0 : firstValueByte <= 6 ? 1 : firstValueByte <= 9 ? 2
                      : firstValueByte <= 12 ? 3 : 4;
    return command * 256 + group;
}

void CAnswerJudge::Sent(std::uint8_t command, const std::string& value) {
    if (command != kSetBaudRate && command != kSetDataSize && command != kSetParity &&
        command != kSetStopSize && command != kSetControl)
        return;
    auto& asked = m_asked[Group(command, value.empty() ? 0 : std::uint8_t(value[0]))];
    if (asked.size() >= kMostRemembered) asked.pop_front();
    asked.push_back(value);
}

std::optional<std::string> CAnswerJudge::Judge(const std::string& payload) {
    if (payload.empty() || std::uint8_t(payload[0]) <= kServerAnswer) return std::nullopt;
    const std::uint8_t command = std::uint8_t(payload[0]) - kServerAnswer;
    const std::string value = payload.substr(1);
    auto it = m_asked.find(Group(command, value.empty() ? 0 : std::uint8_t(value[0])));
    if (it == m_asked.end() || it->second.empty()) return std::nullopt;
    const std::string asked = it->second.front();
    it->second.pop_front();
    if (asked == value) return std::nullopt;
    return "the server refused " + Describe(command, asked) + " (it answered " +
           Describe(command, value) + ")";
}

}  // namespace rfc2217
