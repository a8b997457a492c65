#pragma once
// The receive rules of the terminal: how received bytes become terminal text.
//
// Every line end shows as CR LF: a CR gets its LF at once, and an LF that completes a CR
// already shown adds nothing; any other LF shows as CR LF. The rules remember across calls
// whether the last byte handled was such a CR, so a CR LF pair reads the same whether it
// arrived in one message or was split between two (a board at line speed delivers a byte or
// two at a time). BEL beeps and vanishes, BS erases the last character of the terminal, NUL
// is not shown but reaches the capture.
//
// Escape handling (off by default; the window's View > ANSI Colours, always in term): escape
// sequences are consumed, never shown, and what they ask for is handed to the terminal in its
// place among the text: the character style (CSI m), erase in line (CSI K) and cursor to column
// (CSI G), a window title (OSC 0 and 2), and the sequence itself for a terminal that passes it
// on. CR, LF, BS and BEL keep their rules, with one exception that makes a status line that the
// board rewrites in place show its last state: a CR right before an erase-in-line or cursor-to-
// column sequence (the "CR ESC[K" idiom) takes back the line end it showed and returns to the
// start of that line, and a CR right after one ("ESC[2K CR") is a return to the start of the
// line, not a line end. The parser's state lives here, so a sequence split between messages is
// handled as if it came whole; BEL and the sequences act in their place in the text.
//
// Bytes are taken in passes of at most kPassInputLimit buffer bytes. Each pass is appended to
// the terminal with one insertion and handed whole to the capture sink, so the capture holds
// every character as it was shown, whatever the batching. Qt-free.

#include <chrono>
#include <functional>
#include <string>

#include "terminal/EscapeParser.h"
#include "terminal/EscapeStyle.h"

class ITerminalText {
public:
    virtual ~ITerminalText() = default;
    // Appends bytes at the end of the terminal text, one byte one character (ISO 8859-1). The
    // text holds at most kTerminalTextLimit characters; when it is full, its oldest lines go.
    virtual void AppendText(const unsigned char* bytes, int count) = 0;
    // Removes the last character of the terminal text, if there is one.
    virtual void DeleteLastChar() = 0;
    // The simple beep of a received BEL.
    virtual void Beep() = 0;

    // Escape handling on. The style of the text appended from now on.
    virtual void SetTextStyle(const CTextStyle&) {}
    // A return to the start of the current line, whose first column is firstColumn (past a
    // time stamp): the text appended next overwrites the line from there. takeBackLineEnd: the
    // line end just shown for a CR goes again, and the line it ended is the current line.
    virtual void CarriageReturn(int firstColumn, bool takeBackLineEnd) {
        (void)firstColumn, (void)takeBackLineEnd;
    }
    // The text appended next overwrites the current line from column (0-based; past its end,
    // the gap is blank).
    virtual void MoveToColumn(int) {}
    // Erase in line: 0 from the cursor to the end, 1 from the first column to the cursor, 2 the
    // whole line; the columns before firstColumn stay. The cursor does not move.
    virtual void EraseInLine(int mode, int firstColumn) { (void)mode, (void)firstColumn; }
    // Every escape sequence, complete, in its place (after what the rules made of it above).
    virtual void EscapeSequence(const CEscapeSequence&) {}
};

// Receives every byte the terminal appended, pass by pass (a later capture writer).
class ICaptureSink {
public:
    virtual ~ICaptureSink() = default;
    virtual void CaptureText(const unsigned char* bytes, int count) = 0;
    // What else the terminal did to its current line, so the capture can hold what is shown.
    // A BS erased the last character shown.
    virtual void CaptureBackspace() {}
    // Escape handling on: as ITerminalText, with the capture's own first column.
    virtual void CaptureCarriageReturn(int firstColumn, bool takeBackLineEnd) {
        (void)firstColumn, (void)takeBackLineEnd;
    }
    virtual void CaptureMoveToColumn(int) {}
    virtual void CaptureEraseInLine(int mode, int firstColumn) { (void)mode, (void)firstColumn; }
    // The bytes of an escape sequence as received (complete or given up), in their place.
    virtual void CaptureSequence(const unsigned char* bytes, int count) { (void)bytes, (void)count; }
    // Escape handling on: the line end of the CR about to be captured may still be taken back
    // (held), and the LF that completed such a CR settles it.
    virtual void CaptureHoldLineEnd() {}
    virtual void CaptureLineEndSettled() {}
    // No data for a while: a capture that holds its current line back writes it now.
    virtual void CaptureQuiet() {}
};

inline constexpr int kPassInputLimit = 1021;
inline constexpr int kPassBufferSize = 1024;
inline constexpr int kTerminalTextLimit = 0xFFFFFF;  // 16,777,215 characters

// "[hh:mm:ss.mmm] ": the local time a line's first byte arrived.
inline constexpr int kTimeStampLength = 15;
std::string FormatTimeStamp(std::chrono::system_clock::time_point when);

class CReceiveRules {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // Time stamps: off by default. shown: each line starts with the time of its first byte;
    // captured: the stamps go into the capture too. now gives the time (the system clock when
    // empty).
    void SetTimeStamps(bool shown, bool captured, Clock now = {}) {
        m_stampShown = shown;
        m_stampCaptured = shown && captured;
        m_now = std::move(now);
    }
    bool TimeStampsShown() const { return m_stampShown; }

    // Escape handling on or off; off, an ESC is a character like any other (as it always was).
    void SetEscapes(bool on) {
        if (on != m_escapes) m_parser.Reset();
        m_escapes = on;
        m_style = CTextStyle{};
    }
    bool EscapesOn() const { return m_escapes; }

    // Applies the rules to one received message. capture may be null (no main window).
    void Process(const unsigned char* bytes, int count, ITerminalText& text,
                 ICaptureSink* capture);
    // Forgets the last byte: the terminal was emptied or a new connection begins.
    void Reset() {
        m_afterShownCr = false;
        m_atLineStart = true;
        m_crBeforeSequence = false;
        m_afterLineEdit = false;
        m_parser.Reset();
        m_style = CTextStyle{};
    }

private:
    static void Show(const unsigned char* pass, int n, ITerminalText& text);
    static void FlushPass(const unsigned char* pass, int n, ITerminalText& text,
                          ICaptureSink* capture);

    // Puts the line's time stamp into the pass, or shows it alone when it is not captured.
    void StampLine(unsigned char* pass, int& n, ITerminalText& text, ICaptureSink* capture);

    // Flushes the pass and acts on a complete sequence.
    void Act(const CEscapeSequence& seq, unsigned char* pass, int& n, ITerminalText& text,
             ICaptureSink* capture);
    void ReturnToLineStart(bool takeBack, ITerminalText& text, ICaptureSink* capture);
    int ShownFirstColumn() const { return m_stampShown ? kTimeStampLength : 0; }
    int CapturedFirstColumn() const { return m_stampCaptured ? kTimeStampLength : 0; }

    // The last byte handled was a CR, already shown as CR LF: an LF now completes it.
    bool m_afterShownCr = false;
    // The next byte shown starts a line (for its time stamp).
    bool m_atLineStart = true;
    bool m_escapes = false;
    CEscapeParser m_parser;
    CTextStyle m_style;
    // The sequence being read began right after a CR shown as CR LF.
    bool m_crBeforeSequence = false;
    // The last thing handled was an erase-in-line or cursor-to-column sequence.
    bool m_afterLineEdit = false;
    bool m_stampShown = false;
    bool m_stampCaptured = false;
    Clock m_now;
};
