#include "PromptSpotter.h"

bool CPromptSpotter::Feed(unsigned char byte) {
    if (m_seen) return true;
    if (byte == '\r' || byte == '\n') {
        m_column = 0;
        m_afterGt = m_afterSpace = false;
        return false;
    }
    if (m_afterGt) {
        if (byte == ' ' && !m_afterSpace) {
            m_afterSpace = true;
            return false;
        }
        // The line goes on after the prompt: the board printed on while waiting for input.
        m_seen = true;
        return true;
    }
    ++m_column;
    m_afterGt = byte == '>' && m_column <= kMostLead + 1;
    return false;
}
