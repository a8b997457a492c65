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
// Bytes are taken in passes of at most kPassInputLimit buffer bytes. Each pass is appended to
// the terminal with one insertion and handed whole to the capture sink, so the capture holds
// every character as it was shown, whatever the batching. Qt-free.

#include <chrono>
#include <functional>
#include <string>

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
};

// Receives every byte the terminal appended, pass by pass (a later capture writer).
class ICaptureSink {
public:
    virtual ~ICaptureSink() = default;
    virtual void CaptureText(const unsigned char* bytes, int count) = 0;
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

    // Applies the rules to one received message. capture may be null (no main window).
    void Process(const unsigned char* bytes, int count, ITerminalText& text,
                 ICaptureSink* capture);
    // Forgets the last byte: the terminal was emptied or a new connection begins.
    void Reset() {
        m_afterShownCr = false;
        m_atLineStart = true;
    }

private:
    static void Show(const unsigned char* pass, int n, ITerminalText& text);
    static void FlushPass(const unsigned char* pass, int n, ITerminalText& text,
                          ICaptureSink* capture);

    // Puts the line's time stamp into the pass, or shows it alone when it is not captured.
    void StampLine(unsigned char* pass, int& n, ITerminalText& text, ICaptureSink* capture);

    // The last byte handled was a CR, already shown as CR LF: an LF now completes it.
    bool m_afterShownCr = false;
    // The next byte shown starts a line (for its time stamp).
    bool m_atLineStart = true;
    bool m_stampShown = false;
    bool m_stampCaptured = false;
    Clock m_now;
};
