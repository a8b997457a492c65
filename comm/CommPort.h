#pragma once
// One open serial device: reads and writes bounded by time-outs, line configuration, break,
// line-error status, and a watcher thread that waits for received characters.
//
// Boolean operations return true on success; on failure the system's error number is kept in
// m_dwLastError (most operations clear it on entry; Read and Write do not). The object is
// usable only when IsOpen() and LastError() == 0 after construction.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "CommTypes.h"

class CNetworkLine;

class CCommPort {
public:
    using ThreadRoutine = DWORD (*)(void* param);
    // How long a close waits for queued output when writes have no time-out.
    static constexpr int kCloseDrainLimitMs = 2000;

    // Opens the device exclusively (it must exist) and gives it the line's starting state. A
    // network port name (rfc2217://HOST:PORT, tcp://HOST:PORT) connects to it instead, within
    // a few seconds; everything else then works as on a device.
    explicit CCommPort(const std::string& device);
    // Stops the watcher, waits until what was written has left (bounded by the write
    // time-outs), discards only the input and closes the device.
    ~CCommPort();
    CCommPort(const CCommPort&) = delete;
    CCommPort& operator=(const CCommPort&) = delete;

    bool IsOpen() const { return m_hComm >= 0; }
    DWORD LastError() const { return m_dwLastError.load(std::memory_order_relaxed); }
    DWORD CommErrors() const { return m_dwCommErrors.load(std::memory_order_relaxed); }
    const std::string& DeviceName() const { return m_device; }
    // The port is reached over the network.
    bool IsNetworkPort() const { return m_net != nullptr; }
    // Rate, format, flow control and break reach the far end of the line: false only for a raw
    // TCP port, whose far side keeps its own settings (they are accepted here, and go nowhere).
    bool CarriesLineSettings() const;
    // The last line setting the far side of a network port refused (its server's answers come
    // when they come, and nothing waits for them), or empty. Told once: it is cleared.
    std::string TakeLineNotice();

    // Reads at most count bytes; with waitAll false never more than are queued now.
    virtual int Read(void* buffer, int count, bool waitAll);
    // Writes all bytes and returns once they have left the port, or returns short when the
    // write time-outs expire first. Writes from different threads never overlap.
    virtual int Write(const void* buffer, int count);
    // Waits until received bytes are queued or timeoutMs has passed; true when bytes are
    // there. False at once when the device has gone away (DeviceLostError() then says why).
    bool WaitForInput(int timeoutMs);
    // Arms a wait for the selected line events.
    virtual bool WaitEvent();
    // The events that ended the armed wait; 0 when the selection changed meanwhile, when the
    // wait failed, or (wait false) while it is still pending.
    virtual DWORD GetEventResult(bool wait);

    bool SetBaudRate(DWORD baud);
    bool SetLineFormat(int parityCode, int dataBits, int stopBitCode);
    bool SetFlowControl(DWORD flags, int xonLimit, int xoffLimit, unsigned char xonChar,
                        unsigned char xoffChar);
    bool SetQueueSizes(DWORD inputBytes, DWORD outputBytes);
    bool SetReadTimeouts(DWORD interval, DWORD multiplier, DWORD constant);
    bool SetWriteTimeouts(DWORD multiplier, DWORD constant);

    // param null hands the routine the port itself.
    bool StartWatcher(ThreadRoutine routine, void* param);
    // Ends the watcher and returns its exit code (0 when there was none). Always completes,
    // also while the watcher is handing bytes to the very thread that stops it: that thread
    // keeps running the hook set by SetStopWaitHook while it waits.
    DWORD StopWatcher();
    bool HasWatcher() const { return m_watcher.joinable(); }
    void SetStopWaitHook(std::function<void()> hook) { m_stopWaitHook = std::move(hook); }

    bool SetBreak();
    bool ClearBreak();
    bool ClearError(CComStat* status, DWORD* errors);
    bool SetEventMask(DWORD events);
    bool GetState(CLineConfig& config);
    bool SetState(const CLineConfig& config);
    bool GetTimeouts(CCommTimeouts& timeouts);
    bool SetTimeouts(const CCommTimeouts& timeouts);

    // The error number that ended the watcher because the device went away (hang-up, I/O
    // error, unplugged adapter), 0 while the device is present.
    DWORD DeviceLostError() const { return m_deviceLost.load(); }

private:
    bool Fail(int err);
    bool ClearLineErrors(CComStat* status, bool withOutputQueue = true);
    void ReadLineErrorCounters();
    bool ApplyLine(const CLineConfig& config);
    bool LoadLine(CLineConfig& config);
    void DiscardInput();
    void DrainBeforeClose();
    bool WaitForDrain(std::int64_t deadlineMs, int written, int& leftInQueue);
    void WakeWaiter();
    // The network engine (CommPortNetwork.cpp).
    bool OpenNetwork();
    void CloseNetwork();
    ssize_t ReadSome(void* buffer, int count);
    int WriteNetwork(const void* buffer, int count);
    bool WaitForNetworkInput(int timeoutMs);

    std::string m_device;
    int m_hComm = -1;
    int m_wakeFd = -1;  // completes a pending event wait when the selection changes

    std::thread m_watcher;
    std::atomic<bool> m_watcherDone{true};
    std::atomic<DWORD> m_watcherExit{0};
    std::atomic<bool> m_stopRequested{false};
    std::function<void()> m_stopWaitHook;

    std::atomic<DWORD> m_dwLastError{0};
    std::atomic<DWORD> m_dwCommErrors{0};
    std::atomic<DWORD> m_deviceLost{0};

    std::atomic<DWORD> m_dwEventMask{0};    // events that ended the last completed wait
    std::atomic<DWORD> m_selectedEvents{0};
    std::atomic<std::uint64_t> m_maskGeneration{0};
    std::uint64_t m_armedGeneration = 0;    // watcher thread only
    bool m_waitArmed = false;               // watcher thread only

    std::mutex m_writeMutex;
    std::mutex m_lineMutex;  // line configuration, time-outs and the error counters
    CLineConfig m_extras;    // the part of the line configuration termios cannot hold
    CCommTimeouts m_timeouts;
    struct Counters {
        int frame = 0, overrun = 0, parity = 0, brk = 0;
    } m_lastCounters;
    std::atomic<bool> m_hasErrorCounters{true};  // false once the driver says it keeps none

    std::unique_ptr<CNetworkLine> m_net;  // the network port, null for a device
    termios m_netLine{};                  // a network port's line setting (under m_lineMutex)
};
