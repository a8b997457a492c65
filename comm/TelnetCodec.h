#pragma once
// The telnet layer of a network serial port: IAC doubling of data, the decoding of a received
// stream into data bytes and commands (a command may be cut anywhere between two reads), and
// the option negotiation the port needs (binary both ways, no go-ahead, the COM port option).
// It touches no socket, so tests cover it directly.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kOptionBinary = 0;
inline constexpr std::uint8_t kOptionSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptionComPort = 44;

// Appends data with each 0xFF doubled, as data must travel.
void AppendEscaped(std::string& out, const void* data, std::size_t size);

// A command received: WILL/WONT/DO/DONT with its option, a subnegotiation (verb kSb, its option
// and the payload with doubled IACs undone), or a lone command (NOP, GA...: verb only).
struct Command {
    std::uint8_t verb = 0;
    std::uint8_t option = 0;
    std::string payload;
};

class CDecoder {
public:
    // Appends the data bytes of `in` to data and the commands completed in it to commands.
    void Feed(const void* in, std::size_t size, std::string& data, std::vector<Command>& commands);
    // True while a command is cut in two: its first part has come, the rest not yet.
    bool InsideCommand() const { return m_state != State::Data; }

private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    Command m_sub;
};

// Which options each side runs, by the rules that keep two peers from answering each other for
// ever: an answer is sent only when a state changes, never to confirm a state already held.
class CNegotiation {
public:
    // The requests that open the session: WILL and DO BINARY, WILL and DO SUPPRESS-GO-AHEAD,
    // WILL COM-PORT-OPTION.
    std::string Start();
    // The reply to a received WILL/WONT/DO/DONT (empty when none is due); other commands
    // get none.
    std::string Answer(const Command& command);

    // This side runs the option (the server said DO).
    bool Local(std::uint8_t option) const { return m_local[option] == State::Yes; }
    // The server runs the option (it said WILL).
    bool Remote(std::uint8_t option) const { return m_remote[option] == State::Yes; }
    // Our request for the option on this side has been answered, either way.
    bool LocalSettled(std::uint8_t option) const { return m_local[option] != State::WantYes; }

private:
    enum class State : std::uint8_t { No, Yes, WantYes };
    static bool WantLocal(std::uint8_t option);
    static bool WantRemote(std::uint8_t option);
    std::array<State, 256> m_local{};
    std::array<State, 256> m_remote{};
};

}  // namespace telnet
