#include "EscapeParser.h"

#include <algorithm>

namespace {
constexpr unsigned char kBel = 0x07;
constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kCan = 0x18;
constexpr unsigned char kSub = 0x1A;
constexpr unsigned char kDel = 0x7F;
constexpr long kParamLimit = 65535;
}  // namespace

bool CEscapeSequence::IsTitle() const {
    return kind == Kind::String && introducer == ']' &&
           (text.rfind("0;", 0) == 0 || text.rfind("2;", 0) == 0);
}

std::string CEscapeSequence::Title() const { return IsTitle() ? text.substr(2) : std::string(); }

void CEscapeParser::Reset() {
    m_state = State::Ground;
    m_seq = CEscapeSequence{};
    m_abandoned.clear();
}

void CEscapeParser::Begin() {
    m_seq = CEscapeSequence{};
    m_seq.bytes.assign(1, static_cast<char>(kEsc));
    m_state = State::Escape;
    m_inParams = true;
    m_current = -1;
}

void CEscapeParser::GiveUp() {
    m_abandoned += m_seq.bytes;
    m_seq = CEscapeSequence{};
    m_state = State::Ground;
}

CEscapeParser::Step CEscapeParser::Finish() {
    m_state = State::Ground;
    return Step::Complete;
}

CEscapeParser::Step CEscapeParser::Feed(unsigned char b) {
    m_abandoned.clear();
    if (m_state == State::Ground) {
        if (b != kEsc) return Step::Text;
        Begin();
        return Step::Taken;
    }
    if (m_state == State::StringEscape) {
        // ESC \ ends a string; any other ESC pair ends it too, and that pair starts anew.
        if (b == '\\') {
            m_seq.bytes += static_cast<char>(b);
            return Finish();
        }
        m_seq.bytes.pop_back();
        const std::string ended = m_seq.bytes;  // unterminated: given up; the ESC goes on
        Begin();
        const Step step = Feed(b);
        m_abandoned = ended + m_abandoned;
        return step;
    }
    if (b == kEsc && m_state == State::String) {
        m_seq.bytes += static_cast<char>(b);
        m_state = State::StringEscape;
        return Step::Taken;
    }
    if (b == kEsc) {
        GiveUp();
        const std::string given = m_abandoned;
        Begin();
        m_abandoned = given;
        return Step::Taken;
    }
    if (b == kCan || b == kSub) {  // cancel: the sequence ends unfinished, the byte with it
        m_seq.bytes += static_cast<char>(b);
        GiveUp();
        return Step::Taken;
    }
    if (m_state == State::String) {
        if (b == kBel) {
            m_seq.bytes += static_cast<char>(b);
            return Finish();
        }
        if (b < 0x20 && b != kEsc) {
            GiveUp();
            return Step::Text;
        }
        m_seq.bytes += static_cast<char>(b);
        if (m_seq.bytes.size() > kMaxStringLength) {
            GiveUp();
            return Step::Taken;
        }
        m_seq.text += static_cast<char>(b);
        return Step::Taken;
    }
    // Escape and Csi: a control character or a high byte ends the sequence and is text again.
    if (b < 0x20 || b >= 0x80) {
        GiveUp();
        return Step::Text;
    }
    if (b == kDel) return Step::Taken;  // ignored inside a sequence
    m_seq.bytes += static_cast<char>(b);
    if (m_seq.bytes.size() > kMaxControlLength) {
        GiveUp();
        return Step::Taken;
    }
    if (m_state == State::Escape) {
        if (b >= 0x20 && b <= 0x2F) {
            m_seq.intermediates = true;
            return Step::Taken;
        }
        if (!m_seq.intermediates) {
            if (b == '[') {
                m_seq.kind = CEscapeSequence::Kind::Csi;
                m_state = State::Csi;
                return Step::Taken;
            }
            if (b == ']' || b == 'P' || b == 'X' || b == '^' || b == '_') {
                m_seq.kind = CEscapeSequence::Kind::String;
                m_seq.introducer = static_cast<char>(b);
                m_state = State::String;
                return Step::Taken;
            }
        }
        m_seq.kind = CEscapeSequence::Kind::Short;
        m_seq.final = static_cast<char>(b);
        return Finish();
    }
    // Csi: parameters 0x30-0x3F, then intermediates 0x20-0x2F, then the final 0x40-0x7E.
    if (b >= 0x30 && b <= 0x3F && m_inParams && !m_seq.intermediates) {
        if (b >= '0' && b <= '9') {
            m_current = m_current < 0 ? 0 : m_current;
            m_current = std::min(kParamLimit, m_current * 10 + (b - '0'));
        } else if (b == ';' || b == ':') {
            m_seq.params.push_back(static_cast<int>(m_current));
            m_current = -1;
        } else if (m_seq.bytes.size() == 3 && m_seq.params.empty() && m_current < 0) {
            m_seq.marker = static_cast<char>(b);  // '<' '=' '>' '?' first
        }
        return Step::Taken;
    }
    if (b >= 0x20 && b <= 0x2F) {
        m_seq.intermediates = true;
        return Step::Taken;
    }
    if (b >= 0x40 && b <= 0x7E) {
        if (m_current >= 0 || !m_seq.params.empty()) m_seq.params.push_back(static_cast<int>(m_current));
        m_seq.final = static_cast<char>(b);
        return Finish();
    }
    // A parameter byte after an intermediate: malformed, taken until the final byte.
    m_inParams = false;
    return Step::Taken;
}
