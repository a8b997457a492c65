#pragma once
// The document: owns the serial link. It connects to the port named in its settings, applies
// the line settings, shows the connection state as its title, sends typed characters and
// blocks, hands received bytes to its views and sends a break.
//
// Threads: everything here runs on the user-interface thread (the thread that built the
// CUiCallQueue) except DeliverReceived and OnDeviceLost, which the watcher calls. Views are
// added before the first Connect and removed only after the port is closed.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "comm/CommPort.h"
#include "comm/CommWatch.h"
#include "comm/PortName.h"
#include "comm/PortSettings.h"
#include "DocumentUi.h"
#include "UiCallQueue.h"

class ISettingsStore;

class CTarvolineDoc : public IReceiveTarget {
public:
    static constexpr const char* kDefaultTitle = "Untitled";
    static constexpr const char* kNotConnectedTitle = "Not connected";
    static constexpr int kBreakMilliseconds = 1000;

    // store may be null: the settings then keep their defaults and nothing is written.
    CTarvolineDoc(ISettingsStore* store, IDocumentUi& ui, CUiCallQueue& calls);
    ~CTarvolineDoc() override;
    CTarvolineDoc(const CTarvolineDoc&) = delete;
    CTarvolineDoc& operator=(const CTarvolineDoc&) = delete;

    void AddView(ITerminalView* view);
    void RemoveView(ITerminalView* view);

    // A new document connects at once.
    bool OnNewDocument();
    // Opening a document connects, keeps the path and starts a worker at the lowest priority
    // that waits for the view and then runs the document loader on the path. False (with a
    // message) while the load of an earlier open still runs.
    using DocumentLoader = std::function<void(CTarvolineDoc& doc, const std::string& path)>;
    void SetDocumentLoader(DocumentLoader loader) { m_documentLoader = std::move(loader); }
    bool OnOpenDocument(const std::string& path);
    // True while the load of an opened document runs on the worker.
    bool DocumentLoadRunning() const { return m_documentLoadRunning.load(); }
    // True on the user-interface thread while that load runs: what would reach the line from
    // there (typing, pasting, a break, another transfer) is refused with a beep.
    bool BusyWithDocumentLoad() const;
    // Waits for the worker of the last open to end.
    void WaitForDocumentLoad();

    void Connect();
    // From any thread: the port is closed on the user-interface thread.
    void Disconnect();
    // The disconnect command: refused while an opened document is being loaded.
    void OnDisconnect();
    bool SendChar(int character);
    bool SendBlock(const unsigned char* bytes, int count);
    void OnSendBreak();
    // Applies a confirmed Communication Settings dialog.
    void OnCommSettingsConfirmed(const CPortSettings& confirmed);

    // Enables the commands that need an open port.
    bool OnUpdateConnected() const { return m_pPort != nullptr; }

    // The watcher restart rule of every transfer: stop before, restart after whatever happened.
    void StopWatcherForTransfer();
    bool RestartWatcherAfterTransfer();

    int DeliverReceived(const unsigned char* bytes, int count) override;
    void OnDeviceLost(CCommPort* port, DWORD error) override;

    const CPortSettings& Settings() const { return m_settings; }
    const std::string& LastDir() const { return m_strLastDir; }
    void SetLastDir(const std::string& dir) { m_strLastDir = dir; }
    const std::string& DocPath() const { return m_strDocPath; }
    const std::string& GetTitle() const { return m_strTitle; }
    CCommPort* Port() const { return m_pPort.get(); }
    CPortNameResolver& PortNames() { return m_portNames; }
    ISettingsStore* Store() const { return m_store; }
    IDocumentUi& Ui() const { return m_ui; }
    CUiCallQueue& Calls() const { return m_calls; }

private:
    void SetTitle(const std::string& title);
    void ShowInViews(const unsigned char* bytes, int count);
    void ShowError(const std::string& text);
    bool StartWatcher();
    bool RefuseDuringDocumentLoad();

    ISettingsStore* m_store;
    IDocumentUi& m_ui;
    CUiCallQueue& m_calls;
    CPortSettings m_settings;
    CPortNameResolver m_portNames;
    std::unique_ptr<CCommPort> m_pPort;
    CommWatchParam m_watchParam;
    std::vector<ITerminalView*> m_views;
    std::string m_strTitle = kDefaultTitle;
    // Tells a late report of a lost device from the connection it belonged to.
    std::atomic<unsigned> m_connection{0};
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::string m_strLastDir;
    std::string m_strDocPath;
    DocumentLoader m_documentLoader;
    std::thread m_waitWorker;
    std::atomic<bool> m_documentLoadRunning{false};
    std::atomic<bool> m_stopWorker{false};
    std::atomic<int> m_viewCount{0};
};
