#pragma once
// A pseudo-terminal pair for tests: the slave is the "serial device" the program opens; the
// test plays the far end on the master. The test keeps a slave descriptor open, as a board
// simulator does, so the program closing the device never hangs the line up.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

class CTestPty {
public:
    CTestPty() {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        m_path = name;
        termios t{};
        ::tcgetattr(m_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~CTestPty() {
        CloseMaster();
        if (m_slave >= 0) ::close(m_slave);
    }
    CTestPty(const CTestPty&) = delete;
    CTestPty& operator=(const CTestPty&) = delete;

    const std::string& SlavePath() const { return m_path; }
    int Master() const { return m_master; }
    void CloseMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

    // Writes everything, waiting while the line is full.
    void Write(const void* data, size_t size) {
        auto* p = static_cast<const unsigned char*>(data);
        while (size > 0) {
            ssize_t n = ::write(m_master, p, size);
            if (n > 0) {
                p += n;
                size -= static_cast<size_t>(n);
            } else {
                pollfd pf{m_master, POLLOUT, 0};
                ::poll(&pf, 1, 100);
            }
        }
    }
    void Write(const std::string& s) { Write(s.data(), s.size()); }
    // Writes what the line takes within `limit`; the number of bytes written. For a far end
    // that must be able to stop while nobody reads the line.
    size_t WriteSome(const std::string& s, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        size_t done = 0;
        while (done < s.size()) {
            ssize_t n = ::write(m_master, s.data() + done, s.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd pf{m_master, POLLOUT, 0};
            ::poll(&pf, 1, static_cast<int>(left.count()));
        }
        return done;
    }

    // Reads what the program sent until count bytes came or the time passed.
    std::string Read(size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
        std::string out;
        auto end = std::chrono::steady_clock::now() + limit;
        while (out.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd pf{m_master, POLLIN, 0};
            if (::poll(&pf, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[4096];
            ssize_t n = ::read(m_master, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }

    termios SlaveTermios() const {
        termios t{};
        ::tcgetattr(m_master, &t);
        return t;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};
