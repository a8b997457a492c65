// CCommPort on a POSIX terminal device (termios, poll, ioctl).

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <linux/serial.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "CommPort.h"
#include "Deadline.h"
#include "LineTermios.h"
#include "NetworkLine.h"
#include "NetworkPortName.h"

namespace {

std::int64_t DeadlineAfter(DWORD multiplier, DWORD constant, int count) {
    if (multiplier == 0 && constant == 0) return -1;
    return NowMs() + std::int64_t(multiplier) * count + constant;
}

// A device that hung up or was unplugged, or a network port whose connection ended.
bool IsDeviceGone(int err) {
    switch (err) {
        case EIO: case ENXIO: case ENODEV:
        case ECONNRESET: case EPIPE: case ETIMEDOUT: case ECONNABORTED: case EHOSTUNREACH:
        case ENETUNREACH: case ENETDOWN: case EHOSTDOWN: case ENOTCONN:
            return true;
        default:
            return false;
    }
}

}  // namespace

CCommPort::CCommPort(const std::string& device) : m_device(device) {
    if (IsNetworkPortName(device)) {
        if (!OpenNetwork()) return;
    } else {
        int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            Fail(errno);
            return;
        }
        // Another program holding the device makes the open fail, as a busy port does. The
        // device is closed again at once so that nothing of the holder's line is disturbed.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int err = (errno == EWOULDBLOCK) ? EBUSY : errno;
            ::close(fd);
            Fail(err);
            return;
        }
        if (!::isatty(fd)) {
            ::close(fd);
            Fail(ENOTTY);
            return;
        }
        ::ioctl(fd, TIOCEXCL);  // keeps other programs out; root can still open it
        m_hComm = fd;
    }

    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        Fail(errno);
        return;
    }
    if (m_net) m_net->SetDataWake(m_wakeFd);

    // The line's state between opening and the user's settings. A failure in any step must
    // stay visible to the owner, although each step clears the error on entry.
    DWORD firstError = 0;
    auto step = [&](bool) {
        if (firstError == 0) firstError = LastError();
    };
    step(SetBaudRate(9600));
    step(SetLineFormat(kParityNone, 8, kOneStopBit));
    step(SetFlowControl(kFlowDsrDtr | kFlowCtsRts, 100, 100, kXonChar, kXoffChar));
    step(SetQueueSizes(4096, 4096));
    step(SetReadTimeouts(kMaxDword, 0, 0));
    step(SetWriteTimeouts(0, 1000));
    m_dwLastError = firstError;
    m_selectedEvents = EV_RXCHAR;
    // Only what came in before the line was ours is stale. Output still queued is the last
    // words of the device's previous user on its way to the far end (a pseudo-terminal keeps
    // it until the far end reads): discarding it would lose them.
    DiscardInput();
}

CCommPort::~CCommPort() {
    if (m_net) {
        CloseNetwork();
    } else if (m_hComm >= 0) {
        StopWatcher();
        DrainBeforeClose();
        DiscardInput();
        ::ioctl(m_hComm, TIOCNXCL);  // the device may stay open elsewhere; let others in again
        ::close(m_hComm);
    }
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

bool CCommPort::Fail(int err) {
    m_dwLastError = static_cast<DWORD>(err);
    return false;
}

void CCommPort::DiscardInput() {
    if (m_net)
        m_net->PurgeReceived();
    else
        ::tcflush(m_hComm, TCIFLUSH);
}

void CCommPort::DrainBeforeClose() {
    // The last bytes written (the 'G' that starts a program, the record loader's closing '%')
    // must reach the far end, so the output is never discarded while it can still leave.
    // A serial driver counts what is still queued (TIOCOUTQ): wait for it, bounded like a
    // write of that many bytes, then for the transmitter (tcdrain). A pseudo-terminal counts
    // nothing and tcdrain returns at once; its bytes wait in the far end's queue, and only a
    // flush of the output would take them back: closing leaves them there for the far end to
    // read, also when this is the last descriptor of the device.
    int queued = 0;
    if (::ioctl(m_hComm, TIOCOUTQ, &queued) != 0 || queued <= 0) {
        ::tcdrain(m_hComm);
        return;
    }
    CCommTimeouts t;
    {
        std::lock_guard lock(m_lineMutex);
        t = m_timeouts;
    }
    std::int64_t deadline =
        DeadlineAfter(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, queued);
    if (deadline < 0) deadline = NowMs() + kCloseDrainLimitMs;  // writes without a time-out
    int left = 0;
    // A line held by flow control past the bound would keep close() waiting for the driver's
    // own closing time (half a minute): what it did not take by then is given up.
    if (!WaitForDrain(deadline, queued, left)) ::tcflush(m_hComm, TCOFLUSH);
}

// ---- line configuration -------------------------------------------------------------------

bool CCommPort::LoadLine(CLineConfig& config) {
    if (m_net) {
        std::lock_guard lock(m_lineMutex);
        config.tio = m_netLine;
    } else if (::tcgetattr(m_hComm, &config.tio) != 0) {
        return Fail(errno);
    }
    std::lock_guard lock(m_lineMutex);
    config.dsrDtrHandshake = m_extras.dsrDtrHandshake;
    config.xonLimit = m_extras.xonLimit;
    config.xoffLimit = m_extras.xoffLimit;
    return true;
}

bool CCommPort::ApplyLine(const CLineConfig& config) {
    if (m_net) {
        // Sent in band, behind what was written before, and not waited for: the server's
        // answers are judged when they come (TakeLineNotice).
        int error = 0;
        if (!m_net->ApplyLine(config.tio, error)) return Fail(error);
        std::lock_guard lock(m_lineMutex);
        m_netLine = config.tio;
        m_extras.dsrDtrHandshake = config.dsrDtrHandshake;
        m_extras.xonLimit = config.xonLimit;
        m_extras.xoffLimit = config.xoffLimit;
        return true;
    }
    termios before{};
    if (::tcgetattr(m_hComm, &before) != 0) return Fail(errno);
    if (::tcsetattr(m_hComm, TCSANOW, &config.tio) != 0) return Fail(errno);
    // tcsetattr succeeds when any part was applied; a device that cannot do the asked format
    // (a pseudo-terminal forces 8 bits without parity) silently keeps its own. Such a line
    // counts as rejected and keeps its previous setting.
    termios after{};
    if (::tcgetattr(m_hComm, &after) != 0) return Fail(errno);
    if (!LineFormatMatches(config.tio, after)) {
        ::tcsetattr(m_hComm, TCSANOW, &before);
        return Fail(EINVAL);
    }
    {
        std::lock_guard lock(m_lineMutex);
        m_extras.dsrDtrHandshake = config.dsrDtrHandshake;
        m_extras.xonLimit = config.xonLimit;
        m_extras.xoffLimit = config.xoffLimit;
    }
    // DTR is always held on; RTS too unless the CTS/RTS handshake drives it. Devices without
    // modem lines (pseudo-terminals) refuse the request, which is no failure of the line.
    int bits = TIOCM_DTR;
    if (!(config.tio.c_cflag & CRTSCTS)) bits |= TIOCM_RTS;
    if (::ioctl(m_hComm, TIOCMBIS, &bits) != 0 && errno != ENOTTY && errno != EINVAL)
        return Fail(errno);
    return true;
}

bool CCommPort::SetBaudRate(DWORD baud) {
    m_dwLastError = 0;
    CLineConfig cfg;
    if (!LoadLine(cfg)) return false;
    if (!ApplyBaud(cfg.tio, baud)) return Fail(EINVAL);
    return ApplyLine(cfg);
}

bool CCommPort::SetLineFormat(int parityCode, int dataBits, int stopBitCode) {
    m_dwLastError = 0;
    CLineConfig cfg;
    if (!LoadLine(cfg)) return false;
    if (!ApplyLineFormat(cfg.tio, parityCode, dataBits, stopBitCode)) return Fail(EINVAL);
    return ApplyLine(cfg);
}

bool CCommPort::SetFlowControl(DWORD flags, int xonLimit, int xoffLimit, unsigned char xonChar,
                               unsigned char xoffChar) {
    m_dwLastError = 0;
    CLineConfig cfg;
    if (!LoadLine(cfg)) return false;
    ApplyFlowControl(cfg, flags, xonLimit, xoffLimit, xonChar, xoffChar);
    return ApplyLine(cfg);
}

bool CCommPort::SetQueueSizes(DWORD, DWORD) {
    m_dwLastError = 0;
    return m_hComm >= 0 || Fail(EBADF);  // the kernel sizes its own queues
}

bool CCommPort::GetState(CLineConfig& config) {
    m_dwLastError = 0;
    return LoadLine(config);
}

bool CCommPort::SetState(const CLineConfig& config) {
    m_dwLastError = 0;
    return ApplyLine(config);
}

bool CCommPort::SetReadTimeouts(DWORD interval, DWORD multiplier, DWORD constant) {
    m_dwLastError = 0;
    std::lock_guard lock(m_lineMutex);
    m_timeouts.ReadIntervalTimeout = interval;
    m_timeouts.ReadTotalTimeoutMultiplier = multiplier;
    m_timeouts.ReadTotalTimeoutConstant = constant;
    return true;
}

bool CCommPort::SetWriteTimeouts(DWORD multiplier, DWORD constant) {
    m_dwLastError = 0;
    std::lock_guard lock(m_lineMutex);
    m_timeouts.WriteTotalTimeoutMultiplier = multiplier;
    m_timeouts.WriteTotalTimeoutConstant = constant;
    return true;
}

bool CCommPort::GetTimeouts(CCommTimeouts& timeouts) {
    m_dwLastError = 0;
    std::lock_guard lock(m_lineMutex);
    timeouts = m_timeouts;
    return true;
}

bool CCommPort::SetTimeouts(const CCommTimeouts& timeouts) {
    m_dwLastError = 0;
    std::lock_guard lock(m_lineMutex);
    m_timeouts = timeouts;
    return true;
}

// ---- break and line errors ----------------------------------------------------------------

bool CCommPort::SetBreak() {
    m_dwLastError = 0;
    if (m_net) {
        int error = 0;
        return m_net->SetBreak(true, error) || Fail(error);
    }
    return ::ioctl(m_hComm, TIOCSBRK) == 0 || Fail(errno);
}

bool CCommPort::ClearBreak() {
    m_dwLastError = 0;
    if (m_net) {
        int error = 0;
        return m_net->SetBreak(false, error) || Fail(error);
    }
    return ::ioctl(m_hComm, TIOCCBRK) == 0 || Fail(errno);
}

bool CCommPort::ClearLineErrors(CComStat* status, bool withOutputQueue) {
    int inQueue = 0, outQueue = 0;
    if (m_net) {
        // Data bytes only: what the telnet layer says to this side is no input.
        inQueue = m_net->Queued();
        if (inQueue < 0) return false;
    } else if (::ioctl(m_hComm, FIONREAD, &inQueue) != 0) {
        return false;
    }
    if (withOutputQueue && ::ioctl(m_hComm, TIOCOUTQ, &outQueue) != 0) return false;
    if (status) {
        status->flags = 0;
        status->cbInQue = static_cast<DWORD>(std::max(inQueue, 0));
        status->cbOutQue = static_cast<DWORD>(std::max(outQueue, 0));
    }
    ReadLineErrorCounters();
    return true;
}

void CCommPort::ReadLineErrorCounters() {
    // Serial drivers count line errors; a rise since the last look is a new error. Devices
    // without counters (pseudo-terminals) report none.
    DWORD errors = 0;
    serial_icounter_struct counts{};
    if (!m_hasErrorCounters) {
    } else if (::ioctl(m_hComm, TIOCGICOUNT, &counts) != 0) {
        m_hasErrorCounters = false;
    } else {
        std::lock_guard lock(m_lineMutex);
        if (counts.frame != m_lastCounters.frame) errors |= CE_FRAME;
        if (counts.overrun + counts.buf_overrun != m_lastCounters.overrun) errors |= CE_OVERRUN;
        if (counts.parity != m_lastCounters.parity) errors |= CE_RXPARITY;
        if (counts.brk != m_lastCounters.brk) errors |= CE_BREAK;
        m_lastCounters = {counts.frame, counts.overrun + counts.buf_overrun, counts.parity,
                          counts.brk};
    }
    m_dwCommErrors = errors;
}

bool CCommPort::ClearError(CComStat* status, DWORD* errors) {
    m_dwLastError = 0;
    if (m_hComm < 0) return Fail(EBADF);
    if (!ClearLineErrors(status)) return Fail(errno);
    if (errors) *errors = m_dwCommErrors;
    return true;
}

// ---- reads and writes ---------------------------------------------------------------------

int CCommPort::Read(void* buffer, int count, bool waitAll) {
    if (m_hComm < 0) return 0;
    if (!waitAll) {
        // Never more than is queued now: one non-blocking read takes exactly that, without
        // asking the queue's size first (this is the watcher's path for every batch).
        ReadLineErrorCounters();
        if (count <= 0) return 0;
        for (;;) {
            ssize_t n = ReadSome(buffer, count);
            if (n > 0) return static_cast<int>(n);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return 0;
            int err = (n == 0) ? EIO : errno;  // end of file on a terminal: it hung up
            m_dwLastError = static_cast<DWORD>(err);
            if (IsDeviceGone(err)) m_deviceLost = static_cast<DWORD>(err);
            return 0;
        }
    }
    CComStat status;
    if (!ClearLineErrors(&status, false) && IsDeviceGone(errno))
        m_deviceLost = static_cast<DWORD>(errno);
    if (count <= 0) return 0;

    CCommTimeouts t;
    {
        std::lock_guard lock(m_lineMutex);
        t = m_timeouts;
    }
    const bool returnAtOnce = t.ReadIntervalTimeout == kMaxDword &&
                              t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    // Interval and multiplier both "maximum" with a constant: return as soon as anything came.
    const bool returnOnFirst = t.ReadIntervalTimeout == kMaxDword &&
                               t.ReadTotalTimeoutMultiplier == kMaxDword &&
                               t.ReadTotalTimeoutConstant != 0;
    std::int64_t total = -1;
    if (returnOnFirst)
        total = NowMs() + t.ReadTotalTimeoutConstant;
    else if (!returnAtOnce)
        total = DeadlineAfter(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count);
    const bool useInterval = !returnAtOnce && !returnOnFirst && t.ReadIntervalTimeout != 0 &&
                             t.ReadIntervalTimeout != kMaxDword;

    auto* out = static_cast<unsigned char*>(buffer);
    int got = 0;
    while (got < count) {
        ssize_t n = ReadSome(out + got, count - got);
        if (n > 0) {
            got += static_cast<int>(n);
            if (returnOnFirst) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (n < 0 && errno != EAGAIN)) {
            int err = (n == 0) ? EIO : errno;  // end of file on a terminal: the device is gone
            m_dwLastError = static_cast<DWORD>(err);
            if (IsDeviceGone(err)) m_deviceLost = static_cast<DWORD>(err);
            ClearLineErrors(nullptr);
            break;
        }
        if (returnAtOnce) break;
        int timeout = PollTimeout(total);
        if (useInterval && got > 0)
            timeout = (timeout < 0) ? int(t.ReadIntervalTimeout)
                                    : std::min<int>(timeout, int(t.ReadIntervalTimeout));
        pollfd p{m_hComm, POLLIN, 0};
        int r = ::poll(&p, 1, timeout);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;  // time-out
    }
    return got;
}

bool CCommPort::WaitForInput(int timeoutMs) {
    if (m_hComm < 0) return false;
    if (m_net) return WaitForNetworkInput(timeoutMs);
    const std::int64_t deadline = NowMs() + std::max(0, timeoutMs);
    for (;;) {
        pollfd p{m_hComm, POLLIN, 0};
        int r = ::poll(&p, 1, PollTimeout(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        if (p.revents & POLLIN) return true;
        // A hang-up without data: the device is gone.
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            if (m_deviceLost == 0) m_deviceLost = EIO;
            return false;
        }
    }
}

int CCommPort::Write(const void* buffer, int count) {
    if (m_hComm < 0) return 0;
    std::lock_guard writeLock(m_writeMutex);
    if (m_net) return WriteNetwork(buffer, count);
    CCommTimeouts t;
    {
        std::lock_guard lock(m_lineMutex);
        t = m_timeouts;
    }
    const std::int64_t deadline =
        DeadlineAfter(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count);
    const auto* in = static_cast<const unsigned char*>(buffer);
    int sent = 0;
    while (sent < count) {
        ssize_t n = ::write(m_hComm, in + sent, static_cast<size_t>(count - sent));
        if (n > 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            m_dwLastError = static_cast<DWORD>(errno);
            ClearLineErrors(nullptr);
            return sent;
        }
        pollfd p{m_hComm, POLLOUT, 0};
        int r = ::poll(&p, 1, PollTimeout(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) break;  // held too long (flow control or a full line)
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            m_dwLastError = EIO;
            return sent;
        }
    }
    // The call returns when the bytes have left the port: callers look for the far end's
    // answer right after a write. What the time-out leaves unsent is discarded, not sent later.
    int left = 0;
    if (!WaitForDrain(deadline, sent, left)) {
        ::tcflush(m_hComm, TCOFLUSH);
        return sent - left;
    }
    return sent;
}

bool CCommPort::WaitForDrain(std::int64_t deadline, int written, int& leftInQueue) {
    for (;;) {
        int queued = 0;
        if (::ioctl(m_hComm, TIOCOUTQ, &queued) != 0) queued = 0;
        if (queued <= 0) {
            ::tcdrain(m_hComm);  // the last bytes in the UART; bounded by the driver
            return true;
        }
        if (deadline >= 0 && NowMs() >= deadline) {
            leftInQueue = std::min(queued, written);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

// ---- event waits and the watcher ----------------------------------------------------------

void CCommPort::WakeWaiter() {
    if (m_wakeFd < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

bool CCommPort::SetEventMask(DWORD events) {
    m_dwLastError = 0;
    if (m_hComm < 0) return Fail(EBADF);
    m_selectedEvents = events;
    ++m_maskGeneration;
    WakeWaiter();  // a pending wait completes with the empty set
    return true;
}

bool CCommPort::WaitEvent() {
    m_dwLastError = 0;
    m_dwEventMask = 0;
    if (m_hComm < 0) return Fail(EBADF);
    m_armedGeneration = m_maskGeneration.load();
    m_waitArmed = true;
    return true;  // pending
}

DWORD CCommPort::GetEventResult(bool wait) {
    if (!m_waitArmed) return m_dwEventMask;
    for (;;) {
        if (m_stopRequested || m_maskGeneration.load() != m_armedGeneration ||
            m_selectedEvents.load() == 0) {
            m_waitArmed = false;
            m_dwEventMask = 0;
            return 0;
        }
        if (m_deviceLost) break;
        // A network port may hold data already taken in (behind a telnet command).
        if (m_net && m_net->Queued() > 0) {
            m_waitArmed = false;
            m_dwEventMask = m_selectedEvents.load() & EV_RXCHAR;
            return m_dwEventMask;
        }
        pollfd fds[2] = {{m_hComm, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        int r = ::poll(fds, 2, wait ? -1 : 0);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) break;
        if (r == 0) return 0;  // still pending
        if (fds[1].revents & POLLIN) {
            std::uint64_t drained;
            [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &drained, sizeof drained);
            continue;  // the checks above decide
        }
        const short hangup = POLLHUP | POLLERR | POLLNVAL;
        if (m_net) {
            // Readable: data, telnet commands only, or the end of the connection.
            if (fds[0].revents & POLLNVAL) {
                m_deviceLost = EBADF;
                break;
            }
            if (m_net->Queued() > 0) {
                m_waitArmed = false;
                m_dwEventMask = m_selectedEvents.load() & EV_RXCHAR;
                return m_dwEventMask;
            }
            if (int ended = m_net->Ended()) {
                m_deviceLost = static_cast<DWORD>(ended);
                break;
            }
            continue;
        }
        int queued = 0;
        // A raw line is readable only with data in it, unless it hung up: then look first, so
        // the last bytes before the hang-up are still shown.
        if ((fds[0].revents & POLLIN) &&
            (!(fds[0].revents & hangup) ||
             (::ioctl(m_hComm, FIONREAD, &queued) == 0 && queued > 0))) {
            m_waitArmed = false;
            m_dwEventMask = m_selectedEvents.load() & EV_RXCHAR;
            return m_dwEventMask;
        }
        if (fds[0].revents & (hangup | POLLIN)) {
            // Readable without data, or hung up: the device has gone away.
            m_deviceLost = (fds[0].revents & POLLNVAL) ? EBADF : EIO;
            break;
        }
    }
    // A failed wait: clear the line's error state and arm again; the watcher sees 0 and ends.
    ClearLineErrors(nullptr);
    WaitEvent();
    return 0;
}

bool CCommPort::StartWatcher(ThreadRoutine routine, void* param) {
    if (m_watcher.joinable()) return Fail(kErrorAlreadyExists);
    m_dwLastError = 0;
    m_stopRequested = false;
    m_watcherDone = false;
    void* arg = param ? param : this;
    try {
        m_watcher = std::thread([this, routine, arg] {
            DWORD code = routine(arg);
            m_watcherExit = code;
            m_watcherDone = true;
        });
    } catch (const std::system_error& e) {
        m_watcherDone = true;
        return Fail(e.code().value());
    }
    return true;
}

DWORD CCommPort::StopWatcher() {
    m_dwLastError = 0;
    if (!m_watcher.joinable()) return 0;
    m_stopRequested = true;
    SetEventMask(0);
    // The watcher may be handing bytes to this very thread; the hook lets this thread take
    // them while it waits, so the stop completes and no byte is lost.
    while (!m_watcherDone.load()) {
        if (m_stopWaitHook) m_stopWaitHook();
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    m_watcher.join();
    m_dwLastError = 0;
    return m_watcherExit.load();
}
