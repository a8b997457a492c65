#include "TarvolineDoc.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

#include "comm/SystemError.h"
#include "RecentNetworkPorts.h"
#include "SettingsStore.h"

CTarvolineDoc::CTarvolineDoc(ISettingsStore* store, IDocumentUi& ui, CUiCallQueue& calls)
    : m_store(store),
      m_ui(ui),
      m_calls(calls),
      m_settings(LoadPortSettings(store)),
      m_portNames(store),
      m_link(m_settings, m_portNames, store, calls, *this) {}

CTarvolineDoc::~CTarvolineDoc() {
    StopTransfer();
    WaitForTransfer();
    // The connection, the last member, closes the port before the views and the rest go.
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

void CTarvolineDoc::SetTitle(const std::string& title) {
    m_strTitle = title;
    m_ui.TitleChanged(title);
}

void CTarvolineDoc::ConnectionOpening() {
    // A new connection starts with a clear terminal, even when the open then fails.
    for (ITerminalView* view : m_views) view->ClearText();
}

void CTarvolineDoc::Connect() { m_link.Connect(); }

void CTarvolineDoc::Disconnect() { m_link.Disconnect(); }

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

void CTarvolineDoc::OnConnectCommand() {
    if (RefuseWhileTransferRunning()) return;
    if (m_link.Active())
        Disconnect();
    else
        Connect();
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
    if (!Port() || BusyWithTransfer()) {
        m_ui.Beep();
        return false;
    }
    if (Port()->Write(bytes, count) != count) {
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

void CTarvolineDoc::OnTransferDeviceLost(DWORD error) { m_link.OnTransferDeviceLost(error); }

void CTarvolineDoc::OnSendBreak() {
    if (!Port()) return;
    if (BusyWithTransfer()) {
        m_ui.Beep();
        return;
    }
    // The second of break runs on the worker, so the window stays live meanwhile.
    CCommPort* port = Port();
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
        if (Port()) {
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
        rebind = Port() && !connectNow && Port()->DeviceName() != *device;
    }
    m_settings = confirmed;
    if (m_store) StorePortSettings(*m_store, m_settings);
    // A network port, chosen as the port or for its name, is offered again next time.
    RememberNetworkPort(m_store, device ? *device : confirmed.m_strComPort);
    if (rebind) Disconnect();
    // OK connects also when nothing is connected (after a failed open, after Disconnect).
    Connect();
    return true;
}

void CTarvolineDoc::StopWatcherForTransfer() { m_link.StopWatcher(); }

bool CTarvolineDoc::RestartWatcherAfterTransfer() { return m_link.RestartWatcher(); }
