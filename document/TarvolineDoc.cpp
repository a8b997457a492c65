#include "TarvolineDoc.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

#include "comm/SystemError.h"
#include "SettingsStore.h"

CTarvolineDoc::CTarvolineDoc(ISettingsStore* store, IDocumentUi& ui, CUiCallQueue& calls)
    : m_store(store),
      m_ui(ui),
      m_calls(calls),
      m_settings(LoadPortSettings(store)),
      m_portNames(store) {}

CTarvolineDoc::~CTarvolineDoc() {
    StopTransfer();
    WaitForTransfer();
    StopRetrying();
    m_pPort.reset();
}

void CTarvolineDoc::AddView(ITerminalView* view) {
    m_views.push_back(view);
    m_viewCount = static_cast<int>(m_views.size());
}

void CTarvolineDoc::RemoveView(ITerminalView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
    m_viewCount = static_cast<int>(m_views.size());
}

bool CTarvolineDoc::OnNewDocument() {
    Connect();
    return true;
}

void CTarvolineDoc::ShowError(const std::string& text) {
    m_ui.MessageBox(text, "Error", MessageIcon::Exclamation);
}

std::string CTarvolineDoc::LineStatus() const {
    if (!m_pPort) return kNotConnectedTitle;
    const CPortSettings& s = m_settings;
    const char parity = s.m_strParity.empty() ? 'N' : s.m_strParity[0];
    std::string flow = "hardware";
    if (s.m_strFlowControl == "None") flow = "none";
    if (s.m_strFlowControl == "Software") flow = "XON/XOFF";
    return m_pPort->DeviceName() + "  " + s.m_strBaudRate + " " + s.m_strDataBits + parity +
           s.m_strStopBits + "  " + flow;
}

void CTarvolineDoc::SetTitle(const std::string& title) {
    m_strTitle = title;
    m_ui.TitleChanged(title);
}

bool CTarvolineDoc::StartWatcher() {
    m_watchParam.pPort = m_pPort.get();
    m_watchParam.pTarget = this;
    return m_pPort->StartWatcher(CommWatchProc, &m_watchParam);
}

std::unique_ptr<CCommPort> CTarvolineDoc::OpenPort(const std::string& device, std::string& error) {
    std::unique_ptr<CCommPort> port(new (std::nothrow) CCommPort(device));
    if (!port) {
        error = "Error creating port object!";
        return nullptr;
    }
    if (!port->IsOpen() || port->LastError() != 0) {
        std::string where = m_settings.m_strComPort;
        if (device != where) where += " (" + device + ")";
        error = "Cannot open " + where + ": " + FormatSystemMessage(port->LastError());
        return nullptr;
    }
    // While this thread stops the watcher, it takes the bytes the watcher hands to it.
    port->SetStopWaitHook([&calls = m_calls] { calls.RunCallsIfOwner(); });
    return port;
}

void CTarvolineDoc::Connect() {
    bool openedHere = false;
    if (!m_pPort) {
        StopRetrying();
        // A new connection starts with a clear terminal, even when the open then fails.
        for (ITerminalView* view : m_views) view->ClearText();

        CPortDevice device = m_portNames.Resolve(m_settings.m_strComPort);
        if (device.device.empty()) {
            ShowError(device.error);
            return;
        }
        std::string error;
        std::unique_ptr<CCommPort> port = OpenPort(device.device, error);
        if (!port) {
            ShowError(error);
            // The device may come back (plugged in, freed by another program): keep trying.
            StartRetrying(device.device);
            return;
        }
        m_pPort = std::move(port);
        ++m_connection;
        openedHere = true;
    }
    ApplyLineAndWatch(openedHere);
}

void CTarvolineDoc::ApplyLineAndWatch(bool openedHere) {
    // A setting the port refuses leaves the line as it was; nothing is reported.
    CLineSettings line = TranslateLineSettings(m_settings);
    m_pPort->SetBaudRate(line.baudRate);
    m_pPort->SetLineFormat(line.parityCode, line.dataBits, line.stopBitCode);
    m_pPort->SetFlowControl(line.flowFlags, 100, 100, kXonChar, kXoffChar);

    bool watching = true;
    if (openedHere && !StartWatcher()) {
        ShowError("Error starting comm thread!");
        m_pPort.reset();
        watching = false;
    }
    if (watching) SetTitle(m_settings.m_strComPort);
    if (m_store) m_store->WriteProfileString(kComSettingsSection, "COM Port", m_settings.m_strComPort);
}

void CTarvolineDoc::Disconnect() {
    if (!m_calls.IsOwnerThread()) {
        m_calls.Call([this] { Disconnect(); });
        return;
    }
    StopRetrying();
    m_pPort.reset();
    SetTitle(kNotConnectedTitle);
}

void CTarvolineDoc::StartRetrying(const std::string& device) {
    StopRetrying();
    m_waitingFor = device;
    SetTitle(m_settings.m_strComPort + " (waiting for " + device + ")");
    std::weak_ptr<bool> alive = m_alive;
    {
        std::lock_guard lock(m_retryMutex);
        m_retrying = true;
    }
    m_retryThread = std::thread([this, alive] {
        std::unique_lock lock(m_retryMutex);
        while (m_retrying) {
            if (m_retryWake.wait_for(lock, std::chrono::milliseconds(kRetryMilliseconds),
                                     [this] { return !m_retrying; }))
                break;
            m_calls.Post([this, alive] {
                if (!alive.expired()) TryReconnect();
            });
        }
    });
}

void CTarvolineDoc::StopRetrying() {
    {
        std::lock_guard lock(m_retryMutex);
        m_retrying = false;
    }
    m_retryWake.notify_all();
    if (m_retryThread.joinable()) m_retryThread.join();
    m_waitingFor.clear();
}

void CTarvolineDoc::TryReconnect() {
    if (m_waitingFor.empty() || m_pPort || m_transferRunning) return;
    // The same name, resolved again: its binding may have been changed meanwhile.
    const CPortDevice device = m_portNames.Resolve(m_settings.m_strComPort);
    if (device.device.empty()) return;
    std::string error;
    std::unique_ptr<CCommPort> port = OpenPort(device.device, error);
    if (!port) return;  // quietly: it is not back yet
    StopRetrying();
    m_pPort = std::move(port);
    ++m_connection;
    ApplyLineAndWatch(true);
    if (m_pPort) ShowNotice("--- reconnected to " + device.device + " ---");
}

void CTarvolineDoc::ShowNotice(const std::string& line) {
    for (ITerminalView* view : m_views) view->ShowNotice(line);
}

bool CTarvolineDoc::RefuseWhileTransferRunning() {
    if (!m_transferRunning) return false;
    // Requests that come while the message shows (a burst from another program) are refused
    // without a message box each.
    if (m_refusalShowing) return true;
    m_refusalShowing = true;
    m_ui.MessageBox(kTransferRunningMessage, "Tarvoline", MessageIcon::Information);
    m_refusalShowing = false;
    return true;
}

bool CTarvolineDoc::BusyWithTransfer() const {
    return m_transferRunning.load() && m_calls.IsOwnerThread();
}

void CTarvolineDoc::OnDisconnect() {
    if (RefuseWhileTransferRunning()) return;
    Disconnect();
}

namespace {

std::string DirectoryPart(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return {};
    return path.substr(0, slash + 1);
}

// Below the window's thread, so a conversion never makes the window sluggish; but not the idle
// class or the lowest nice level: the monitor dialogues answer the board within milliseconds,
// and with a build keeping every core busy such a thread waited seconds for the processor, so
// the load failed or never ended.
constexpr int kWorkerNiceness = 5;

void LowerThisThreadsPriority() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNiceness);
}

}  // namespace

bool CTarvolineDoc::StartTransfer(std::function<void()> work, std::function<void()> done) {
    if (RefuseWhileTransferRunning()) return false;
    if (m_worker.joinable()) m_worker.join();  // the last one has ended; collect it
    m_stopTransfer = false;
    m_transferRunning = true;
    std::weak_ptr<bool> alive = m_alive;
    m_worker = std::thread([this, work = std::move(work), done = std::move(done), alive] {
        work();
        m_transferRunning = false;
        if (done) {
            m_calls.Post([alive, done] {
                if (!alive.expired()) done();
            });
        }
    });
    return true;
}

void CTarvolineDoc::WaitForTransfer() {
    if (!m_worker.joinable()) return;
    if (m_worker.get_id() == std::this_thread::get_id()) return;
    // The worker may be waiting for this thread (a message, a progress window, a received
    // batch): keep serving it while waiting.
    while (m_transferRunning.load()) m_calls.WaitAndRun(std::chrono::milliseconds(5));
    m_worker.join();
}

bool CTarvolineDoc::OnOpenDocument(const std::string& path) {
    if (RefuseWhileTransferRunning()) return false;
    Connect();
    m_strDocPath = path;
    m_strLastDir = DirectoryPart(path);
    return StartTransfer([this, path] {
        LowerThisThreadsPriority();
        // The load shows itself in the view: wait until there is one.
        while (m_viewCount.load() == 0 && !m_stopTransfer.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!m_stopTransfer.load() && m_documentLoader) m_documentLoader(*this, path);
    });
}

void CTarvolineDoc::ShowInViews(const unsigned char* bytes, int count) {
    for (ITerminalView* view : m_views) m_calls.Call([&] { view->OnCommRxData(bytes, count); });
}

bool CTarvolineDoc::SendChar(int character) {
    unsigned char bytes[2] = {static_cast<unsigned char>(character & 0xFF), 0x0A};
    int count = (bytes[0] == 0x0D && m_settings.m_bSendCRLF) ? 2 : 1;
    return SendBlock(bytes, count);
}

bool CTarvolineDoc::SendBlock(const unsigned char* bytes, int count) {
    // While an opened document is being loaded the monitor is in a dialogue with the load;
    // a typed or pasted byte would break it.
    if (!m_pPort || BusyWithTransfer()) {
        m_ui.Beep();
        return false;
    }
    if (m_pPort->Write(bytes, count) != count) {
        m_ui.Beep();
        return false;
    }
    if (m_settings.m_bLocalEcho) ShowInViews(bytes, count);
    return true;
}

void CTarvolineDoc::ShowBoardWords(const std::string& text) {
    if (text.empty()) return;
    ShowInViews(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (m_boardWordsHandler) m_boardWordsHandler(text);
}

int CTarvolineDoc::DeliverReceived(const unsigned char* bytes, int count) {
    ShowInViews(bytes, count);
    return 0;
}

void CTarvolineDoc::OnDeviceLost(CCommPort*, DWORD error) {
    // The watcher cannot close its own port; the user-interface thread does, once, unless the
    // connection has changed meanwhile.
    unsigned connection = m_connection.load();
    std::weak_ptr<bool> alive = m_alive;
    m_calls.Post([this, alive, connection, error] {
        if (alive.expired()) return;
        WaitForTransfer();  // a break may still hold the port; it ends at once on a lost device
        if (!m_pPort || m_connection.load() != connection) return;
        // No box: the terminal says what happened, and the port comes back by itself when
        // the device does (an adapter plugged in again).
        const std::string device = m_pPort->DeviceName();
        Disconnect();
        ShowNotice("--- " + device + " went away (" + FormatSystemMessage(error) +
                   "); waiting for it ---");
        StartRetrying(device);
    });
}

void CTarvolineDoc::OnTransferDeviceLost(DWORD error) {
    const std::string device = m_pPort ? m_pPort->DeviceName() : std::string();
    Disconnect();
    ShowError(m_settings.m_strComPort + ": the device went away (" + FormatSystemMessage(error) + ")");
    if (!device.empty()) {
        if (m_calls.IsOwnerThread())
            StartRetrying(device);
        else
            m_calls.Call([this, device] { StartRetrying(device); });
    }
}

void CTarvolineDoc::OnSendBreak() {
    if (!m_pPort) return;
    if (BusyWithTransfer()) {
        m_ui.Beep();
        return;
    }
    // The second of break runs on the worker, so the window stays live meanwhile.
    CCommPort* port = m_pPort.get();
    StartTransfer([this, port] {
        port->SetBreak();
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBreakMilliseconds);
        while (std::chrono::steady_clock::now() < end && !m_stopTransfer.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        port->ClearBreak();
    });
}

bool CTarvolineDoc::OnCommSettingsConfirmed(const CPortSettings& confirmed,
                                            const std::optional<std::string>& device) {
    // A transfer owns the line until it ends.
    if (RefuseWhileTransferRunning()) return false;
    bool connectNow = false;
    if (confirmed.m_strComPort != m_settings.m_strComPort) {
        if (m_pPort) {
            MessageResult answer = m_ui.MessageBox(
                "Already connected to a different port.  Close and reconnect using new port?",
                "Change Port", MessageIcon::Information, MessageButtons::YesNo, MessageResult::No);
            if (answer != MessageResult::Yes) {
                m_ui.MessageBox("Port settings not changed", "No Change", MessageIcon::Exclamation);
                return false;
            }
            Disconnect();
        }
        connectNow = true;
    }
    // A new device for the name of the open port takes a reconnect to be used.
    bool rebind = false;
    if (device) {
        if (m_store) m_store->WriteProfileString(kDevicesSection, confirmed.m_strComPort, *device);
        m_portNames.Bind(confirmed.m_strComPort, *device);
        rebind = m_pPort && !connectNow && m_pPort->DeviceName() != *device;
    }
    m_settings = confirmed;
    if (m_store) StorePortSettings(*m_store, m_settings);
    if (rebind) Disconnect();
    // OK connects also when nothing is connected (after a failed open, after Disconnect).
    Connect();
    return true;
}

void CTarvolineDoc::StopWatcherForTransfer() {
    if (m_pPort) m_pPort->StopWatcher();
}

bool CTarvolineDoc::RestartWatcherAfterTransfer() {
    if (!m_pPort) return false;
    if (StartWatcher()) return true;
    ShowError("Error starting comm thread!");
    Disconnect();
    return false;
}
