#pragma once
// Another program holding a serial device: flock(1) takes the device's exclusive lock (the lock
// the program's own port takes when it opens one) and keeps it until its standard input ends.
// A real second process, as a terminal program or a flashing script on the same port is.

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

extern char** environ;

class CPortHolder {
public:
    // Returns once the lock is held (within a few seconds), else throws.
    explicit CPortHolder(const std::string& device) : m_device(device) {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
        const char* argv[] = {"flock", "--exclusive", device.c_str(), "cat", nullptr};
        const int failed = ::posix_spawnp(&m_pid, "flock", &actions, nullptr,
                                          const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[0]);
        m_stdin = pipeFds[1];
        if (failed != 0) {
            ::close(m_stdin);
            throw std::runtime_error("cannot start flock");
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!Held()) {
            if (std::chrono::steady_clock::now() > end) {
                Release();
                throw std::runtime_error("flock did not take " + device);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~CPortHolder() { Release(); }
    CPortHolder(const CPortHolder&) = delete;
    CPortHolder& operator=(const CPortHolder&) = delete;

    // Lets go: the holder ends, and with it its lock.
    void Release() {
        if (m_stdin >= 0) ::close(m_stdin);
        m_stdin = -1;
        if (m_pid <= 0) return;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_pid = -1;
    }

private:
    // The device's lock is taken by somebody else.
    bool Held() const {
        const int fd = ::open(m_device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        const bool taken = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        return taken;
    }

    std::string m_device;
    pid_t m_pid = -1;
    int m_stdin = -1;
};
