#include "term_keys.h"

namespace tarvoline::cli {

namespace {
constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kDel = 0x7F;
constexpr unsigned char kBs = 0x08;
}  // namespace

std::vector<KeyAction> CKeyTranslator::Feed(const unsigned char* bytes, size_t count) {
    std::vector<KeyAction> out;
    for (size_t i = 0; i < count; ++i) Take(bytes[i], out);
    return out;
}

std::vector<KeyAction> CKeyTranslator::Idle() {
    std::vector<KeyAction> out;
    if (m_state == State::Escape) out.push_back({KeyAction::Send, kEsc});
    if (m_state == State::Utf8) FlushUtf8(out);
    if (m_state != State::Command) m_state = State::Normal;
    return out;
}

void CKeyTranslator::FlushUtf8(std::vector<KeyAction>& out) {
    for (int k = 0; k < m_have; ++k) out.push_back({KeyAction::Send, m_pending[k]});
    m_have = m_need = 0;
}

void CKeyTranslator::Take(unsigned char b, std::vector<KeyAction>& out) {
    switch (m_state) {
        case State::Normal:
            TakeNormal(b, out);
            return;
        case State::Command:
            m_state = State::Normal;
            if (b == kEscapeKey)
                out.push_back({KeyAction::Send, kEscapeKey});
            else
                out.push_back({KeyAction::Command, b});
            return;
        case State::Escape:
            if (b == '[') {
                m_state = State::Sequence;
            } else if (b == 'O') {
                m_state = State::Ss3;
            } else if (b == kEsc) {
                out.push_back({KeyAction::Send, kEsc});  // the first was alone
            } else {
                m_state = State::Normal;  // Alt with a key: the window sends nothing
            }
            return;
        case State::Sequence:
            // Parameters and intermediates run to a final byte; a control byte cuts it short.
            if (b >= 0x40 && b <= 0x7E) {
                m_state = State::Normal;
            } else if (b < 0x20) {
                m_state = State::Normal;
                TakeNormal(b, out);
            }
            return;
        case State::Ss3:
            m_state = State::Normal;
            return;
        case State::Utf8:
            if ((b & 0xC0) != 0x80) {
                FlushUtf8(out);
                m_state = State::Normal;
                TakeNormal(b, out);
                return;
            }
            m_pending[m_have++] = b;
            if (m_have == m_need) {
                int code = m_pending[0] & (0xFF >> (m_need + 1));
                for (int k = 1; k < m_need; ++k) code = (code << 6) | (m_pending[k] & 0x3F);
                out.push_back({KeyAction::Send, code <= 0xFF ? code : '?'});
                m_have = m_need = 0;
                m_state = State::Normal;
            }
            return;
    }
}

void CKeyTranslator::TakeNormal(unsigned char b, std::vector<KeyAction>& out) {
    if (b == kEscapeKey) {
        m_state = State::Command;
    } else if (b == kEsc) {
        m_state = State::Escape;
    } else if (b == kDel) {
        out.push_back({KeyAction::Send, kBs});  // the Backspace key
    } else if (b >= 0x80 && m_utf8 && b >= 0xC2 && b <= 0xF4) {
        m_pending[0] = b;
        m_have = 1;
        m_need = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        m_state = State::Utf8;
    } else {
        out.push_back({KeyAction::Send, b});
    }
}

}  // namespace tarvoline::cli
