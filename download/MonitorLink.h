#pragma once
// The small operations the monitor dialogues are written in: polled reads that never wait,
// a read that drains the line until it is quiet, sends, a baud switch and the wake-up.
// Every wait in a dialogue is an explicit sleep followed by a look at what has arrived.
// The watcher must be stopped: these are the only readers of the port while they run.

#include <cstdint>
#include <functional>
#include <string>

#include "comm/CommPort.h"

// A received byte, 0 to 255, or kNothingRead. A received 0xFF is a byte like any other.
using ReceivedByte = int;
inline constexpr ReceivedByte kNothingRead = -1;

// The byte as messages print it: a signed 8-bit number (0xC8 prints as -56).
int SignedByteValue(ReceivedByte byte);

void SleepMs(int milliseconds);
// Milliseconds of the monotonic clock, for deadlines.
std::int64_t SteadyNowMs();

// Every wait looks at the stop test at least every kStopCheckMs, so Cancel, Ctrl-C or a
// lost device ends it within that time; what the caller then gets is "nothing arrived", and
// Stopped() or Lost() says why.
inline constexpr int kStopCheckMs = 10;
// A drain ends its wait when the line has not been quiet for this long: a board that keeps
// talking never holds a dialogue.
inline constexpr int kDrainLimitMs = 2000;

class CMonitorLink {
public:
    using StopTest = std::function<bool()>;

    explicit CMonitorLink(CCommPort& port, StopTest stop = {})
        : m_port(port), m_stop(std::move(stop)) {}

    // Clears any pending line error; the low 16 bits of the input-queue count (0 if unknown).
    std::uint16_t LinkBytesWaiting();
    // One byte if one is queued, else kNothingRead at once.
    ReceivedByte LinkReadByte();
    // The next byte, waiting for it until deadlineMs (a SteadyNowMs() time) has passed;
    // kNothingRead when none came by then, or the wait was stopped.
    ReceivedByte LinkWaitByte(std::int64_t deadlineMs);
    // Discards input until the line has been quiet for quietMs; the last byte read, or
    // kNothingRead when none arrived, the line never went quiet within kDrainLimitMs, or the
    // wait was stopped. Always sleeps at least once. With `kept`, the bytes read are added to
    // it (what the board said at the end of a dialogue, for the terminal).
    ReceivedByte LinkDrain(int quietMs, std::string* kept = nullptr);
    // Sleeps ms milliseconds; false, early, when the stop test says so or the device is gone.
    bool Pause(int ms);
    int LinkSendString(const std::string& text);
    int LinkSendBlock(const void* buffer, int length);
    int LinkSendByte(int value);
    bool LinkSetBaud(DWORD baud);
    // Prods the monitor until its prompt ('>' or a space) is seen; false after five tries, or
    // at once when stopped or the device is gone.
    bool WakeMonitor();

    // The user (or a signal) asked the dialogue to stop.
    bool Stopped() const { return m_stop && m_stop(); }
    // The device went away (unplugged, hung up).
    bool Lost() const { return m_port.DeviceLostError() != 0; }
    bool Interrupted() const { return Stopped() || Lost(); }

    CCommPort& Port() { return m_port; }

private:
    CCommPort& m_port;
    StopTest m_stop;
};
