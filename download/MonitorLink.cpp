#include "MonitorLink.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "PromptSpotter.h"

int SignedByteValue(ReceivedByte byte) { return static_cast<std::int8_t>(byte & 0xFF); }

void SleepMs(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t SteadyNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t AnswerDeadline() { return SteadyNowMs() + kAnswerDeadlineMs; }

std::uint16_t CMonitorLink::LinkBytesWaiting() {
    CComStat status;
    if (!m_port.ClearError(&status, nullptr)) return 0;
    return static_cast<std::uint16_t>(status.cbInQue & 0xFFFF);
}

ReceivedByte CMonitorLink::LinkReadByte() {
    unsigned char byte = 0;
    if (m_port.Read(&byte, 1, false) != 1) return kNothingRead;
    return byte;
}

ReceivedByte CMonitorLink::LinkWaitByte(std::int64_t deadlineMs) {
    for (;;) {
        // Looked at before every byte, not only when none is queued: a board that keeps
        // sending never holds the wait past its deadline or a stop.
        const std::int64_t left = deadlineMs - SteadyNowMs();
        if (left <= 0 || Interrupted()) return kNothingRead;
        ReceivedByte b = LinkReadByte();
        if (b != kNothingRead) return b;
        m_port.WaitForInput(static_cast<int>(std::min<std::int64_t>(left, kStopCheckMs)));
    }
}

bool CMonitorLink::WaitForBytes(std::int64_t deadlineMs) {
    for (;;) {
        if (LinkBytesWaiting() != 0) return true;
        const std::int64_t left = deadlineMs - SteadyNowMs();
        if (left <= 0 || Interrupted()) return false;
        // Ready also on a hang-up: the caller's next read tells the two apart.
        if (m_port.WaitForInput(static_cast<int>(std::min<std::int64_t>(left, kStopCheckMs))))
            return true;
    }
}

bool CMonitorLink::Pause(int ms) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (Interrupted()) return false;
        const auto left = end - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(kStopCheckMs)));
    }
}

ReceivedByte CMonitorLink::LinkDrain(int quietMs, std::string* kept, CPromptSpotter* prompt) {
    ReceivedByte last = kNothingRead;
    const std::int64_t limit = SteadyNowMs() + kDrainLimitMs;
    std::int64_t nextLook = 0;
    for (;;) {
        for (;;) {
            // A board that sends faster than it is read never empties the queue: the stop
            // and the limit are looked at between its bytes too.
            const std::int64_t now = SteadyNowMs();
            if (now >= nextLook) {
                if (now >= limit || Interrupted()) return kNothingRead;
                nextLook = now + kStopCheckMs;
            }
            // Read until nothing is queued; on a line that hung up the read says so.
            ReceivedByte b = LinkReadByte();
            if (b == kNothingRead) break;
            last = b;
            if (kept) kept->push_back(static_cast<char>(b));
            if (prompt && prompt->Feed(static_cast<unsigned char>(b))) return last;
        }
        if (Lost() || SteadyNowMs() >= limit) return kNothingRead;  // gone, or never quiet
        if (!Pause(quietMs)) return kNothingRead;
        // Quiet: nothing queued and nothing ready. A hang-up shows as ready; the next read
        // tells it from bytes.
        if (LinkBytesWaiting() == 0 && !m_port.WaitForInput(0)) return Lost() ? kNothingRead : last;
    }
}

bool CMonitorLink::LinkAwaitAnswer(int quietMs, std::int64_t deadlineMs, const AnswerTest& accept,
                                   std::string* kept, CPromptSpotter* prompt) {
    auto answered = [&](ReceivedByte last) { return (prompt && prompt->Seen()) || accept(last); };
    if (answered(LinkDrain(quietMs, kept, prompt))) return true;
    while (!Interrupted() && WaitForBytes(deadlineMs)) {
        if (answered(LinkDrain(quietMs, kept, prompt))) return true;
    }
    return false;
}

int CMonitorLink::LinkSendString(const std::string& text) {
    return m_port.Write(text.data(), static_cast<int>(text.size()));
}

int CMonitorLink::LinkSendBlock(const void* buffer, int length) {
    return m_port.Write(buffer, length);
}

int CMonitorLink::LinkSendByte(int value) {
    unsigned char byte = static_cast<unsigned char>(value & 0xFF);
    return m_port.Write(&byte, 1);
}

bool CMonitorLink::LinkSetBaud(DWORD baud) { return m_port.SetBaudRate(baud); }

bool CMonitorLink::WakeMonitor() {
    static const std::vector<std::vector<unsigned char>> kAttempts = {
        {0x08, 0x2E, 0x0D}, {0x0D}, {0x0D}, {0x2E, 0x0D}, {0x03, 0x0D}};
    auto atPrompt = [](ReceivedByte last) { return last == '>' || last == ' '; };
    // One spotter for all attempts: a prompt that answers an earlier attempt, or that
    // straddles two looks, counts.
    CPromptSpotter prompt;
    for (size_t i = 0; i < kAttempts.size(); ++i) {
        for (unsigned char byte : kAttempts[i]) LinkSendByte(byte);
        if (!Pause(25)) return false;
        if (i + 1 == kAttempts.size()) break;
        ReceivedByte last = LinkDrain(50, nullptr, &prompt);
        if (prompt.Seen() || atPrompt(last)) return true;
        if (Interrupted()) return false;
    }
    // On a slow link the answers are still on their way after the last attempt.
    return LinkAwaitAnswer(50, AnswerDeadline(), atPrompt, nullptr, &prompt);
}
