#include "pty_line.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "line_format.h"

namespace vivaz {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyLine openPtyLine(unsigned baud) {
    PtyLine line;
    char name[256] = {};
    if (::openpty(&line.master, &line.slave, name, nullptr, nullptr) != 0) {
        fail("openpty");
    }
    line.slavePath = name;
    termios t{};
    if (::tcgetattr(line.slave, &t) != 0) {
        const int e = errno;
        closePtyLine(line);
        errno = e;
        fail("tcgetattr " + line.slavePath);
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSTOPB | HUPCL);
    const speed_t speed = speedConstant(baud) ? speedConstant(baud) : B9600;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(line.slave, TCSANOW, &t) != 0) {
        const int e = errno;
        closePtyLine(line);
        errno = e;
        fail("tcsetattr " + line.slavePath);
    }
    const int flags = ::fcntl(line.master, F_GETFL);
    ::fcntl(line.master, F_SETFL, flags | O_NONBLOCK);
    ::fcntl(line.master, F_SETFD, FD_CLOEXEC);
    ::fcntl(line.slave, F_SETFD, FD_CLOEXEC);
    return line;
}

void closePtyLine(PtyLine& line) {
    if (line.slave >= 0) {
        ::close(line.slave);
    }
    if (line.master >= 0) {
        ::close(line.master);
    }
    line.slave = line.master = -1;
}

void makeDeviceLink(const std::string& link, const std::string& target) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            fail(link + " exists and is not a symbolic link");
        }
        if (::unlink(link.c_str()) != 0) {
            fail("unlink " + link);
        }
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        fail("symlink " + link + " -> " + target);
    }
}

}  // namespace vivaz
