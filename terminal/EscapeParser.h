#pragma once
// Escape sequences in the received bytes, recognised a byte at a time so that a sequence split
// between received messages reads as if it came whole. Qt-free.
//
// Recognised: CSI (ESC [ parameters, intermediates, a final byte), OSC and the other string
// sequences (ESC ] ... ended by BEL or ESC \; ESC P, ESC X, ESC ^ and ESC _ the same way), and
// the short ESC sequences (ESC, intermediates, a final byte: ESC ( B, ESC 7, ESC M). A sequence
// the board garbles must not swallow its output: a control character other than ESC inside a
// CSI or ESC sequence, or other than BEL inside a string, ends the unfinished sequence and is
// itself text again, and a sequence longer than its bound is given up. ESC inside a sequence
// gives the unfinished one up and starts a new one. Bytes of 0x80 and above are text (ISO
// 8859-1), never eight-bit controls.

#include <string>
#include <vector>

struct CEscapeSequence {
    enum class Kind { Csi, String, Short };
    Kind kind = Kind::Short;
    std::string bytes;  // the whole sequence as received, ESC first
    // Csi: the private marker ('?', '>', '=', '<' before the parameters; 0 if none), whether
    // intermediates came, the parameters (-1 for an empty one) and the final byte.
    // Short: the final byte. String: the introducer (']' for OSC) and the text up to the end.
    char marker = 0;
    bool intermediates = false;
    std::vector<int> params;
    char final = 0;
    char introducer = 0;
    std::string text;

    // Parameter i, or fallback when it is missing, empty or 0 (the usual default of 1).
    int Param(size_t i, int fallback) const {
        return i < params.size() && params[i] > 0 ? params[i] : fallback;
    }
    // Parameter i as given, 0 when missing or empty.
    int RawParam(size_t i) const { return i < params.size() && params[i] > 0 ? params[i] : 0; }
    // An OSC that names the window: "0;title" or "2;title".
    bool IsTitle() const;
    std::string Title() const;
};

class CEscapeParser {
public:
    enum class Step {
        Text,      // the byte is not part of a sequence
        Taken,     // the byte is part of a sequence that goes on (or was given up)
        Complete,  // the byte ended the sequence in Sequence()
    };

    // Longest CSI or short sequence, and longest string sequence, before they are given up.
    static constexpr size_t kMaxControlLength = 64;
    static constexpr size_t kMaxStringLength = 1024;

    Step Feed(unsigned char b);
    // The sequence the last Complete step ended.
    const CEscapeSequence& Sequence() const { return m_seq; }
    // The bytes of a sequence given up by the last Feed, not counting the byte fed unless it
    // was taken: shown nowhere, but part of what was received.
    const std::string& Abandoned() const { return m_abandoned; }
    bool InSequence() const { return m_state != State::Ground; }
    void Reset();

private:
    enum class State { Ground, Escape, Csi, String, StringEscape };

    void Begin();
    void GiveUp();
    Step Finish();

    State m_state = State::Ground;
    CEscapeSequence m_seq;
    std::string m_abandoned;
    bool m_inParams = true;
    long m_current = -1;  // the parameter being read; -1 while empty
};
