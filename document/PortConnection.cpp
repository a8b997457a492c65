#include "PortConnection.h"

#include <cerrno>
#include <chrono>
#include <new>

#include "comm/NetworkPortName.h"
#include "comm/SystemError.h"
#include "SettingsStore.h"

CPortConnection::CPortConnection(const CPortSettings& settings, const CPortNameResolver& names,
                                 ISettingsStore* store, CUiCallQueue& calls,
                                 IConnectionEvents& events)
    : m_settings(settings), m_names(names), m_store(store), m_calls(calls), m_events(events) {}

CPortConnection::~CPortConnection() {
    StopRetrying();
    m_pPort.reset();
}

std::string CPortConnection::SpokenName(const std::string& device) {
    if (!IsNetworkPortName(device)) return device;
    std::string error;
    const std::optional<CNetworkPortName> name = ParseNetworkPortName(device, error);
    return name ? name->Address() : device;
}

std::string CPortConnection::LineStatus() const {
    if (!m_pPort) return kNotConnectedTitle;
    const CPortSettings& s = m_settings;
    const char parity = s.m_strParity.empty() ? 'N' : s.m_strParity[0];
    std::string flow = "hardware";
    if (s.m_strFlowControl == "None") flow = "none";
    if (s.m_strFlowControl == "Software") flow = "XON/XOFF";
    // A network port's address says nothing of the name it stands for: both are shown.
    std::string where = m_pPort->DeviceName();
    if (IsNetworkPortName(where) && where != s.m_strComPort) where = s.m_strComPort + "  " + where;
    return where + "  " + s.m_strBaudRate + " " + s.m_strDataBits + parity + s.m_strStopBits +
           "  " + flow;
}

std::string CPortConnection::ConnectedTitle() const {
    const std::string& name = m_settings.m_strComPort;
    const std::string& device = m_pPort->DeviceName();
    if (IsNetworkPortName(device) && device != name) return name + " (" + device + ")";
    return name;
}

bool CPortConnection::StartWatcher() {
    m_watchParam.pPort = m_pPort.get();
    m_watchParam.pTarget = this;
    return m_pPort->StartWatcher(CommWatchProc, &m_watchParam);
}

std::unique_ptr<CCommPort> CPortConnection::OpenPort(const std::string& device,
                                                     std::string& error, DWORD& reason) {
    std::unique_ptr<CCommPort> port(new (std::nothrow) CCommPort(device));
    if (!port) {
        error = "Error creating port object!";
        reason = ENOMEM;
        return nullptr;
    }
    reason = port->LastError();
    if (!port->IsOpen() || port->LastError() != 0) {
        std::string where = m_settings.m_strComPort;
        if (device != where) where += " (" + device + ")";
        error = "Cannot open " + where + ": " + FormatSystemMessage(port->LastError());
        if (port->LastError() == EBUSY)
            error += "\n\nAnother program is using it. It is left to that program: connect again "
                     "when it is free.";
        return nullptr;
    }
    return port;
}

void CPortConnection::Adopt(std::unique_ptr<CCommPort> port) {
    // While this thread stops the watcher, it takes the bytes the watcher hands to it.
    port->SetStopWaitHook([&calls = m_calls] { calls.RunCallsIfOwner(); });
    m_pPort = std::move(port);
    ++m_connection;
}

void CPortConnection::Connect() {
    bool openedHere = false;
    if (!m_pPort) {
        StopRetrying();
        m_events.ConnectionOpening();

        CPortDevice device = m_names.Resolve(m_settings.m_strComPort);
        if (device.device.empty()) {
            m_events.ConnectionError(device.error);
            return;
        }
        std::string error;
        DWORD reason = 0;
        std::unique_ptr<CCommPort> port = OpenPort(device.device, error, reason);
        if (!port) {
            m_events.ConnectionError(error);
            if (reason == EBUSY) {
                // Another program holds it: it is not taken from that program when it lets go.
                m_events.ConnectionTitle(kNotConnectedTitle);
                return;
            }
            // The port may come back (plugged in, its server started): keep trying.
            StartRetrying(device.device);
            return;
        }
        Adopt(std::move(port));
        openedHere = true;
    }
    ApplyLineAndWatch(openedHere);
}

void CPortConnection::ApplyLineAndWatch(bool openedHere) {
    // A setting the port refuses leaves the line as it was; nothing is reported.
    CLineSettings line = TranslateLineSettings(m_settings);
    m_pPort->SetBaudRate(line.baudRate);
    m_pPort->SetLineFormat(line.parityCode, line.dataBits, line.stopBitCode);
    m_pPort->SetFlowControl(line.flowFlags, 100, 100, kXonChar, kXoffChar);

    bool watching = true;
    if (openedHere && !StartWatcher()) {
        m_events.ConnectionError("Error starting comm thread!");
        m_pPort.reset();
        watching = false;
    }
    if (watching) m_events.ConnectionTitle(ConnectedTitle());
    if (m_store) m_store->WriteProfileString(kComSettingsSection, "COM Port", m_settings.m_strComPort);
}

void CPortConnection::Close() {
    StopRetrying();
    m_pPort.reset();
}

void CPortConnection::Disconnect() {
    if (!m_calls.IsOwnerThread()) {
        m_calls.Call([this] { Disconnect(); });
        return;
    }
    Close();
    m_events.ConnectionTitle(kNotConnectedTitle);
}

void CPortConnection::StopWatcher() {
    if (m_pPort) m_pPort->StopWatcher();
}

bool CPortConnection::RestartWatcher() {
    if (!m_pPort) return false;
    if (StartWatcher()) return true;
    m_events.ConnectionError("Error starting comm thread!");
    Disconnect();
    return false;
}

int CPortConnection::DeliverReceived(const unsigned char* bytes, int count) {
    return m_events.DeliverReceived(bytes, count);
}

void CPortConnection::OnDeviceLost(CCommPort*, DWORD error) {
    // The watcher cannot close its own port; the user-interface thread does, once, unless the
    // connection has changed meanwhile.
    unsigned connection = m_connection.load();
    std::weak_ptr<bool> alive = m_alive;
    m_calls.Post([this, alive, connection, error] {
        if (alive.expired()) return;
        m_events.WaitForTransferEnd();  // a break may still hold the port; it ends at once
        if (!m_pPort || m_connection.load() != connection) return;
        // No box: the terminal says what happened, and the port comes back by itself when
        // it does (an adapter plugged in again, a server started again).
        const std::string device = m_pPort->DeviceName();
        Disconnect();
        m_events.ConnectionNotice("--- " + SpokenName(device) + " went away (" +
                                  FormatSystemMessage(error) + "); waiting for it ---");
        StartRetrying(device);
    });
}

void CPortConnection::OnTransferDeviceLost(DWORD error) {
    const std::string device = m_pPort ? m_pPort->DeviceName() : std::string();
    Disconnect();
    const std::string what = IsNetworkPortName(device)
                                 ? "the connection to " + SpokenName(device) + " went away"
                                 : std::string("the device went away");
    m_events.ConnectionError(m_settings.m_strComPort + ": " + what + " (" +
                             FormatSystemMessage(error) + ")");
    if (!device.empty()) {
        if (m_calls.IsOwnerThread())
            StartRetrying(device);
        else
            m_calls.Call([this, device] { StartRetrying(device); });
    }
}

void CPortConnection::StartRetrying(const std::string& device) {
    StopRetrying();
    m_waitingFor = device;
    m_events.ConnectionTitle(m_settings.m_strComPort + " (waiting for " + SpokenName(device) + ")");
    {
        std::lock_guard lock(m_retryMutex);
        m_retrying = true;
        m_asked = false;
        m_retryDevice.reset();
    }
    m_retryThread = std::thread([this, alive = std::weak_ptr<bool>(m_alive)] { RetryLoop(alive); });
}

void CPortConnection::StopRetrying() {
    {
        std::lock_guard lock(m_retryMutex);
        m_retrying = false;
    }
    m_retryWake.notify_all();
    if (m_retryThread.joinable()) m_retryThread.join();
    m_waitingFor.clear();
}

// Every kRetryMilliseconds: the name is resolved on the user-interface thread (its binding may
// have changed meanwhile), then opened here, where a network port may take its whole connect
// time without holding up the window.
void CPortConnection::RetryLoop(std::weak_ptr<bool> alive) {
    std::unique_lock lock(m_retryMutex);
    while (m_retrying) {
        if (m_retryWake.wait_for(lock, std::chrono::milliseconds(kRetryMilliseconds),
                                 [this] { return !m_retrying; }))
            break;
        m_asked = true;
        m_retryDevice.reset();
        m_calls.Post([this, alive] {
            if (!alive.expired()) AskForRetryDevice();
        });
        m_retryWake.wait(lock, [this] { return !m_retrying || m_retryDevice.has_value(); });
        if (!m_retrying) break;
        const std::string device = *m_retryDevice;
        m_retryDevice.reset();
        if (device.empty()) continue;  // not to be tried now

        lock.unlock();
        auto port = std::make_shared<std::unique_ptr<CCommPort>>(
            new (std::nothrow) CCommPort(device));
        const DWORD error = *port ? (*port)->LastError() : DWORD(ENOMEM);
        if (*port && (*port)->IsOpen() && error == 0) {
            m_calls.Post([this, alive, port, device] {
                if (!alive.expired()) OnRetryOpened(port, device);
            });
        } else if (error == EBUSY) {
            m_calls.Post([this, alive, device, error] {
                if (!alive.expired()) OnRetryFoundBusy(device, error);
            });
        }
        // Otherwise quietly: it is not back yet.
        lock.lock();
    }
}

void CPortConnection::AskForRetryDevice() {
    std::string device;
    if (!m_waitingFor.empty() && !m_pPort && !m_events.TransferOwnsLine()) {
        device = m_names.Resolve(m_settings.m_strComPort).device;
    }
    {
        std::lock_guard lock(m_retryMutex);
        if (!m_asked) return;
        m_asked = false;
        m_retryDevice = device;
    }
    m_retryWake.notify_all();
}

void CPortConnection::OnRetryOpened(const std::shared_ptr<std::unique_ptr<CCommPort>>& port,
                                    const std::string& device) {
    // Not wanted any more (a Disconnect, a transfer, a connect of its own meanwhile): the
    // port is closed again when the last holder lets it go.
    if (m_waitingFor.empty() || m_pPort || m_events.TransferOwnsLine() || !*port) return;
    StopRetrying();
    Adopt(std::move(*port));
    ApplyLineAndWatch(true);
    if (!m_pPort) return;
    m_events.ConnectionNotice(IsNetworkPortName(device) ? std::string("--- reconnected ---")
                                                        : "--- reconnected to " + device + " ---");
}

void CPortConnection::OnRetryFoundBusy(const std::string& device, DWORD error) {
    // Only while still waiting for it: the port this very connection has just taken back is
    // busy to a late attempt, too.
    if (m_waitingFor.empty() || m_pPort) return;
    StopRetrying();
    m_events.ConnectionTitle(kNotConnectedTitle);
    m_events.ConnectionNotice("--- " + SpokenName(device) + " is held by another program (" +
                              FormatSystemMessage(error) +
                              "); it is left to it: connect again when it is free ---");
}
