#pragma once
// The document: owns the serial link. It connects to the port named in its settings, applies
// the line settings, shows the connection state as its title, sends typed characters and
// blocks, hands received bytes to its views and sends a break.
//
// The link itself (open, watch, lose, wait, reconnect) is the document's CPortConnection.
//
// Threads: everything here runs on the user-interface thread (the thread that built the
// CUiCallQueue) except DeliverReceived, which the watcher calls, and the transfer run on the
// document's worker (StartTransfer), which reaches this thread through the call queue. Views
// are added before the first Connect and removed only after the port is closed.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comm/CommPort.h"
#include "comm/PortName.h"
#include "comm/PortSettings.h"
#include "DocumentUi.h"
#include "PortConnection.h"
#include "UiCallQueue.h"

class ISettingsStore;

class CTarvolineDoc : private IConnectionEvents {
public:
    static constexpr const char* kDefaultTitle = "Untitled";
    static constexpr const char* kNotConnectedTitle = CPortConnection::kNotConnectedTitle;
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

    // One transfer at a time, each on the document's worker thread, so the user-interface
    // thread goes on painting and serving the progress window and the messages the dialogue
    // asks for. StartTransfer runs work there and returns at once; while a transfer runs,
    // another is refused with kTransferRunningMessage (false). done, if any, runs on the
    // user-interface thread once the work has ended. User-interface thread only.
    static constexpr const char* kTransferRunningMessage =
        "A transfer is running. Try again when it has finished.";
    bool StartTransfer(std::function<void()> work, std::function<void()> done = {});
    // True while a transfer runs.
    bool TransferRunning() const { return m_transferRunning.load(); }
    // True on the user-interface thread while a transfer runs: what would reach the line from
    // there (typing, pasting, a break) is refused with a beep.
    bool BusyWithTransfer() const;
    // When a transfer runs: tells the user (one message, however many requests come while it
    // shows) and returns true.
    bool RefuseWhileTransferRunning();
    // Waits for the running transfer to end, serving its calls into this thread meanwhile.
    void WaitForTransfer();
    // Stops the running transfer at its next look (within milliseconds): the same as Cancel
    // in its progress window. Safe from any thread, and from a signal handler.
    void StopTransfer() noexcept { m_stopTransfer.store(true); }
    const std::atomic<bool>& StopFlag() const { return m_stopTransfer; }

    // Opening a document connects, keeps the path and starts, as a transfer at the lowest
    // priority, the document loader on the path once there is a view. False (with the
    // message) while a transfer runs.
    using DocumentLoader = std::function<void(CTarvolineDoc& doc, const std::string& path)>;
    void SetDocumentLoader(DocumentLoader loader) { m_documentLoader = std::move(loader); }
    bool OnOpenDocument(const std::string& path);

    // Opens the port of the settings (a failure is told once) and applies the line settings.
    // When the device cannot be opened, or goes away later, the document keeps trying it
    // quietly every kRetryMilliseconds, titled "COM3 (waiting for DEVICE)", and reconnects
    // with the stored settings when it is back; Disconnect stops that. A device another
    // program holds is not waited for: it stays that program's until the next Connect.
    static constexpr int kRetryMilliseconds = CPortConnection::kRetryMilliseconds;
    void Connect();
    // The device the document is waiting for; empty when it is not.
    const std::string& WaitingFor() const { return m_link.WaitingFor(); }
    // From any thread: the port is closed on the user-interface thread.
    void Disconnect();
    // The disconnect command: refused while a transfer runs.
    void OnDisconnect();
    // The one Connect/Disconnect command: ends the connection or the waiting when there is
    // one, else connects. Refused while a transfer runs.
    void OnConnectCommand();
    // True while connected or waiting for the port: what the command would end.
    bool ConnectionActive() const { return m_link.Active(); }
    bool SendChar(int character);
    bool SendBlock(const unsigned char* bytes, int count);
    void OnSendBreak();
    // Applies a confirmed Communication Settings dialog.
    // device: the device the dialog chose for the port's name, stored (under "Devices") and
    // used only once the settings are taken; a "No" to the change of port stores nothing.
    // True when the settings were taken.
    bool OnCommSettingsConfirmed(const CPortSettings& confirmed,
                                 const std::optional<std::string>& device = std::nullopt);

    // Enables the commands that need an open port.
    bool OnUpdateConnected() const { return m_link.Port() != nullptr; }

    // The watcher restart rule of every transfer: stop before, restart after whatever happened.
    void StopWatcherForTransfer();
    bool RestartWatcherAfterTransfer();

    // A dialogue met a hang-up or an I/O error: the port is closed (nothing is restored on the
    // gone device), the title says "Not connected", and one message names the port and the
    // system's reason. From any thread.
    void OnTransferDeviceLost(DWORD error);

    // What the board said at the end of a dialogue (its load report, its prompt), read by the
    // dialogue rather than the watcher: shown in the views and handed to the handler (the
    // command-line tool prints it). From any thread.
    void ShowBoardWords(const std::string& text);
    void SetBoardWordsHandler(std::function<void(const std::string&)> handler) {
        m_boardWordsHandler = std::move(handler);
    }

    // What the watcher received: shown in the views. The watcher's thread.
    int DeliverReceived(const unsigned char* bytes, int count) override;

    const CPortSettings& Settings() const { return m_settings; }
    const std::string& LastDir() const { return m_strLastDir; }
    void SetLastDir(const std::string& dir) { m_strLastDir = dir; }
    const std::string& DocPath() const { return m_strDocPath; }
    const std::string& GetTitle() const { return m_strTitle; }
    // The line in use, for the status bar: "/dev/ttyUSB0  9600 8N1  none", or "Not connected".
    std::string LineStatus() const { return m_link.LineStatus(); }
    CCommPort* Port() const { return m_link.Port(); }
    CPortNameResolver& PortNames() { return m_portNames; }
    ISettingsStore* Store() const { return m_store; }
    IDocumentUi& Ui() const { return m_ui; }
    CUiCallQueue& Calls() const { return m_calls; }

private:
    void SetTitle(const std::string& title);
    // A line for the user in the terminal, not received and not captured.
    void ShowNotice(const std::string& line);
    void ShowInViews(const unsigned char* bytes, int count);
    void ShowError(const std::string& text);

    // IConnectionEvents
    void ConnectionOpening() override;
    void ConnectionTitle(const std::string& title) override { SetTitle(title); }
    void ConnectionError(const std::string& text) override { ShowError(text); }
    void ConnectionNotice(const std::string& line) override { ShowNotice(line); }
    bool TransferOwnsLine() const override { return m_transferRunning.load(); }
    void WaitForTransferEnd() override { WaitForTransfer(); }

    ISettingsStore* m_store;
    IDocumentUi& m_ui;
    CUiCallQueue& m_calls;
    CPortSettings m_settings;
    CPortNameResolver m_portNames;
    std::vector<ITerminalView*> m_views;
    std::string m_strTitle = kDefaultTitle;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::string m_strLastDir;
    std::string m_strDocPath;
    DocumentLoader m_documentLoader;
    std::function<void(const std::string&)> m_boardWordsHandler;
    std::thread m_worker;
    std::atomic<bool> m_transferRunning{false};
    std::atomic<bool> m_stopTransfer{false};
    bool m_refusalShowing = false;  // user-interface thread only
    std::atomic<int> m_viewCount{0};
    // Last: it is closed first, while everything it reports to is still there.
    CPortConnection m_link;
};
