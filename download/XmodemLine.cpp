#include "XmodemLine.h"

#include <algorithm>
#include <chrono>

#include "TransferContext.h"
#include "Xmodem.h"

namespace {

constexpr int kSliceMs = 10;  // how often a wait looks at the Cancel button

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void SetXmodemLineFormat(const CTransferContext& ctx) {
    const CLineSettings line = TranslateLineSettings(ctx.settings);
    ctx.port.SetLineFormat(kParityNone, 8, line.stopBitCode);
    ctx.port.SetFlowControl(line.flowFlags & ~kFlowXonXoff, 100, 100, kXonChar, kXoffChar);
}

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CXmodemLine::CXmodemLine(CCommPort& port, IProgressWindow& progress, DWORD baud,
                         std::function<bool()> stop)
    : m_port(port), m_progress(progress), m_stop(std::move(stop)) {
    // Ten bits a character; twice that time, at least a millisecond.
    m_perByteMs = baud > 0 ? static_cast<int>(std::max<DWORD>(1, 20000 / baud)) : 10;
    m_port.SetWriteTimeouts(static_cast<DWORD>(m_perByteMs), 2000);
}

CXmodemLine::Got CXmodemLine::ReadByte(int timeoutMs, std::uint8_t& byte) {
    const std::int64_t deadline = NowMs() + std::max(timeoutMs, 0);
    for (;;) {
        const std::int64_t left = deadline - NowMs();
        const int slice = static_cast<int>(std::clamp<std::int64_t>(left, 1, kSliceMs));
        m_port.SetReadTimeouts(0, 0, static_cast<DWORD>(slice));
        if (m_port.Read(&byte, 1, true) == 1)
            return Got::Byte;
        if (Lost())
            return Got::Lost;
        m_progress.SetPos(m_pos);  // handles the window's input
        if (CancelRequested())
            return Got::UserCancel;
        if (NowMs() >= deadline)
            return Got::TimedOut;
    }
}

int CXmodemLine::ReadBytes(std::uint8_t* buffer, int count, int gapMs) {
    // The gap bounds the wait between bytes; the slices let a cancel end the wait.
    int got = 0;
    std::int64_t lastByte = NowMs();
    while (got < count && !Lost() && !CancelRequested()) {
        m_port.SetReadTimeouts(0, 0, kSliceMs);
        const int n = m_port.Read(buffer + got, count - got, true);
        if (n > 0) {
            got += n;
            lastByte = NowMs();
        } else if (NowMs() - lastByte >= gapMs) {
            break;
        }
    }
    return got;
}

bool CXmodemLine::SecondCancelFollows() {
    std::uint8_t next = 0;
    return ReadByte(1000, next) == Got::Byte && next == kXmodemCan;
}

void CXmodemLine::DrainUntilQuiet(int quietMs, int limitMs) {
    const std::int64_t end = NowMs() + limitMs;
    std::int64_t lastByte = NowMs();
    std::uint8_t buffer[256];
    while (NowMs() < end && !Lost() && !CancelRequested()) {
        m_port.SetReadTimeouts(0, 0, kSliceMs);
        if (m_port.Read(buffer, 1, true) == 1) {
            DiscardQueued();
            lastByte = NowMs();
        } else if (NowMs() - lastByte >= quietMs) {
            return;
        }
    }
}

void CXmodemLine::DiscardQueued() {
    std::uint8_t buffer[256];
    while (m_port.Read(buffer, sizeof buffer, false) > 0) {
    }
}

bool CXmodemLine::Send(const std::uint8_t* bytes, int count) {
    return m_port.Write(bytes, count) == count;
}

void CXmodemLine::SendCancel() {
    const std::uint8_t cancel[] = {kXmodemCan, kXmodemCan};
    Send(cancel, sizeof cancel);
}

void CXmodemLine::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
    m_progress.SetRange(lower, upper);
    m_progress.SetStep(1);
    SetPos(lower);
}

void CXmodemLine::SetPos(int position) {
    m_pos = position;
    m_progress.SetPos(position);
}

void CXmodemLine::StepIt() {
    m_pos = m_pos + 1 > m_upper ? m_lower : m_pos + 1;
    m_progress.StepIt();
}
