#include "XmodemLine.h"

#include <algorithm>
#include <chrono>

#include "TransferContext.h"
#include "Xmodem.h"

namespace {

constexpr int kSliceMs = 100;  // how often a wait looks at the Cancel button

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

CXmodemLine::CXmodemLine(CCommPort& port, IProgressWindow& progress, DWORD baud)
    : m_port(port), m_progress(progress) {
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
        if (m_progress.CancelRequested())
            return Got::UserCancel;
        if (NowMs() >= deadline)
            return Got::TimedOut;
    }
}

int CXmodemLine::ReadBytes(std::uint8_t* buffer, int count, int gapMs) {
    // The gap bounds the wait between bytes; the total allows for a slow line as well.
    m_port.SetReadTimeouts(static_cast<DWORD>(gapMs), static_cast<DWORD>(m_perByteMs),
                           static_cast<DWORD>(gapMs));
    return m_port.Read(buffer, count, true);
}

bool CXmodemLine::SecondCancelFollows() {
    std::uint8_t next = 0;
    m_port.SetReadTimeouts(0, 0, 1000);
    return m_port.Read(&next, 1, true) == 1 && next == kXmodemCan;
}

void CXmodemLine::DrainUntilQuiet(int quietMs, int limitMs) {
    const std::int64_t end = NowMs() + limitMs;
    std::uint8_t buffer[256];
    m_port.SetReadTimeouts(0, 0, static_cast<DWORD>(quietMs));
    while (NowMs() < end && !Lost()) {
        if (m_port.Read(buffer, 1, true) != 1)
            return;
        DiscardQueued();
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
