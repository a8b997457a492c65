#pragma once
// The document's link to its port: opens the port its name stands for (a serial device, or a
// network port: CCommPort chooses the engine by the name), applies the line settings, watches
// it, and when the port goes away (an adapter unplugged, a server that dropped the connection)
// or cannot be opened because it is not there, waits for it and takes it back with the
// settings of the moment. A port that another program holds is told once and left to that
// program: the connection then rests until it is asked to connect again.
//
// Threads: everything here runs on the user-interface thread (the owner of the call queue)
// except DeliverReceived and OnDeviceLost, which the watcher calls. While it waits, the
// opening attempts run on a thread of their own, so a network port whose host does not answer
// never holds up the window; what they open is handed back through the call queue.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "comm/CommPort.h"
#include "comm/CommWatch.h"
#include "comm/PortName.h"
#include "comm/PortSettings.h"
#include "UiCallQueue.h"

class ISettingsStore;

// What the connection tells its owner, and asks of it. User-interface thread, except
// DeliverReceived (the watcher's thread).
class IConnectionEvents {
public:
    virtual ~IConnectionEvents() = default;
    virtual int DeliverReceived(const unsigned char* bytes, int count) = 0;
    // A new connection is being made: the terminal starts clear, even when the open fails.
    virtual void ConnectionOpening() = 0;
    // The connection's state in words ("COM3", "COM3 (waiting for /dev/ttyUSB0)", ...).
    virtual void ConnectionTitle(const std::string& title) = 0;
    // A failure the user must see (a message box).
    virtual void ConnectionError(const std::string& text) = 0;
    // A line for the user in the terminal, not received and not captured.
    virtual void ConnectionNotice(const std::string& line) = 0;
    // True while a transfer owns the line; nothing is reconnected meanwhile.
    virtual bool TransferOwnsLine() const = 0;
    // Waits until a running transfer has ended, serving its calls meanwhile.
    virtual void WaitForTransferEnd() = 0;
};

class CPortConnection : public IReceiveTarget {
public:
    static constexpr const char* kNotConnectedTitle = "Not connected";
    static constexpr int kRetryMilliseconds = 500;

    // settings and names are the owner's and are read at every connect, so a change of
    // settings or binding takes effect at the next one. store may be null.
    CPortConnection(const CPortSettings& settings, const CPortNameResolver& names,
                    ISettingsStore* store, CUiCallQueue& calls, IConnectionEvents& events);
    ~CPortConnection() override;
    CPortConnection(const CPortConnection&) = delete;
    CPortConnection& operator=(const CPortConnection&) = delete;

    // Opens the port of the settings' name unless it is open (a failure is told once), and
    // applies the line settings. A port that is not there is waited for; a busy one is not.
    void Connect();
    // Closes the port and ends any waiting. From any thread: the work is done on the
    // user-interface thread.
    void Disconnect();

    CCommPort* Port() const { return m_pPort.get(); }
    // The port the connection is waiting for; empty when it is not.
    const std::string& WaitingFor() const { return m_waitingFor; }
    // Open, or waiting to open: what a Disconnect would end.
    bool Active() const { return m_pPort != nullptr || !m_waitingFor.empty(); }
    // The line in use, for the status bar: "/dev/ttyUSB0  9600 8N1  none",
    // "COM3  rfc2217://rack7:7416  9600 8N1  none", or "Not connected".
    std::string LineStatus() const;

    // The watcher restart rule of every transfer: stop before, restart after.
    void StopWatcher();
    bool RestartWatcher();
    // A dialogue met a hang-up or an I/O error: the port is closed, one message names the
    // port and the system's reason, and the port is waited for. From any thread.
    void OnTransferDeviceLost(DWORD error);

    int DeliverReceived(const unsigned char* bytes, int count) override;
    void OnDeviceLost(CCommPort* port, DWORD error) override;

    // What notices and titles call a port: the address of a network port ("rack7:7416"),
    // else the device path.
    static std::string SpokenName(const std::string& device);

private:
    // The open port, or null with the message and the system's reason.
    std::unique_ptr<CCommPort> OpenPort(const std::string& device, std::string& error,
                                        DWORD& reason);
    void Adopt(std::unique_ptr<CCommPort> port);
    void ApplyLineAndWatch(bool openedHere);
    bool StartWatcher();
    std::string ConnectedTitle() const;
    void Close();
    void StartRetrying(const std::string& device);
    void StopRetrying();
    void RetryLoop(std::weak_ptr<bool> alive);
    void AskForRetryDevice();
    void OnRetryOpened(const std::shared_ptr<std::unique_ptr<CCommPort>>& port,
                       const std::string& device);
    void OnRetryFoundBusy(const std::string& device, DWORD error);

    const CPortSettings& m_settings;
    const CPortNameResolver& m_names;
    ISettingsStore* m_store;
    CUiCallQueue& m_calls;
    IConnectionEvents& m_events;
    std::unique_ptr<CCommPort> m_pPort;
    CommWatchParam m_watchParam;
    // Tells a late report of a lost port from the connection it belonged to.
    std::atomic<unsigned> m_connection{0};
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

    std::string m_waitingFor;  // user-interface thread only
    std::thread m_retryThread;
    std::mutex m_retryMutex;
    std::condition_variable m_retryWake;
    bool m_retrying = false;                 // under m_retryMutex
    bool m_asked = false;                    // under m_retryMutex: a device was asked for
    std::optional<std::string> m_retryDevice;  // under m_retryMutex: the answer
};
