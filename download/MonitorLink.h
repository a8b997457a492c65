#pragma once
// The small operations the monitor dialogues are written in: polled reads that never wait,
// a read that drains the line until it is quiet, sends, a baud switch and the wake-up.
// Every wait in a dialogue is an explicit sleep followed by a look at what has arrived.
// The watcher must be stopped: these are the only readers of the port while they run.

#include <cstdint>
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

class CMonitorLink {
public:
    explicit CMonitorLink(CCommPort& port) : m_port(port) {}

    // Clears any pending line error; the low 16 bits of the input-queue count (0 if unknown).
    std::uint16_t LinkBytesWaiting();
    // One byte if one is queued, else kNothingRead at once.
    ReceivedByte LinkReadByte();
    // The next byte, waiting for it until deadlineMs (a SteadyNowMs() time) has passed;
    // kNothingRead when none came by then or the device is gone.
    ReceivedByte LinkWaitByte(std::int64_t deadlineMs);
    // Discards input until the line has been quiet for quietMs; the last byte read, or
    // kNothingRead when none arrived. Always sleeps at least once.
    ReceivedByte LinkDrain(int quietMs);
    int LinkSendString(const std::string& text);
    int LinkSendBlock(const void* buffer, int length);
    int LinkSendByte(int value);
    bool LinkSetBaud(DWORD baud);
    // Prods the monitor until its prompt ('>' or a space) is seen; false after five tries.
    bool WakeMonitor();

    CCommPort& Port() { return m_port; }

private:
    CCommPort& m_port;
};
