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
// ESC and the sequences it starts are read by CEscapeParser.
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
            bool lineReturn = false;  // a CR that returns to the line start, not a line end
            if (m_escapes) {
                const bool began = !m_parser.InSequence();
                const CEscapeParser::Step step = m_parser.Feed(b);
                if (!m_parser.Abandoned().empty() && capture) {
                    if (n > 0) FlushPass(pass, n, text, capture);
                    n = 0;
                    const std::string& given = m_parser.Abandoned();
                    capture->CaptureSequence(reinterpret_cast<const unsigned char*>(given.data()),
                                             static_cast<int>(given.size()));
                }
                if (step == CEscapeParser::Step::Taken) {
                    if (began) m_crBeforeSequence = m_afterShownCr;
                    m_afterShownCr = false;
                    m_afterLineEdit = false;
                    continue;
                }
                if (step == CEscapeParser::Step::Complete) {
                    Act(m_parser.Sequence(), pass, n, text, capture);
                    continue;
                }
                lineReturn = b == kCr && m_afterLineEdit;
                m_crBeforeSequence = false;
                m_afterLineEdit = false;
            }
            const bool afterShownCr = m_afterShownCr;
            m_afterShownCr = false;
            if (lineReturn) {
                if (n > 0) FlushPass(pass, n, text, capture);
                n = 0;
                ReturnToLineStart(false, text, capture);
                continue;
            }
            const bool shows = b != kBel && b != kBs && !(b == kLf && afterShownCr);
            if (shows && m_atLineStart && m_stampShown) StampLine(pass, n, text, capture);
            if (shows) m_atLineStart = false;
            switch (b) {
                case kBel:
                    // With escape handling on, in its place: a terminal that passes the text on
                    // (term) rings it after the text before it.
                    if (m_escapes && n > 0) {
                        FlushPass(pass, n, text, capture);
                        n = 0;
                    }
                    text.Beep();
                    break;
                case kBs:
                    if (n > 0) FlushPass(pass, n, text, capture);
                    text.DeleteLastChar();
                    if (capture) capture->CaptureBackspace();
                    n = 0;
                    break;
                case kLf:
                    if (afterShownCr && m_escapes && capture) {
                        if (n > 0) FlushPass(pass, n, text, capture);
                        n = 0;
                        capture->CaptureLineEndSettled();
                    }
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
                    if (m_escapes && capture) {
                        capture->CaptureHoldLineEnd();
                        FlushPass(pass, n, text, capture);
                        n = 0;
                    }
                    break;
                default:
                    pass[n++] = b;
                    break;
            }
        }
        if (n > 0) FlushPass(pass, n, text, capture);
    }
}

void CReceiveRules::ReturnToLineStart(bool takeBack, ITerminalText& text,
                                      ICaptureSink* capture) {
    text.CarriageReturn(ShownFirstColumn(), takeBack);
    if (capture) capture->CaptureCarriageReturn(CapturedFirstColumn(), takeBack);
    // The line taken back already has its time stamp; a line returned to keeps it.
    if (takeBack) m_atLineStart = false;
}

void CReceiveRules::Act(const CEscapeSequence& seq, unsigned char* pass, int& n,
                        ITerminalText& text, ICaptureSink* capture) {
    const bool crBefore = m_crBeforeSequence;
    m_crBeforeSequence = false;
    m_afterLineEdit = false;
    const bool plainCsi =
        seq.kind == CEscapeSequence::Kind::Csi && seq.marker == 0 && !seq.intermediates;
    const bool lineEdit = plainCsi && (seq.final == 'K' || seq.final == 'G' || seq.final == '`');
    // A line edit on a line not yet started starts it, with its time stamp where it goes.
    if (lineEdit && !crBefore && m_atLineStart && m_stampShown) {
        StampLine(pass, n, text, capture);
        m_atLineStart = false;
    }
    if (n > 0) FlushPass(pass, n, text, capture);
    n = 0;
    if (lineEdit && crBefore) ReturnToLineStart(true, text, capture);
    if (plainCsi && seq.final == 'm') {
        ApplySgr(seq.params, m_style);
        text.SetTextStyle(m_style);
    } else if (lineEdit && seq.final == 'K') {
        const int mode = seq.RawParam(0);
        if (mode <= 2) {
            text.EraseInLine(mode, ShownFirstColumn());
            if (capture) capture->CaptureEraseInLine(mode, CapturedFirstColumn());
        }
    } else if (lineEdit) {
        const int column = seq.Param(0, 1) - 1;
        text.MoveToColumn(ShownFirstColumn() + column);
        if (capture) capture->CaptureMoveToColumn(CapturedFirstColumn() + column);
    }
    m_afterLineEdit = lineEdit;
    text.EscapeSequence(seq);
    if (capture)
        capture->CaptureSequence(reinterpret_cast<const unsigned char*>(seq.bytes.data()),
                                 static_cast<int>(seq.bytes.size()));
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
