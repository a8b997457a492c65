#pragma once
// A small RFC 2217 server of the tests' own, on 127.0.0.1 at a free port: it records the exact
// bytes each client sends, with the time each piece came, agrees to the COM port option and
// answers the line commands as told, and sends the client what the test gives it. One client
// at a time, served on a thread of its own.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct Rfc2217RecorderOptions {
    bool agreeComPort = true;         // answer WILL COM-PORT-OPTION with DO (else DONT)
    bool answerNegotiation = true;    // answer the telnet options at all
    bool acknowledgeControl = false;  // answer SET-CONTROL (a device without modem lines: never)
    bool acknowledgeSettings = true;  // answer SET-BAUDRATE and the format commands
    std::uint32_t forcedBaud = 0;     // answer every SET-BAUDRATE with this rate (0: as asked)
};

class CRfc2217Recorder {
public:
    using Clock = std::chrono::steady_clock;
    struct Piece {
        Clock::time_point when;
        std::string bytes;
    };

    explicit CRfc2217Recorder(Rfc2217RecorderOptions options = {});
    ~CRfc2217Recorder();
    CRfc2217Recorder(const CRfc2217Recorder&) = delete;
    CRfc2217Recorder& operator=(const CRfc2217Recorder&) = delete;

    int Port() const { return m_port; }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(m_port); }

    // Everything the clients sent, in order.
    std::string Received() const;
    std::vector<Piece> Pieces() const;
    // Waits until Received() contains `bytes`, at most limit.
    bool WaitForReceived(const std::string& bytes,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // The first time `bytes` was complete in what came (Clock::time_point{} when never).
    Clock::time_point WhenReceived(const std::string& bytes) const;
    bool WaitForClient(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // Sends raw bytes to the connected client (the test escapes what must be escaped).
    bool Send(const std::string& bytes);
    // Closes the client's connection (the server going away mid-session).
    void DropClient();

private:
    void Serve();
    void Answer(const std::string& all, std::size_t& parsed);

    Rfc2217RecorderOptions m_options;
    int m_listen = -1;
    int m_port = 0;
    int m_stopPipe[2] = {-1, -1};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Piece> m_pieces;
    std::string m_received;
    int m_client = -1;
    std::thread m_thread;
};
