#pragma once
// The receive rules of the terminal: how received bytes become terminal text.
//
// Bytes are taken in passes of at most kPassInputLimit input bytes. Within a pass BEL beeps and
// vanishes, BS erases the last character of the terminal, a CR not followed by LF gets one, an
// LF not preceded by CR (or first in its pass) gets one before it. Each pass is appended to the
// terminal with one insertion and handed whole to the capture sink. NUL bytes are not shown but
// reach the capture. No state is kept from one call to the next. Qt-free.

class ITerminalText {
public:
    virtual ~ITerminalText() = default;
    // Appends bytes at the end of the terminal text, one byte one character (ISO 8859-1). The
    // text holds at most kTerminalTextLimit characters; what does not fit is dropped.
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

class CReceiveRules {
public:
    // Applies the rules to one received message. capture may be null (no main window).
    static void Process(const unsigned char* bytes, int count, ITerminalText& text,
                        ICaptureSink* capture);

private:
    static void Show(const unsigned char* pass, int n, ITerminalText& text);
    static void FlushPass(const unsigned char* pass, int n, ITerminalText& text,
                          ICaptureSink* capture);
};
