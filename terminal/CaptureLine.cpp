#include "CaptureLine.h"

#include <algorithm>

namespace {
constexpr char kText = 't';
constexpr char kControl = 'c';
}  // namespace

void CCaptureLine::StartNextLine() {
    m_ready += m_line;
    m_line.clear();
    m_kinds.clear();
    m_ended = false;
    m_column = -1;
    m_written = 0;
}

std::string CCaptureLine::TakeReady() {
    std::string out;
    out.swap(m_ready);
    return out;
}

std::string CCaptureLine::TakeAll() {
    std::string out = TakeReady() + m_line;
    m_line.clear();
    if (m_ended) {
        m_written = 0;
        m_column = -1;
    } else {
        m_written += static_cast<int>(std::count(m_kinds.begin(), m_kinds.end(), kText));
    }
    m_kinds.clear();
    m_ended = false;
    return out;
}

void CCaptureLine::Put(char c) {
    // A CR that returned to the line start and then proved a line end (CR LF) is one line end.
    if (c == '\r' && !m_kinds.empty() && m_kinds.back() == kControl && m_line.back() == '\r') {
        m_line.pop_back();
        m_kinds.pop_back();
    }
    if (c == '\r' || c == '\n') {
        // The line end goes after the line's text, wherever the cursor was.
        m_line += c;
        m_kinds += kText;
        m_column = -1;
        if (c == '\n') {
            m_ended = true;
            if (!m_holdEnd) StartNextLine();
            m_holdEnd = false;
        }
        return;
    }
    if (m_column >= 0) {
        int at = IndexOf(m_column);
        if (at < 0) {
            // A rewrite of what is written already: the new state goes on a line of its own.
            m_ready += m_line;
            m_ready += "\r\n";
            m_line.clear();
            m_kinds.clear();
            m_written = 0;
            at = m_column;
        }
        if (at < static_cast<int>(m_line.size())) {
            m_line[at] = c;
        } else {
            m_line.append(at - m_line.size(), ' ');
            m_kinds.append(at - m_kinds.size(), kText);
            m_line += c;
            m_kinds += kText;
        }
        ++m_column;
        if (m_column - m_written >= static_cast<int>(m_line.size())) m_column = -1;
        return;
    }
    m_line += c;
    m_kinds += kText;
}

void CCaptureLine::Append(const unsigned char* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        if (m_ended) StartNextLine();
        Put(static_cast<char>(bytes[i]));
    }
    if (m_line.size() > kHoldLimit) m_ready += TakeAll();
}

void CCaptureLine::Backspace() {
    // As the terminal: the last character shown goes, a line end with it; kept sequence bytes
    // after it stay.
    if (m_ended && m_line.size() >= 2) {
        m_line.resize(m_line.size() - 2);
        m_kinds.resize(m_kinds.size() - 2);
        m_ended = false;
        return;
    }
    const size_t at = m_kinds.find_last_of(kText);
    if (at == std::string::npos) return;
    m_line.erase(at, 1);
    m_kinds.erase(at, 1);
    if (m_column >= 0 && m_column - m_written >= static_cast<int>(m_line.size())) m_column = -1;
}

void CCaptureLine::Sequence(const unsigned char* bytes, int count) {
    if (!m_keepSequences || count <= 0) return;
    if (m_ended) StartNextLine();
    m_line.append(reinterpret_cast<const char*>(bytes), count);
    m_kinds.append(count, kControl);
}

void CCaptureLine::CarriageReturn(int firstColumn, bool takeBackLineEnd) {
    if (takeBackLineEnd && m_ended && m_line.size() >= 2) {
        m_line.resize(m_line.size() - 2);
        m_kinds.resize(m_kinds.size() - 2);
        m_ended = false;
    }
    if (m_keepSequences) {
        if (m_ended) StartNextLine();
        m_line += '\r';
        m_kinds += kControl;
        return;
    }
    m_column = firstColumn;
}

void CCaptureLine::MoveToColumn(int column) {
    if (!m_keepSequences) m_column = std::max(0, column);
}

void CCaptureLine::EraseInLine(int mode, int firstColumn) {
    if (m_keepSequences || m_ended) return;
    const int length = m_written + static_cast<int>(m_line.size());
    const int cursor = m_column >= 0 ? m_column : length;
    const int first = std::max(firstColumn, m_written);
    auto truncateAt = [&](int column) {
        if (column - m_written < static_cast<int>(m_line.size())) {
            m_line.resize(std::max(0, column - m_written));
            m_kinds.resize(m_line.size());
        }
    };
    if (mode == 0) {
        truncateAt(std::max(cursor, m_written));
    } else if (mode == 1) {
        for (int c = first; c <= cursor && c - m_written < static_cast<int>(m_line.size()); ++c)
            m_line[c - m_written] = ' ';
    } else {
        truncateAt(first);
    }
    // The cursor stays where it was; past the end, the text that follows leaves a gap.
    if (cursor < m_written + static_cast<int>(m_line.size()) || m_column >= 0 || mode != 0)
        m_column = cursor;
}
