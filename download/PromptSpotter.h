#pragma once
// Finds the monitor's prompt in what a board sends when its line never goes quiet (a board
// that keeps printing at its prompt): a line that starts with a short text ending in '>',
// perhaps followed by a space ("> ", ">", "M8>", "M8> "), and then goes on with other text
// rather than ending. A '>' line that ends (">" CR LF) is printed text, not a prompt waiting
// for input.

class CPromptSpotter {
public:
    // Feeds one received byte; true once a prompt has been seen.
    bool Feed(unsigned char byte);
    bool Seen() const { return m_seen; }

private:
    // The prompt's text before its '>' is at most this long ("M8").
    static constexpr int kMostLead = 3;
    // Bytes since the last line end; unknown (as if deep in a line) until the first line end,
    // so the tail of an earlier prompt is not taken for a new one.
    int m_column = kMostLead + 1;
    bool m_afterGt = false;     // the last byte was a prompt's '>'
    bool m_afterSpace = false;  // ... followed by one space
    bool m_seen = false;
};
