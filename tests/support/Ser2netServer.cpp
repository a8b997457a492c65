#include "Ser2netServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

// True when something listens on the TCP port (looked up in the kernel's table, so the
// server sees no probing connection).
bool Listening(int port) {
    char local[16];
    std::snprintf(local, sizeof local, ":%04X", port);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, localAddress, remote, state;
            fields >> slot >> localAddress >> remote >> state;
            if (state == "0A" && localAddress.size() > 5 &&
                localAddress.compare(localAddress.size() - 5, 5, local) == 0)
                return true;
        }
    }
    return false;
}

}  // namespace

int CSer2netServer::FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("no free TCP port");
    }
    ::close(fd);
    return ntohs(a.sin_port);
}

CSer2netServer::CSer2netServer(const std::string& device, Ser2netOptions options)
    : m_device(device), m_options(options), m_port(FreePort()) {
    char dir[] = "/tmp/tarvoline-ser2net-XXXXXX";
    if (!::mkdtemp(dir)) throw std::runtime_error("cannot make a directory for ser2net");
    m_dir = dir;
    std::ofstream config(m_dir + "/ser2net.yaml");
    config << "%YAML 1.1\n---\n"
           << "connection: &board\n"
           << "  accepter: " << (m_options.rfc2217 ? "telnet(rfc2217)," : "") << "tcp,127.0.0.1,"
           << m_port << "\n"
           << "  connector: serialdev," << m_device << ",9600n81,local\n"
           << "  enable: on\n"
           << "  options:\n"
           << "    kickolduser: true\n"
           << "    chardelay: " << (m_options.chardelay ? "true" : "false") << "\n";
    config.close();
    if (!config) throw std::runtime_error("cannot write the ser2net configuration");
    Start();
}

CSer2netServer::~CSer2netServer() {
    Stop();
    std::string cleanup = m_dir;
    std::remove((cleanup + "/ser2net.yaml").c_str());
    std::remove((cleanup + "/ser2net.pid").c_str());
    std::remove((cleanup + "/ser2net.log").c_str());
    ::rmdir(cleanup.c_str());
}

std::string CSer2netServer::Url() const {
    return std::string(m_options.rfc2217 ? "rfc2217://" : "tcp://") + "127.0.0.1:" +
           std::to_string(m_port);
}

void CSer2netServer::Start() {
    if (m_pid > 0) return;
    const std::string config = m_dir + "/ser2net.yaml";
    const std::string pidFile = m_dir + "/ser2net.pid";
    const std::string log = m_dir + "/ser2net.log";
    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("cannot start ser2net");
    if (pid == 0) {
        // Only calls that are safe after a fork of a threaded process, until the exec.
        int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
        }
        ::close_range(3, ~0U, 0);  // the board's and the test's descriptors stay theirs
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test that dies takes its server with it
        // -n: stay in the foreground, so the pid is the server's; -u: no lock files.
        ::execlp("ser2net", "ser2net", "-n", "-u", "-P", pidFile.c_str(), "-c", config.c_str(),
                 static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    m_pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Listening(m_port)) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("ser2net ended at once (see " + log + ")");
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            throw std::runtime_error("ser2net did not listen on its port within 10 s");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void CSer2netServer::Stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) != m_pid) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
    // The port is free again once the server has gone: a restart must find it so.
    const auto freed = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Listening(m_port) && std::chrono::steady_clock::now() < freed)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}
