#pragma once
// The user interface of the command-line tool: messages on standard error, progress on
// standard error when it is a terminal, Ctrl-C, SIGTERM and SIGHUP as the Cancel button.

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "document/DocumentUi.h"

class CTarvolineDoc;

namespace tarvoline::cli {

class CCliUi : public IDocumentUi {
public:
    explicit CCliUi(std::ostream& err, bool showProgress);
    ~CCliUi() override;

    MessageResult MessageBox(const std::string& text, const std::string& title, MessageIcon icon,
                             MessageButtons buttons, MessageResult defaultButton) override;
    void Beep() override {}
    void TitleChanged(const std::string&) override {}
    std::unique_ptr<IProgressWindow> CreateProgressWindow() override;

    int MessageCount() const { return m_messages; }
    // Runs before each message is written: a command that shows the board's output on the
    // same screen ends the board's open line there, so the message starts a line of its own.
    void SetBeforeMessage(std::function<void()> hook) { m_beforeMessage = std::move(hook); }
    // The document whose transfer Ctrl-C and SIGTERM stop; null for none.
    static void StopOnInterrupt(CTarvolineDoc* doc);
    // Ctrl-C, SIGTERM or SIGHUP came since this interface was made (or was last cleared).
    static bool Interrupted();
    // The signal that came last, 0 for none.
    static int LastSignal();
    // Forgets a signal that has been dealt with (a Ctrl-C that cancelled one load of a
    // terminal session, which goes on).
    static void ClearInterrupted();
    // Each signal also writes a byte to fd (-1: none), for a loop that polls it. keepHandling:
    // every signal is caught, not only the first, so the loop can put the terminal back.
    static void WakeOnSignal(int fd, bool keepHandling);

private:
    std::ostream& m_err;
    bool m_showProgress;
    int m_messages = 0;
    std::function<void()> m_beforeMessage;
};

// Both descriptors write to the same file or terminal (standard output and standard error
// both on the user's screen): what one writes runs on from what the other wrote last.
bool ShareOneFile(int a, int b);

}  // namespace tarvoline::cli
