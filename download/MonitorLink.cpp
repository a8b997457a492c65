#include "MonitorLink.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

int SignedByteValue(ReceivedByte byte) { return static_cast<std::int8_t>(byte & 0xFF); }

void SleepMs(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t SteadyNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

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
        ReceivedByte b = LinkReadByte();
        if (b != kNothingRead) return b;
        const std::int64_t left = deadlineMs - SteadyNowMs();
        if (left <= 0 || Interrupted()) return kNothingRead;
        m_port.WaitForInput(static_cast<int>(std::min<std::int64_t>(left, kStopCheckMs)));
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

ReceivedByte CMonitorLink::LinkDrain(int quietMs, std::string* kept) {
    ReceivedByte last = kNothingRead;
    const std::int64_t limit = SteadyNowMs() + kDrainLimitMs;
    do {
        while (LinkBytesWaiting() != 0) {
            ReceivedByte b = LinkReadByte();
            if (b == kNothingRead) break;
            last = b;
            if (kept) kept->push_back(static_cast<char>(b));
        }
        if (SteadyNowMs() >= limit) return kNothingRead;  // it never went quiet
        if (!Pause(quietMs)) return kNothingRead;
    } while (LinkBytesWaiting() != 0);
    return last;
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
    for (const auto& attempt : kAttempts) {
        for (unsigned char byte : attempt) LinkSendByte(byte);
        if (!Pause(25)) return false;
        ReceivedByte last = LinkDrain(50);
        if (last == '>' || last == ' ') return true;
        if (Interrupted()) return false;
    }
    return false;
}
