#include "host_line.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "line_format.h"

namespace vivaz::test {

using namespace std::chrono_literals;

HostLine::HostLine(const std::string& device) {
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "open " + device);
    }
    setLine(9600, 1);
}

HostLine::~HostLine() {
    ::close(fd_);
}

void HostLine::setLine(unsigned baud, int stopBits) {
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (stopBits == 2) {
        t.c_cflag |= CSTOPB;
    } else {
        t.c_cflag &= ~CSTOPB;
    }
    ::cfsetispeed(&t, speedConstant(baud));
    ::cfsetospeed(&t, speedConstant(baud));
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        throw std::system_error(errno, std::generic_category(), "tcsetattr");
    }
}

void HostLine::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "write");
        }
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
}

std::size_t HostLine::writeNow(std::string_view bytes) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
        throw std::system_error(errno, std::generic_category(), "write");
    }
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::string HostLine::readNow() {
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) {
            return out;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
}

bool HostLine::readUntil(std::string_view needle, std::string& got,
                         std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        got += readNow();
        if (got.find(needle) != std::string::npos) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
}

int HostLine::drain(std::chrono::milliseconds quiet, std::string* got) {
    int last = -1;
    for (;;) {
        const std::string now = readNow();
        if (!now.empty()) {
            last = static_cast<unsigned char>(now.back());
            if (got)
                *got += now;
        }
        std::this_thread::sleep_for(quiet);
        const std::string more = readNow();
        if (more.empty()) {
            return last;
        }
        last = static_cast<unsigned char>(more.back());
        if (got)
            *got += more;
    }
}

std::string hostLoad(HostLine& line, const std::vector<unsigned char>& image, unsigned address,
                     unsigned rate, unsigned normalRate) {
    line.setLine(normalRate, 2);
    char command[40];
    std::snprintf(command, sizeof command, "LOAD %08X %08X %08X\r", rate, address,
                  static_cast<unsigned>(image.size()));
    std::this_thread::sleep_for(2ms);
    for (const char* p = command; *p; ++p) {
        line.write(std::string_view(p, 1));
        std::this_thread::sleep_for(2ms);
    }
    std::this_thread::sleep_for(250ms);
    std::string answer;
    for (;;) {
        const std::string b = line.readNow();
        answer += b;
        const auto plus = answer.find('+');
        if (plus != std::string::npos) {
            // Keep what follows '+' for the block requests.
            answer = answer.substr(plus + 1);
            break;
        }
        if (b.empty()) {
            line.setLine(normalRate, 1);
            return "no +";
        }
    }
    line.setLine(rate, 2);
    std::this_thread::sleep_for(100ms);
    line.write("+");
    std::size_t sent = 0;
    while (sent < image.size()) {
        const std::size_t n = std::min<std::size_t>(1024, image.size() - sent);
        // A real host looks once, 2 ms after the trailer; this one allows a sanitizer-slowed
        // board 50 ms, still far less than a late request's delay.
        const auto end = std::chrono::steady_clock::now() + 50ms;
        do {
            std::this_thread::sleep_for(2ms);
            answer += line.readNow();
        } while (answer.empty() && std::chrono::steady_clock::now() < end);
        if (answer.empty() || answer.front() != '=') {
            line.setLine(normalRate, 1);
            return answer.empty() ? "=timeout" : "reply " + std::to_string(answer.front());
        }
        answer.erase(0, 1);
        const char length[2] = {static_cast<char>(n >> 8), static_cast<char>(n & 0xFF)};
        line.write(std::string_view(length, 2));
        line.write(std::string_view(reinterpret_cast<const char*>(image.data() + sent), n));
        std::this_thread::sleep_for(2ms);
        line.write(std::string_view("\0", 1));
        std::this_thread::sleep_for(2ms);
        line.write(std::string_view("\0", 1));
        sent += n;
    }
    std::this_thread::sleep_for(10ms);
    line.write(std::string_view("\0", 1));
    std::this_thread::sleep_for(1ms);
    line.write(std::string_view("\0", 1));
    std::this_thread::sleep_for(100ms);
    for (;;) {
        answer += line.readNow();
        if (answer.empty()) {
            line.setLine(normalRate, 1);
            return "no -";
        }
        const char c = answer.front();
        answer.erase(0, 1);
        if (c == '-') {
            line.setLine(normalRate, 1);
            return "ok";
        }
        if (c == '&') {
            line.write(std::string_view("\0", 1));
            std::this_thread::sleep_for(100ms);
        }
    }
}

std::string hostRecords(HostLine& line, std::string_view command, std::string_view text,
                        unsigned normalRate) {
    line.write("tom8\r");
    std::this_thread::sleep_for(500ms);
    if (line.drain(500ms) != '>') {
        return "no > after tom8";
    }
    line.write(command);
    std::this_thread::sleep_for(10ms);
    if (line.drain(100ms) != '%') {
        line.setLine(normalRate);
        return "no % after the loader command";
    }
    line.setLine(57600);
    line.write(text);
    if (line.drain(500ms) != '%') {
        line.setLine(normalRate);
        return "no % after the records";
    }
    line.setLine(normalRate);
    line.write("%");
    return "ok";
}

}  // namespace vivaz::test
