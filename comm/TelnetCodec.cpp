#include "TelnetCodec.h"

namespace telnet {

namespace {

std::string Verb(std::uint8_t verb, std::uint8_t option) {
    return std::string{char(kIac), char(verb), char(option)};
}

}  // namespace

void AppendEscaped(std::string& out, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    out.reserve(out.size() + size + size / 64);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(char(p[i]));
        if (p[i] == kIac) out.push_back(char(kIac));
    }
}

void CDecoder::Feed(const void* in, std::size_t size, std::string& data,
                    std::vector<Command>& commands) {
    const auto* p = static_cast<const std::uint8_t*>(in);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = p[i];
        switch (m_state) {
            case State::Data:
                if (b == kIac)
                    m_state = State::Iac;
                else
                    data.push_back(char(b));
                break;
            case State::Iac:
                if (b == kIac) {
                    data.push_back(char(kIac));
                    m_state = State::Data;
                } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
                    m_verb = b;
                    m_state = State::Option;
                } else if (b == kSb) {
                    m_sub = Command{kSb, 0, {}};
                    m_verb = kSb;
                    m_state = State::Option;
                } else {
                    commands.push_back(Command{b, 0, {}});
                    m_state = State::Data;
                }
                break;
            case State::Option:
                if (m_verb == kSb) {
                    m_sub.option = b;
                    m_state = State::Sub;
                } else {
                    commands.push_back(Command{m_verb, b, {}});
                    m_state = State::Data;
                }
                break;
            case State::Sub:
                if (b == kIac)
                    m_state = State::SubIac;
                else
                    m_sub.payload.push_back(char(b));
                break;
            case State::SubIac:
                if (b == kIac) {
                    m_sub.payload.push_back(char(kIac));
                    m_state = State::Sub;
                } else {
                    // IAC SE ends it; any other command here ends it too, as peers that
                    // forget the SE are best understood that way.
                    commands.push_back(std::move(m_sub));
                    m_sub = Command{};
                    m_state = State::Data;
                    if (b != kSe) {
                        // The command that cut the subnegotiation short is read as such.
                        const std::uint8_t again[2] = {kIac, b};
                        Feed(again, 2, data, commands);
                    }
                }
                break;
        }
    }
}

bool CNegotiation::WantLocal(std::uint8_t option) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
}

bool CNegotiation::WantRemote(std::uint8_t option) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead;
}

std::string CNegotiation::Start() {
    std::string out;
    for (std::uint8_t option : {kOptionBinary, kOptionSuppressGoAhead, kOptionComPort}) {
        if (m_local[option] == State::No) {
            m_local[option] = State::WantYes;
            out += Verb(kWill, option);
        }
    }
    for (std::uint8_t option : {kOptionBinary, kOptionSuppressGoAhead}) {
        if (m_remote[option] == State::No) {
            m_remote[option] = State::WantYes;
            out += Verb(kDo, option);
        }
    }
    return out;
}

std::string CNegotiation::Answer(const Command& command) {
    const std::uint8_t option = command.option;
    switch (command.verb) {
        case kWill: {
            State& s = m_remote[option];
            if (s == State::WantYes) {
                s = State::Yes;
                return {};
            }
            if (s == State::Yes) return {};
            if (WantRemote(option)) {
                s = State::Yes;
                return Verb(kDo, option);
            }
            return Verb(kDont, option);
        }
        case kWont: {
            State& s = m_remote[option];
            const bool wasYes = s == State::Yes;
            s = State::No;
            return wasYes ? Verb(kDont, option) : std::string();
        }
        case kDo: {
            State& s = m_local[option];
            if (s == State::WantYes) {
                s = State::Yes;
                return {};
            }
            if (s == State::Yes) return {};
            if (WantLocal(option)) {
                s = State::Yes;
                return Verb(kWill, option);
            }
            return Verb(kWont, option);
        }
        case kDont: {
            State& s = m_local[option];
            const bool wasYes = s == State::Yes;
            s = State::No;
            return wasYes ? Verb(kWont, option) : std::string();
        }
        default:
            return {};
    }
}

}  // namespace telnet
