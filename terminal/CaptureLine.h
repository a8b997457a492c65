#pragma once
// The capture's current line, held back until it is complete so that what the terminal does to
// its current line (a BS that erased a character, and with escape handling on a return to the
// line's start, an erase in line, a move to a column) is done to the capture too, and the file
// holds what the terminal showed. Qt-free.
//
// A line is ready once it ends, but a line ended by a CR that the terminal may still take back
// (HoldNextLineEnd) is held until the next byte settles it. The owner writes whatever is held when the capture
// pauses or stops and after a second of quiet; a line longer than kHoldLimit is written in
// pieces. What was written cannot be changed: a BS or an erase that reaches back into it leaves
// it, and a stripped line rewritten from a column already written starts a new line instead.
//
// Two ways with escape sequences: kept, the sequences' bytes are held in their places and the
// line edits they asked for are not made (the bytes say it), a return to the line start is a
// bare CR; stripped, no sequence byte is kept and the line edits are made, so the text is what
// the terminal shows.

#include <string>

class CCaptureLine {
public:
    static constexpr size_t kHoldLimit = 4096;

    explicit CCaptureLine(bool keepSequences = true) : m_keepSequences(keepSequences) {}

    // Appends shown text (line ends are CR LF).
    void Append(const unsigned char* bytes, int count);
    // The next line end is held with its line: a CR before an erase may take it back.
    void HoldNextLineEnd() { m_holdEnd = true; }
    // The line end held is final: the line is ready.
    void SettleLineEnd() {
        if (m_ended) StartNextLine();
    }
    void Backspace();
    void Sequence(const unsigned char* bytes, int count);
    void CarriageReturn(int firstColumn, bool takeBackLineEnd);
    void MoveToColumn(int column);
    void EraseInLine(int mode, int firstColumn);
    // What is ready to be written: the lines before the current one.
    std::string TakeReady();
    // What is ready, and the held line too when it has ended.
    std::string TakeComplete() { return m_ended ? TakeAll() : TakeReady(); }
    // Everything, held or ready, to be written now.
    std::string TakeAll();
    bool Empty() const { return m_line.empty(); }

private:
    // The line ended is ready; a new one begins.
    void StartNextLine();
    void Put(char c);
    // Index into m_line of a column of the line, or -1 when the column was written already.
    int IndexOf(int column) const { return column < m_written ? -1 : column - m_written; }

    bool m_keepSequences;
    std::string m_ready;  // complete lines, to be written
    std::string m_line;   // the held part of the current line
    std::string m_kinds;  // per byte of m_line: 't' text, 'c' a control kept (sequence, CR)
    bool m_ended = false;  // m_line ends with its CR LF
    bool m_holdEnd = false;
    int m_column = -1;     // stripped: the column the next text goes to; -1 the line's end
    int m_written = 0;     // columns of the current line written already
};
