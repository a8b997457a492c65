#pragma once
// The small operations the monitor dialogues are written in: polled reads that never wait,
// a read that drains the line until it is quiet, sends, a baud switch and the wake-up.
// Every wait in a dialogue is an explicit sleep followed by a look at what has arrived.
// The watcher must be stopped: these are the only readers of the port while they run.

#include <cstdint>
#include <functional>
#include <string>

#include "comm/CommPort.h"

class CPromptSpotter;

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
// How long the host keeps looking for an answer once a dialogue's own pause is over. A
// board's answer comes late on a busy host, behind a USB adapter's latency timer, on a link
// with a long round trip (Bluetooth, a board reached over a network), or when the host's
// writes return before the bytes are on the wire.
inline constexpr int kAnswerDeadlineMs = 2500;
// SteadyNowMs() + kAnswerDeadlineMs.
std::int64_t AnswerDeadline();

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
    // it (what the board said at the end of a dialogue, for the terminal). With `prompt`,
    // every byte read is shown to it, and the drain ends as soon as it has seen a prompt.
    ReceivedByte LinkDrain(int quietMs, std::string* kept = nullptr,
                           CPromptSpotter* prompt = nullptr);
    // An answer judged by the last byte before a quiet time: first one LinkDrain(quietMs), the
    // look a fast line needs; when its last byte is not accepted, the answer may still be on
    // its way, so each later burst is drained the same way until one ends in an accepted byte
    // or deadlineMs passes with nothing accepted. True when the answer came (or `prompt` saw
    // one); false on the deadline, a stop or a lost device.
    using AnswerTest = std::function<bool(ReceivedByte last)>;
    bool LinkAwaitAnswer(int quietMs, std::int64_t deadlineMs, const AnswerTest& accept,
                         std::string* kept = nullptr, CPromptSpotter* prompt = nullptr);
    // Waits until a byte is queued (or the line hung up, which the next read tells); false when
    // the deadline passed, the wait was stopped or the device went away.
    bool WaitForBytes(std::int64_t deadlineMs);
    // Sleeps ms milliseconds; false, early, when the stop test says so or the device is gone.
    bool Pause(int ms);
    int LinkSendString(const std::string& text);
    int LinkSendBlock(const void* buffer, int length);
    int LinkSendByte(int value);
    bool LinkSetBaud(DWORD baud);
    // Prods the monitor until its prompt is seen: '>' or a space as the last byte before a
    // quiet time, or a prompt in the middle of text that never pauses (CPromptSpotter). An
    // answer to an earlier prod counts as well as one to the last; after the fifth the host
    // goes on looking until kAnswerDeadlineMs has passed. False then, or at once when stopped
    // or the device is gone.
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
