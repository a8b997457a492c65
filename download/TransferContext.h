#pragma once
// What a monitor dialogue works with: the open port, the user's line settings, and the user
// interface for its messages and its progress window.

#include <atomic>
#include <string>

#include "document/DocumentUi.h"
#include "document/LoadFailurePattern.h"
#include "comm/PortSettings.h"
#include "MonitorLink.h"

class CCommPort;

struct CTransferContext {
    CCommPort& port;
    const CPortSettings& settings;
    IDocumentUi& ui;
    // Set from any thread (a signal handler among them) to stop the dialogue at its next
    // look, within a few milliseconds; null: nothing outside the progress window stops it.
    const std::atomic<bool>* stop = nullptr;
    // Where the dialogue leaves what the board said after the last answer it waited for (its
    // load report, its prompt), to be shown once the terminal reads the line again.
    std::string* boardWords = nullptr;
    // What in the board's report of a record load means it failed (document/
    // LoadFailurePattern.h): the user's setting, or for one run of the command-line tool its
    // --fail-pattern.
    std::string loadFailurePattern = kDefaultLoadFailurePattern;

    bool Stopped() const { return stop && stop->load(); }
    // The stop test of a dialogue: the context's flag, or Cancel in its progress window.
    CMonitorLink::StopTest StopTest(const IProgressWindow* progress = nullptr) const {
        return [this, progress] { return Stopped() || (progress && progress->CancelRequested()); };
    }

    // Every message of the dialogues: no owner window, title "Error", exclamation icon, OK.
    // A line setting the server of a network port refused meanwhile is named with it, as the
    // likely reason.
    void ShowError(const std::string& text) const {
        const std::string notice = port.TakeLineNotice();
        ui.MessageBox(notice.empty() ? text : text + "\n(The port's server: " + notice + ".)",
                      "Error", MessageIcon::Exclamation);
    }
    void ShowCancelled() const {
        ui.MessageBox("Transfer cancelled", "Tarvoline", MessageIcon::Information);
    }
    DWORD NormalBaud() const { return LeadingDecimal(settings.m_strBaudRate); }
    DWORD DownloadBaud() const { return LeadingDecimal(settings.m_strDownloadBaudRate); }
};

// A message saying why the dialogue cannot run at `rate` when the line runs at `normalRate`:
// the port is a raw network port, whose far side keeps its own rate. Empty when it can (the
// rates are equal, or the port carries line settings).
std::string RateChangeRefusal(const CCommPort& port, DWORD rate, DWORD normalRate,
                              const std::string& what);

// Saves the line configuration and the time-outs, and on every way out switches back to the
// normal baud rate and puts the saved configuration and time-outs back, in that order.
class CSavedLine {
public:
    explicit CSavedLine(const CTransferContext& ctx);
    ~CSavedLine();
    CSavedLine(const CSavedLine&) = delete;
    CSavedLine& operator=(const CSavedLine&) = delete;

private:
    const CTransferContext& m_ctx;
    CLineConfig m_config;
    CCommTimeouts m_timeouts;
    bool m_haveConfig;
    bool m_haveTimeouts;
};
