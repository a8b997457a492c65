#pragma once
// The COM port option of telnet: the commands that set the far port's line (rate, data bits,
// parity, stop bits, flow control), its break and its purge, and the judging of the server's
// answers. The client never waits for an answer: each is matched with the request it answers
// when it comes, and a value the server did not take is told as a notice.

#include <termios.h>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

namespace rfc2217 {

enum Command : std::uint8_t {
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kPurgeData = 12,
};
// The server's answer to a command carries the command's number plus this.
inline constexpr std::uint8_t kServerAnswer = 100;

// SET-PARITY and SET-STOPSIZE values.
inline constexpr std::uint8_t kParityNone = 1, kParityOdd = 2, kParityEven = 3;
inline constexpr std::uint8_t kStopOne = 1, kStopTwo = 2;
// SET-CONTROL values.
inline constexpr std::uint8_t kNoFlowControl = 1, kXonXoffFlowControl = 2,
                              kHardwareFlowControl = 3, kBreakOn = 5, kBreakOff = 6,
                              kDtrOn = 8, kRtsOn = 11;
// PURGE-DATA value: the server's buffer of what the device received.
inline constexpr std::uint8_t kPurgeReceived = 1;

// IAC SB COM-PORT-OPTION command value IAC SE, with IACs in the value doubled.
std::string Encode(std::uint8_t command, const std::string& value);
std::string SetBaudRate(std::uint32_t baud);
std::string SetByte(std::uint8_t command, std::uint8_t value);

// A line setting as the option carries it.
struct LineSettings {
    std::uint32_t baud = 0;
    std::uint8_t dataSize = 8;
    std::uint8_t parity = kParityNone;
    std::uint8_t stopSize = kStopOne;
    std::uint8_t flowControl = kNoFlowControl;
    bool operator==(const LineSettings&) const = default;
};
LineSettings FromTermios(const termios& tio);

// The commands that take the far port from `before` (nothing: unknown, so all of them) to
// `after`, in the order rate, data bits, parity, stop bits, flow control.
std::string ChangeCommands(const std::optional<LineSettings>& before, const LineSettings& after);

// Remembers what was asked and judges the server's answers against it.
class CAnswerJudge {
public:
    // A command sent (one made by the functions above: the command number and its value).
    void Sent(std::uint8_t command, const std::string& value);
    // A subnegotiation payload from the server (answer number, then the value). A notice when
    // the server did not take what was asked, else nothing. Answers to nothing asked (the
    // server's own reports) are left alone.
    std::optional<std::string> Judge(const std::string& payload);

private:
    // SET-CONTROL values fall in groups answered separately (flow, break, DTR, RTS...).
    static int Group(std::uint8_t command, std::uint8_t firstValueByte);
    std::map<int, std::deque<std::string>> m_asked;
};

}  // namespace rfc2217
