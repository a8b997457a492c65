#pragma once
// The network side of a port named rfc2217://HOST:PORT or tcp://HOST:PORT: the TCP connection
// (bounded connect, Nagle off, keep-alive so a silent dead peer is noticed) and, for RFC 2217,
// the telnet layer over it. CCommPort uses it in place of a terminal device; the socket is
// polled like the device's descriptor, and the reads here hand out data bytes only.
//
// Threads: receiving (the watcher, or a dialogue while the watcher is stopped) and sending
// (writes, line settings, break) may run on different threads at once. Replies the telnet
// layer owes the server are sent by whichever thread may send at that moment, never inside
// another send, so they never cut a write's bytes apart.

#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CommTypes.h"
#include "NetworkPortName.h"
#include "Rfc2217.h"
#include "TelnetCodec.h"

class CNetworkLine {
public:
    // The longest a connect (and the negotiation after it) may take.
    static constexpr int kConnectLimitMs = 5000;
    // How long a line command (rate, break, purge) may wait for room to be sent.
    static constexpr int kCommandSendLimitMs = 5000;

    // Connects and, for RFC 2217, negotiates. Null on failure, with the reason in error: an
    // error number, or one of the codes in SystemError.h.
    static std::unique_ptr<CNetworkLine> Open(const std::string& name, DWORD& error);
    ~CNetworkLine();
    CNetworkLine(const CNetworkLine&) = delete;
    CNetworkLine& operator=(const CNetworkLine&) = delete;

    int Fd() const { return m_fd; }
    // An eventfd written to whenever data comes into an empty inbox, so a thread waiting on the
    // socket learns of data another thread took in meanwhile.
    void SetDataWake(int eventFd) { m_dataWake = eventFd; }
    const CNetworkPortName& Name() const { return m_name; }
    // Line settings, break and purge reach the far port (RFC 2217), or not (raw TCP).
    bool CarriesLineSettings() const { return m_name.protocol == NetworkProtocol::Rfc2217; }

    // Like read(2) on the data: >0 bytes taken, or -1 with errno: EAGAIN for no data now, else
    // why the connection ended (once nothing is left). Takes in what the socket holds first.
    ssize_t Receive(void* out, std::size_t count);
    // Takes in what the socket holds now; the data bytes waiting, or -1 with errno when the
    // connection has ended and none are left.
    int Queued();
    // Why the connection ended (ECONNRESET for a close by the server), 0 while it stands.
    int Ended() const;

    // Sends the data (IACs doubled for RFC 2217), waiting for room until deadlineMs (a
    // steady-clock time in ms, -1 without limit). The data bytes handed over; error set when
    // fewer, ETIMEDOUT when the time ran out.
    int SendData(const void* data, int count, std::int64_t deadlineMs, int& error);
    // The commands that put the far port's line as tio says; only what changed since the last
    // one is sent. True without sending anything on a raw port.
    bool ApplyLine(const termios& tio, int& error);
    bool SetBreak(bool on, int& error);
    // Drops what has come and what the server holds for this side.
    void PurgeReceived();
    // The last value the server refused, or empty; told once.
    std::string TakeNotice();

    // Waits (bounded) until the server has taken what was sent, tells it nothing more comes,
    // and closes.
    void Close(std::int64_t drainDeadlineMs);

private:
    CNetworkLine(CNetworkPortName name, int fd) : m_name(std::move(name)), m_fd(fd) {}
    bool Negotiate(DWORD& error);
    // Reads what the socket holds; false once the connection has ended.
    bool TakeIn();
    void Digest(const unsigned char* bytes, std::size_t size);
    // Sends bytes whole, waiting for room until deadlineMs; the bytes sent.
    std::size_t SendRaw(const std::string& wire, std::int64_t deadlineMs, int& error);
    bool SendCommands(const std::string& commands, int& error);
    void FlushOwedReplies();

    const CNetworkPortName m_name;
    int m_fd = -1;
    int m_dataWake = -1;

    mutable std::mutex m_stateMutex;  // everything below it, held only briefly
    telnet::CDecoder m_decoder;
    telnet::CNegotiation m_negotiation;
    rfc2217::CAnswerJudge m_judge;
    std::string m_inbox;     // data bytes taken in and not yet read
    std::size_t m_inboxStart = 0;
    std::string m_owed;      // replies owed to the server
    std::string m_notice;
    int m_ended = 0;
    std::optional<rfc2217::LineSettings> m_farLine;

    std::mutex m_sendMutex;  // one sender at a time, for a whole message
};
