#include "ReceiveRules.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {
constexpr unsigned char kBel = 0x07;
constexpr unsigned char kBs = 0x08;
constexpr unsigned char kLf = 0x0A;
constexpr unsigned char kCr = 0x0D;
}  // namespace

std::string FormatTimeStamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const std::time_t seconds = system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
    char text[kTimeStampLength + 1];
    std::snprintf(text, sizeof text, "[%02d:%02d:%02d.%03d] ", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms));
    return text;
}

void CReceiveRules::StampLine(unsigned char* pass, int& n, ITerminalText& text,
                              ICaptureSink* capture) {
    const std::string stamp = FormatTimeStamp(m_now ? m_now() : std::chrono::system_clock::now());
    if (m_stampCaptured) {
        std::memcpy(pass + n, stamp.data(), stamp.size());
        n += static_cast<int>(stamp.size());
        return;
    }
    // Shown only: what came before goes as a pass of its own, the stamp past the capture.
    if (n > 0) FlushPass(pass, n, text, capture);
    n = 0;
    text.AppendText(reinterpret_cast<const unsigned char*>(stamp.data()),
                    static_cast<int>(stamp.size()));
}

void CReceiveRules::Process(const unsigned char* bytes, int count, ITerminalText& text,
                            ICaptureSink* capture) {
    int i = 0;
    while (i < count) {
        // Room for a pass, its one line-end expansion and a time stamp.
        unsigned char pass[kPassBufferSize + kTimeStampLength];
        int n = 0;
        while (i < count && n < kPassInputLimit) {
            const unsigned char b = bytes[i++];
            const bool afterShownCr = m_afterShownCr;
            m_afterShownCr = false;
            const bool shows = b != kBel && b != kBs && !(b == kLf && afterShownCr);
            if (shows && m_atLineStart && m_stampShown) StampLine(pass, n, text, capture);
            if (shows) m_atLineStart = false;
            switch (b) {
                case kBel:
                    text.Beep();
                    break;
                case kBs:
                    if (n > 0) FlushPass(pass, n, text, capture);
                    text.DeleteLastChar();
                    n = 0;
                    break;
                case kLf:
                    if (!afterShownCr) {
                        pass[n++] = kCr;
                        pass[n++] = kLf;
                        m_atLineStart = true;
                    }
                    break;
                case kCr:
                    pass[n++] = kCr;
                    pass[n++] = kLf;
                    m_afterShownCr = true;
                    m_atLineStart = true;
                    break;
                default:
                    pass[n++] = b;
                    break;
            }
        }
        if (n > 0) FlushPass(pass, n, text, capture);
    }
}

void CReceiveRules::Show(const unsigned char* pass, int n, ITerminalText& text) {
    // A NUL shows as nothing; the text after it still shows.
    const unsigned char* end = pass + n;
    const unsigned char* nul = std::find(pass, end, 0);
    if (nul == end) {
        text.AppendText(pass, n);
        return;
    }
    unsigned char visible[kPassBufferSize + kTimeStampLength];
    unsigned char* out = std::remove_copy(pass, end, visible, 0);
    if (out != visible) text.AppendText(visible, static_cast<int>(out - visible));
}

void CReceiveRules::FlushPass(const unsigned char* pass, int n, ITerminalText& text,
                              ICaptureSink* capture) {
    Show(pass, n, text);
    if (capture) capture->CaptureText(pass, n);
}
