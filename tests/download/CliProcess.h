#pragma once
// tarvoline-cli run as a user runs it, for the tests of its commands that stay on the line:
// a configuration directory of its own (a stored port that does not exist, 9600 baud),
// standard output and error into files, a time limit on every wait for its end.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

inline std::string SlurpFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool PollFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// A load file of the given image for textStart, with the short header.
inline std::string LoadFileOf(std::uint32_t textStart, const std::string& image) {
    std::string file(28, '\0');
    file[0] = 0x60;
    file[1] = 0x1A;
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = static_cast<char>(image.size() >> (24 - 8 * i));
        file[22 + i] = static_cast<char>(textStart >> (24 - 8 * i));
    }
    return file + image;
}

class CCliProcess {
public:
    CCliProcess() {
        dir = ::testing::TempDir() + "/cli-line-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir + "/config/Hollowbrook Works");
        std::ofstream(dir + "/config/Hollowbrook Works/Tarvoline.conf")
            << "[COM%20Settings]\nCOM%20Port=COM200\nBaud%20Rate=9600\n"
               "Baud%20Rate%20Tv%20Download=115200\n";
    }
    ~CCliProcess() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        return dir + "/" + name;
    }

    // Starts the program with these arguments. stdinFd, stdoutFd: descriptors the child takes
    // as its standard input and output (-1: /dev/null and the file "out"); stderr goes to
    // the file "err" unless stderrFd is given. setup runs in the child before exec.
    void Start(const std::vector<std::string>& arguments, int stdinFd = -1, int stdoutFd = -1,
               int stderrFd = -1, const std::function<void()>& setup = {}) {
        std::vector<std::string> args = {program};
        args.insert(args.end(), arguments.begin(), arguments.end());
        const std::string config = dir + "/config", out = dir + "/out", err = dir + "/err";
        pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (setup) setup();
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            int in = stdinFd >= 0 ? stdinFd : ::open("/dev/null", O_RDONLY);
            int o = stdoutFd >= 0 ? stdoutFd : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = stderrFd >= 0 ? stderrFd : ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(in, 0);
            ::dup2(o, 1);
            ::dup2(e, 2);
            for (int fd = 3; fd < 256; ++fd) ::close(fd);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    // The exit code once the program has ended (at most limit); -1 if it did not end or was
    // killed by a signal.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }
    int Signal(int sig) { return ::kill(pid, sig); }
    std::string Out() const { return SlurpFile(dir + "/out"); }
    std::string Err() const { return SlurpFile(dir + "/err"); }

    std::string program = TARVOLINE_CLI;
    std::string dir;
    pid_t pid = -1;
};
