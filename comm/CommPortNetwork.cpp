// CCommPort on a network port: the parts of the engine that differ from a terminal device.
// The socket is polled like the device's descriptor; reads take data bytes from the network
// line, which strips the telnet layer.

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "CommPort.h"
#include "Deadline.h"
#include "LineTermios.h"
#include "NetworkLine.h"

bool CCommPort::OpenNetwork() {
    DWORD error = 0;
    m_net = CNetworkLine::Open(m_device, error);
    if (!m_net) {
        Fail(static_cast<int>(error));
        return false;
    }
    m_hComm = m_net->Fd();
    // The line as the constructor's first setting changes it: raw, 9600 8N1. Every field of
    // it goes to the server with that first setting.
    termios tio{};
    MakeRawLine(tio);
    ApplyBaud(tio, 9600);
    ApplyLineFormat(tio, kParityNone, 8, kOneStopBit);
    std::lock_guard lock(m_lineMutex);
    m_netLine = tio;
    return true;
}

void CCommPort::CloseNetwork() {
    StopWatcher();
    CCommTimeouts t;
    {
        std::lock_guard lock(m_lineMutex);
        t = m_timeouts;
    }
    // Bounded like the device's drain: by the write time-outs, else by the close limit.
    std::int64_t limit = std::int64_t(t.WriteTotalTimeoutConstant);
    if (limit <= 0 || limit > kCloseDrainLimitMs) limit = kCloseDrainLimitMs;
    m_net->Close(NowMs() + limit);
    m_hComm = -1;
}

bool CCommPort::CarriesLineSettings() const { return !m_net || m_net->CarriesLineSettings(); }

std::string CCommPort::TakeLineNotice() { return m_net ? m_net->TakeNotice() : std::string(); }

ssize_t CCommPort::ReadSome(void* buffer, int count) {
    if (count <= 0) return 0;
    if (!m_net) return ::read(m_hComm, buffer, static_cast<size_t>(count));
    return m_net->Receive(buffer, static_cast<std::size_t>(count));
}

bool CCommPort::WaitForNetworkInput(int timeoutMs) {
    const std::int64_t deadline = NowMs() + std::max(0, timeoutMs);
    for (;;) {
        int queued = m_net->Queued();
        if (queued > 0) return true;
        if (queued < 0) {
            if (m_deviceLost == 0) m_deviceLost = static_cast<DWORD>(m_net->Ended());
            return false;
        }
        pollfd p{m_hComm, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, deadline - NowMs())));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) return m_net->Queued() > 0;
        // Readable: the next look takes it in; telnet commands alone wait on.
    }
}

int CCommPort::WriteNetwork(const void* buffer, int count) {
    // Called with the write lock held. The bytes have "left the port" once the connection has
    // taken them; waiting for the server's acknowledgement would cost a round trip per write.
    CCommTimeouts t;
    {
        std::lock_guard lock(m_lineMutex);
        t = m_timeouts;
    }
    std::int64_t deadline = -1;
    if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0)
        deadline = NowMs() + std::int64_t(t.WriteTotalTimeoutMultiplier) * count +
                   t.WriteTotalTimeoutConstant;
    int error = 0;
    const int sent = m_net->SendData(buffer, count, deadline, error);
    if (sent < count && error != 0 && error != ETIMEDOUT) {
        m_dwLastError = static_cast<DWORD>(error);
        if (int ended = m_net->Ended()) m_deviceLost = static_cast<DWORD>(ended);
    }
    return sent;
}
