#pragma once
// The keys of `term`: what the shell's terminal sends for each key, turned into what the
// window's keyboard sends for it, and the escape key's commands.
//
// As in the window: printable characters go as themselves (ISO 8859-1; a character beyond it
// as '?'), Enter as CR, Backspace as BS (a terminal sends DEL for it), Tab, and Ctrl with a
// letter or one of @ [ \ ] ^ _ as its control code. Keys the window sends nothing for send
// nothing here either: arrows, Home, End, Delete, function keys (the terminal's escape
// sequences), and Alt with a key (ESC then the key). An ESC alone is Ctrl-[ and goes as 0x1B.
//
// Ctrl-] starts a command: the next key is handed over as a command (q, b, l, ?), except a
// second Ctrl-], which sends one Ctrl-]. Qt-free and free of any device, for its tests.

#include <cstddef>
#include <vector>

namespace tarvoline::cli {

inline constexpr unsigned char kEscapeKey = 0x1D;  // Ctrl-]

struct KeyAction {
    enum Kind { Send, Command } kind;
    int value;  // the byte to send, or the command key
    bool operator==(const KeyAction&) const = default;
};

class CKeyTranslator {
public:
    // utf8: the terminal sends UTF-8 (the user's locale); otherwise one byte a character.
    explicit CKeyTranslator(bool utf8) : m_utf8(utf8) {}

    std::vector<KeyAction> Feed(const unsigned char* bytes, size_t count);
    // Nothing more came for a moment: an ESC alone is Ctrl-[, an unfinished escape sequence
    // is dropped, an unfinished character goes as the bytes it has.
    std::vector<KeyAction> Idle();
    // Bytes are held that Idle() would settle.
    bool Pending() const { return m_state == State::Escape || m_state == State::Sequence ||
                                  m_state == State::Ss3 || m_state == State::Utf8; }

private:
    enum class State { Normal, Escape, Sequence, Ss3, Command, Utf8 };
    void Take(unsigned char b, std::vector<KeyAction>& out);
    void TakeNormal(unsigned char b, std::vector<KeyAction>& out);
    void FlushUtf8(std::vector<KeyAction>& out);

    bool m_utf8;
    State m_state = State::Normal;
    unsigned char m_pending[4] = {};
    int m_have = 0, m_need = 0;
};

}  // namespace tarvoline::cli
