#pragma once
// A real ser2net for tests: serves one device (a simulated board's pseudo-terminal) on
// 127.0.0.1 at a free port, from a configuration written for it, in the foreground of a child
// process. Stop() and the destructor end that process by its pid; Start() runs it again on the
// same port (a server that went away and came back).

#include <sys/types.h>

#include <string>

struct Ser2netOptions {
    bool rfc2217 = true;     // telnet(rfc2217) accepter, else raw tcp
    bool chardelay = false;  // ser2net's wait for more characters before it sends
};

class CSer2netServer {
public:
    // Throws std::runtime_error when ser2net is missing or does not start listening within
    // a few seconds.
    CSer2netServer(const std::string& device, Ser2netOptions options = {});
    ~CSer2netServer();
    CSer2netServer(const CSer2netServer&) = delete;
    CSer2netServer& operator=(const CSer2netServer&) = delete;

    int Port() const { return m_port; }
    // "rfc2217://127.0.0.1:PORT" or "tcp://127.0.0.1:PORT".
    std::string Url() const;
    void Start();
    void Stop();
    bool Running() const { return m_pid > 0; }

    // A TCP port nobody listens on now.
    static int FreePort();

private:
    std::string m_device;
    Ser2netOptions m_options;
    int m_port = 0;
    std::string m_dir;  // the configuration, pid file and log
    pid_t m_pid = -1;
};
