#include "ReceiveRules.h"

#include <algorithm>

namespace {
constexpr unsigned char kBel = 0x07;
constexpr unsigned char kBs = 0x08;
constexpr unsigned char kLf = 0x0A;
constexpr unsigned char kCr = 0x0D;
}  // namespace

void CReceiveRules::Process(const unsigned char* bytes, int count, ITerminalText& text,
                            ICaptureSink* capture) {
    int i = 0;
    while (i < count) {
        unsigned char pass[kPassBufferSize];
        int n = 0;
        while (i < count && n < kPassInputLimit) {
            const unsigned char b = bytes[i++];
            const bool afterShownCr = m_afterShownCr;
            m_afterShownCr = false;
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
                    }
                    break;
                case kCr:
                    pass[n++] = kCr;
                    pass[n++] = kLf;
                    m_afterShownCr = true;
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
    unsigned char visible[kPassBufferSize];
    unsigned char* out = std::remove_copy(pass, end, visible, 0);
    if (out != visible) text.AppendText(visible, static_cast<int>(out - visible));
}

void CReceiveRules::FlushPass(const unsigned char* pass, int n, ITerminalText& text,
                              ICaptureSink* capture) {
    Show(pass, n, text);
    if (capture) capture->CaptureText(pass, n);
}
