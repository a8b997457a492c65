#pragma once
// The terminal view of `term --hex`: the board's bytes as the hex view's rows (HexRows.h),
// the same rows the window shows. On a terminal the open row is written again in its place
// (CR, then the longer row) as bytes come, and ends with CR LF once it has sixteen; to a file
// or pipe only whole rows are written, and the open row at the end. The receive rules do not
// apply: every byte shows, none acts. User-interface thread only.

#include <chrono>
#include <functional>
#include <string>

#include "document/DocumentUi.h"
#include "terminal/HexRows.h"

namespace tarvoline::cli {

class CHexTermView : public ITerminalView {
public:
    using Clock = std::chrono::steady_clock;

    CHexTermView(int fd, bool terminal);

    void OnCommRxData(const unsigned char* bytes, int count) override;
    void ClearText() override { m_rows.Reset(); }
    void ShowNotice(const std::string& line) override {
        if (m_notice) m_notice(line);
    }
    void SetNoticeHandler(std::function<void(const std::string&)> handler) {
        m_notice = std::move(handler);
    }
    // The terminal is cooked for a while and adds the CR of each LF itself.
    void SetTerminalAddsCr(bool adds) { m_terminalAddsCr = adds; }
    // Ends the open row's line on a terminal (the program's own line follows), or writes the
    // open row to a file or pipe (the session ends).
    void EndOpenLine();
    Clock::time_point LastReceived() const { return m_lastReceived; }
    bool OutputFailed() const { return m_failed; }

private:
    void Show(const CHexRow& row);
    void Flush();
    const char* LineEnd() const { return m_terminal && !m_terminalAddsCr ? "\r\n" : "\n"; }

    int m_fd;
    bool m_terminal;
    bool m_terminalAddsCr = false;
    bool m_failed = false;
    bool m_rowOnScreen = false;  // the open row is on the terminal's current line
    CHexRows m_rows;
    std::string m_openRow;  // to a file or pipe: the open row, not written yet
    std::string m_out;
    Clock::time_point m_lastReceived = Clock::now();
    std::function<void(const std::string&)> m_notice;
};

}  // namespace tarvoline::cli
