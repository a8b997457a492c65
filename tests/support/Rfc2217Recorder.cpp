#include "Rfc2217Recorder.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

constexpr unsigned char IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;

}  // namespace

CRfc2217Recorder::CRfc2217Recorder(Rfc2217RecorderOptions options) : m_options(options) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(m_listen, 4) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        ::pipe2(m_stopPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("the recorder cannot listen");
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

CRfc2217Recorder::~CRfc2217Recorder() {
    char one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_stopPipe[1], &one, 1);
    m_thread.join();
    ::close(m_listen);
    ::close(m_stopPipe[0]);
    ::close(m_stopPipe[1]);
}

void CRfc2217Recorder::Serve() {
    std::string all;        // what the current client sent
    std::size_t parsed = 0; // how much of it has been answered
    for (;;) {
        int client;
        {
            std::lock_guard lock(m_mutex);
            client = m_client;
        }
        pollfd fds[2] = {{m_stopPipe[0], POLLIN, 0}, {client >= 0 ? client : m_listen, POLLIN, 0}};
        if (::poll(fds, 2, 100) < 0) continue;
        if (fds[0].revents) break;
        if (!(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        if (client < 0) {
            int c = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            all.clear();
            parsed = 0;
            std::lock_guard lock(m_mutex);
            m_client = c;
            m_changed.notify_all();
            continue;
        }
        char buffer[4096];
        ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            std::lock_guard lock(m_mutex);
            ::close(m_client);
            m_client = -1;
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            m_pieces.push_back({Clock::now(), std::string(buffer, size_t(n))});
            m_received.append(buffer, size_t(n));
            m_changed.notify_all();
        }
        all.append(buffer, size_t(n));
        Answer(all, parsed);
    }
    std::lock_guard lock(m_mutex);
    if (m_client >= 0) ::close(m_client);
    m_client = -1;
}

// Answers the complete commands in all[parsed...]: the options, and the line commands as the
// options say. A command cut by the end of what came waits for its rest.
void CRfc2217Recorder::Answer(const std::string& all, std::size_t& parsed) {
    std::string reply;
    std::size_t i = parsed;
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(all[k]); };
    while (i < all.size()) {
        if (byte(i) != IAC) {
            ++i;
            continue;
        }
        if (i + 1 >= all.size()) break;
        const unsigned char verb = byte(i + 1);
        if (verb == IAC) {
            i += 2;
            continue;
        }
        if (verb == WILL || verb == WONT || verb == DO || verb == DONT) {
            if (i + 2 >= all.size()) break;
            const unsigned char option = byte(i + 2);
            if (m_options.answerNegotiation) {
                if (verb == WILL) {
                    const bool agree = option != 44 || m_options.agreeComPort;
                    reply += {char(IAC), char(agree ? DO : DONT), char(option)};
                } else if (verb == DO) {
                    reply += {char(IAC), char(WILL), char(option)};
                }
            }
            i += 3;
            continue;
        }
        if (verb == SB) {
            // Find IAC SE, undoing doubled IACs in the payload.
            std::string payload;
            std::size_t k = i + 2;
            bool complete = false;
            while (k < all.size()) {
                if (byte(k) == IAC) {
                    if (k + 1 >= all.size()) break;
                    if (byte(k + 1) == IAC) {
                        payload += char(IAC);
                        k += 2;
                        continue;
                    }
                    complete = byte(k + 1) == SE;
                    k += 2;
                    break;
                }
                payload += all[k++];
            }
            if (!complete) break;
            if (payload.size() >= 2 && static_cast<unsigned char>(payload[0]) == 44) {
                const unsigned char command = static_cast<unsigned char>(payload[1]);
                std::string value = payload.substr(2);
                bool answer = command == 5 ? m_options.acknowledgeControl
                                           : (command >= 1 && command <= 4 && m_options.acknowledgeSettings);
                if (command == 1 && m_options.forcedBaud != 0) {
                    const std::uint32_t b = m_options.forcedBaud;
                    value = {char(b >> 24), char(b >> 16), char(b >> 8), char(b)};
                }
                if (answer) {
                    reply += {char(IAC), char(SB), char(44), char(command + 100)};
                    for (char c : value) {
                        reply += c;
                        if (static_cast<unsigned char>(c) == IAC) reply += c;
                    }
                    reply += {char(IAC), char(SE)};
                }
            }
            i = k;
            continue;
        }
        i += 2;
    }
    parsed = i;
    if (!reply.empty()) Send(reply);
}

std::string CRfc2217Recorder::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<CRfc2217Recorder::Piece> CRfc2217Recorder::Pieces() const {
    std::lock_guard lock(m_mutex);
    return m_pieces;
}

bool CRfc2217Recorder::WaitForReceived(const std::string& bytes, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit,
                              [&] { return m_received.find(bytes) != std::string::npos; });
}

CRfc2217Recorder::Clock::time_point CRfc2217Recorder::WhenReceived(const std::string& bytes) const {
    std::lock_guard lock(m_mutex);
    std::string sofar;
    for (const Piece& p : m_pieces) {
        sofar += p.bytes;
        if (sofar.find(bytes) != std::string::npos) return p.when;
    }
    return {};
}

bool CRfc2217Recorder::WaitForClient(std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_client >= 0; });
}

bool CRfc2217Recorder::Send(const std::string& bytes) {
    std::lock_guard lock(m_mutex);
    if (m_client < 0) return false;
    return ::send(m_client, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

void CRfc2217Recorder::DropClient() {
    std::lock_guard lock(m_mutex);
    if (m_client >= 0) ::shutdown(m_client, SHUT_RDWR);
}
