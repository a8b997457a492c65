#include "NetworkLine.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "Deadline.h"
#include "SystemError.h"

namespace {

// A peer that is gone without a word (a pulled cable, a powered-off server) is noticed after
// about idle + interval * count seconds of silence, or when sent data stays unacknowledged
// for the user time-out.
constexpr int kKeepAliveIdleS = 4;
constexpr int kKeepAliveIntervalS = 2;
constexpr int kKeepAliveCount = 3;
constexpr unsigned kUnacknowledgedLimitMs = 15000;

void TuneSocket(int fd) {
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    int idle = kKeepAliveIdleS, interval = kKeepAliveIntervalS, count = kKeepAliveCount;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    unsigned limit = kUnacknowledgedLimitMs;
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &limit, sizeof limit);
}

// One address: a non-blocking connect waited for until the deadline. The socket, or -1 with
// the reason in error.
int ConnectOne(const addrinfo& ai, std::int64_t deadline, int& error) {
    int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            ::close(fd);
            return -1;
        }
        for (;;) {
            pollfd p{fd, POLLOUT, 0};
            int r = ::poll(&p, 1, PollTimeout(deadline));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                error = (r == 0) ? ETIMEDOUT : errno;
                ::close(fd);
                return -1;
            }
            break;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
        if (soError != 0) {
            error = soError;
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

// getaddrinfo cannot be told to give up: a lookup that waits on a name server that does not
// answer would hold the open (and a reconnecting window's retries) for as long as the resolver
// likes. The lookup runs on a thread of its own; the open waits for it until the deadline and
// then leaves it behind, to free its own result when it ends.
struct HostLookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    int rc = 0;
    int systemError = 0;
    addrinfo* found = nullptr;
};

// 0 with the addresses in found (freed by the caller), else a getaddrinfo code (EAI_SYSTEM
// with the errno in systemError; EAI_AGAIN when the deadline passed first).
int LookUpHost(const std::string& host, const std::string& service, const addrinfo& hints,
               std::int64_t deadline, addrinfo*& found, int& systemError) {
    auto lookup = std::make_shared<HostLookup>();
    auto run = [lookup, host, service, hints] {
        addrinfo* result = nullptr;
        const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
        const int err = errno;
        std::lock_guard lock(lookup->mutex);
        if (lookup->abandoned) {
            if (rc == 0) ::freeaddrinfo(result);
            return;
        }
        lookup->rc = rc;
        lookup->systemError = err;
        lookup->found = result;
        lookup->done = true;
        lookup->finished.notify_all();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        run();  // no thread to be had: look up here, unbounded, rather than not at all
    }
    std::unique_lock lock(lookup->mutex);
    const auto until = std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadline));
    if (!lookup->finished.wait_until(lock, until, [&] { return lookup->done; })) {
        lookup->abandoned = true;
        return EAI_AGAIN;
    }
    found = lookup->found;
    systemError = lookup->systemError;
    return lookup->rc;
}

}  // namespace

std::unique_ptr<CNetworkLine> CNetworkLine::Open(const std::string& name, DWORD& error) {
    std::string why;
    auto parsed = ParseNetworkPortName(name, why);
    if (!parsed) {
        error = EINVAL;
        return nullptr;
    }
    const std::int64_t deadline = NowMs() + kConnectLimitMs;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(parsed->port);
    int systemError = 0;
    int rc = LookUpHost(parsed->host, service, hints, deadline, found, systemError);
    if (rc != 0) {
        error = (rc == EAI_SYSTEM) ? static_cast<DWORD>(systemError) : HostLookupError(rc);
        return nullptr;
    }
    int fd = -1;
    int lastError = ECONNREFUSED;
    for (addrinfo* ai = found; ai && fd < 0; ai = ai->ai_next) fd = ConnectOne(*ai, deadline, lastError);
    ::freeaddrinfo(found);
    if (fd < 0) {
        error = static_cast<DWORD>(lastError);
        return nullptr;
    }
    TuneSocket(fd);
    std::unique_ptr<CNetworkLine> line(new CNetworkLine(*parsed, fd));
    if (line->CarriesLineSettings() && !line->Negotiate(error)) return nullptr;
    error = 0;
    return line;
}

CNetworkLine::~CNetworkLine() {
    if (m_fd >= 0) ::close(m_fd);
}

bool CNetworkLine::Negotiate(DWORD& error) {
    std::string requests;
    {
        std::lock_guard lock(m_stateMutex);
        requests = m_negotiation.Start();
    }
    int sendError = 0;
    if (SendRaw(requests, NowMs() + kConnectLimitMs, sendError) != requests.size()) {
        error = static_cast<DWORD>(sendError);
        return false;
    }
    // The line commands may go only once the server has agreed to the option; its answer is
    // the one thing the open waits for (never for the answers to the commands themselves).
    const std::int64_t deadline = NowMs() + kConnectLimitMs;
    for (;;) {
        TakeIn();
        FlushOwedReplies();
        {
            std::lock_guard lock(m_stateMutex);
            if (m_negotiation.LocalSettled(telnet::kOptionComPort)) {
                if (m_negotiation.Local(telnet::kOptionComPort)) return true;
                error = kErrorComPortRefused;
                return false;
            }
            if (m_ended) {
                error = static_cast<DWORD>(m_ended);
                return false;
            }
        }
        pollfd p{m_fd, POLLIN, 0};
        int r = ::poll(&p, 1, PollTimeout(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            error = kErrorComPortNoAnswer;
            return false;
        }
        if (r < 0) {
            error = static_cast<DWORD>(errno);
            return false;
        }
    }
}

// ---- receiving ----------------------------------------------------------------------------

void CNetworkLine::Digest(const unsigned char* bytes, std::size_t size) {
    // With the state lock held.
    if (!CarriesLineSettings()) {
        m_inbox.append(reinterpret_cast<const char*>(bytes), size);
        return;
    }
    std::vector<telnet::Command> commands;
    m_decoder.Feed(bytes, size, m_inbox, commands);
    for (const telnet::Command& c : commands) {
        if (c.verb == telnet::kSb) {
            if (c.option != telnet::kOptionComPort) continue;
            if (auto notice = m_judge.Judge(c.payload)) m_notice = *notice;
        } else {
            m_owed += m_negotiation.Answer(c);
        }
    }
}

bool CNetworkLine::TakeIn() {
    unsigned char buffer[8192];
    for (;;) {
        {
            std::lock_guard lock(m_stateMutex);
            if (m_ended) return false;
            ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                if (m_inboxStart > 0 && m_inboxStart == m_inbox.size()) {
                    m_inbox.clear();
                    m_inboxStart = 0;
                }
                const bool wasEmpty = m_inbox.size() == m_inboxStart;
                Digest(buffer, static_cast<std::size_t>(n));
                if (wasEmpty && m_inbox.size() > m_inboxStart && m_dataWake >= 0) {
                    std::uint64_t one = 1;
                    [[maybe_unused]] ssize_t w = ::write(m_dataWake, &one, sizeof one);
                }
                if (static_cast<std::size_t>(n) < sizeof buffer) break;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            // The server closed the connection (end of stream), or the system says why it ended.
            m_ended = (n == 0) ? ECONNRESET : errno;
            return false;
        }
    }
    FlushOwedReplies();
    return true;
}

ssize_t CNetworkLine::Receive(void* out, std::size_t count) {
    TakeIn();
    std::lock_guard lock(m_stateMutex);
    const std::size_t waiting = m_inbox.size() - m_inboxStart;
    if (waiting == 0) {
        errno = m_ended ? m_ended : EAGAIN;
        return -1;
    }
    const std::size_t n = std::min(count, waiting);
    std::copy_n(m_inbox.data() + m_inboxStart, n, static_cast<char*>(out));
    m_inboxStart += n;
    if (m_inboxStart == m_inbox.size()) {
        m_inbox.clear();
        m_inboxStart = 0;
    }
    return static_cast<ssize_t>(n);
}

int CNetworkLine::Queued() {
    TakeIn();
    std::lock_guard lock(m_stateMutex);
    const std::size_t waiting = m_inbox.size() - m_inboxStart;
    if (waiting == 0 && m_ended) {
        errno = m_ended;
        return -1;
    }
    return static_cast<int>(std::min<std::size_t>(waiting, 0x7FFFFFFF));
}

int CNetworkLine::Ended() const {
    std::lock_guard lock(m_stateMutex);
    return m_ended;
}

std::string CNetworkLine::TakeNotice() {
    TakeIn();  // an answer that has come is judged now
    std::lock_guard lock(m_stateMutex);
    std::string notice;
    notice.swap(m_notice);
    return notice;
}

void CNetworkLine::PurgeReceived() {
    TakeIn();
    {
        std::lock_guard lock(m_stateMutex);
        m_inbox.clear();
        m_inboxStart = 0;
    }
    if (!CarriesLineSettings()) return;
    int error = 0;
    SendCommands(rfc2217::SetByte(rfc2217::kPurgeData, rfc2217::kPurgeReceived), error);
}

// ---- sending ------------------------------------------------------------------------------

std::size_t CNetworkLine::SendRaw(const std::string& wire, std::int64_t deadline, int& error) {
    std::size_t sent = 0;
    while (sent < wire.size()) {
        ssize_t n = ::send(m_fd, wire.data() + sent, wire.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            std::lock_guard lock(m_stateMutex);
            if (!m_ended) m_ended = error;
            return sent;
        }
        pollfd p{m_fd, POLLOUT, 0};
        int r = ::poll(&p, 1, PollTimeout(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            error = ETIMEDOUT;
            return sent;
        }
        if (r < 0) {
            error = errno;
            return sent;
        }
    }
    return sent;
}

void CNetworkLine::FlushOwedReplies() {
    // A sender busy with a message of its own sends the replies when it is done.
    std::unique_lock send(m_sendMutex, std::try_to_lock);
    if (!send.owns_lock()) return;
    std::string owed;
    {
        std::lock_guard lock(m_stateMutex);
        owed.swap(m_owed);
    }
    if (owed.empty()) return;
    int error = 0;
    SendRaw(owed, NowMs() + kCommandSendLimitMs, error);
}

bool CNetworkLine::SendCommands(const std::string& commands, int& error) {
    {
        std::lock_guard send(m_sendMutex);
        std::string wire;
        {
            std::lock_guard lock(m_stateMutex);
            wire.swap(m_owed);
            if (m_ended) {
                error = m_ended;
                return false;
            }
        }
        wire += commands;
        if (SendRaw(wire, NowMs() + kCommandSendLimitMs, error) != wire.size()) {
            // A command cut short leaves the server reading its rest as data: the connection
            // cannot be trusted any more.
            std::lock_guard lock(m_stateMutex);
            if (!m_ended) m_ended = error ? error : EIO;
            return false;
        }
    }
    FlushOwedReplies();  // what was owed while this thread was sending
    return true;
}

int CNetworkLine::SendData(const void* data, int count, std::int64_t deadline, int& error) {
    if (count <= 0) return 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string wire;
    int handedOver = count;
    {
        std::lock_guard send(m_sendMutex);
        {
            std::lock_guard lock(m_stateMutex);
            wire.swap(m_owed);
            if (m_ended) {
                error = m_ended;
                return 0;
            }
        }
        const std::size_t owedLength = wire.size();
        if (CarriesLineSettings())
            telnet::AppendEscaped(wire, bytes, static_cast<std::size_t>(count));
        else
            wire.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
        std::size_t sent = SendRaw(wire, deadline, error);
        if (sent < wire.size()) {
            if (sent < owedLength) {
                // Not even the owed replies went out whole: the stream is cut in a command.
                std::lock_guard lock(m_stateMutex);
                if (!m_ended) m_ended = error ? error : EIO;
                return 0;
            }
            // Count the data bytes that went out; a doubled IAC cut in two gets its second
            // half, or the server would read the next byte as a command.
            handedOver = 0;
            std::size_t i = owedLength;
            while (i < sent) {
                if (CarriesLineSettings() && std::uint8_t(wire[i]) == telnet::kIac) {
                    if (i + 1 == sent) {
                        int more = 0;
                        if (SendRaw(std::string(1, char(telnet::kIac)), NowMs() + kCommandSendLimitMs,
                                    more) != 1) {
                            std::lock_guard lock(m_stateMutex);
                            if (!m_ended) m_ended = more ? more : EIO;
                        }
                        sent = i + 2;
                    }
                    i += 2;
                } else {
                    ++i;
                }
                ++handedOver;
            }
        }
    }
    FlushOwedReplies();
    return handedOver;
}

bool CNetworkLine::ApplyLine(const termios& tio, int& error) {
    if (!CarriesLineSettings()) return true;
    const rfc2217::LineSettings wanted = rfc2217::FromTermios(tio);
    std::string commands;
    {
        std::lock_guard lock(m_stateMutex);
        commands = rfc2217::ChangeCommands(m_farLine, wanted);
        if (!m_farLine) {
            // The first setting also raises DTR and RTS, as a device's open does. Servers in
            // front of devices without modem lines never answer these; nothing waits for it.
            commands += rfc2217::SetByte(rfc2217::kSetControl, rfc2217::kDtrOn);
            if (wanted.flowControl != rfc2217::kHardwareFlowControl)
                commands += rfc2217::SetByte(rfc2217::kSetControl, rfc2217::kRtsOn);
        }
        // Remember what each command asked, to judge the server's answers.
        telnet::CDecoder reader;
        std::string ignored;
        std::vector<telnet::Command> parsed;
        reader.Feed(commands.data(), commands.size(), ignored, parsed);
        for (const auto& c : parsed)
            if (!c.payload.empty()) m_judge.Sent(std::uint8_t(c.payload[0]), c.payload.substr(1));
        m_farLine = wanted;
    }
    if (commands.empty()) return true;
    return SendCommands(commands, error);
}

bool CNetworkLine::SetBreak(bool on, int& error) {
    if (!CarriesLineSettings()) {
        error = EOPNOTSUPP;
        return false;
    }
    const std::uint8_t value = on ? rfc2217::kBreakOn : rfc2217::kBreakOff;
    {
        std::lock_guard lock(m_stateMutex);
        m_judge.Sent(rfc2217::kSetControl, std::string(1, char(value)));
    }
    return SendCommands(rfc2217::SetByte(rfc2217::kSetControl, value), error);
}

void CNetworkLine::Close(std::int64_t drainDeadline) {
    if (m_fd < 0) return;
    FlushOwedReplies();
    // What was sent must reach the server (the 'G' that starts a program): wait until it has
    // acknowledged everything, bounded; then say that nothing more comes and read until the
    // server closes too, so a close with unread input never resets the connection under
    // bytes still on their way.
    for (;;) {
        int unacknowledged = 0;
        if (::ioctl(m_fd, SIOCOUTQ, &unacknowledged) != 0 || unacknowledged <= 0) break;
        if (NowMs() >= drainDeadline || Ended()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::shutdown(m_fd, SHUT_WR);
    const std::int64_t closeDeadline = NowMs() + 1000;
    unsigned char sink[4096];
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        int r = ::poll(&p, 1, PollTimeout(closeDeadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        ssize_t n = ::recv(m_fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n <= 0 && !(n < 0 && (errno == EINTR || errno == EAGAIN))) break;
    }
    ::close(m_fd);
    m_fd = -1;
}
