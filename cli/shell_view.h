#pragma once
// The terminal view of the commands that show the board in the shell (term, run): received
// bytes go through the window's receive rules (BEL, BS, line ends, NUL) and are written to a
// descriptor. On a terminal a line end is CR LF, a BS erases ("\b \b") and BEL rings; to a
// file or pipe a line end is LF alone. The terminal's bytes are ISO 8859-1, as in the window;
// they are written as UTF-8 when the user's locale is UTF-8.
//
// Escape sequences go to the descriptor whole and in their places (a BEL after the text before
// it), so the host terminal shows the board's colours; a sequence split between messages goes
// out once it is complete. A title change (OSC 0 or 2) is dropped unless titles are passed,
// since it would rename the user's own terminal window. A CR that rewrites the board's status
// line (see the receive rules) goes out as a CR, not a line end.
//
// It also hands the text shown (LF line ends, ISO 8859-1) to the program's output that `run`
// matches against; the board's words at the end of a load are shown, never judged.
// User-interface thread only.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "document/DocumentUi.h"
#include "program_output.h"
#include "terminal/ReceiveRules.h"

namespace tarvoline::cli {

class CShellView : public ITerminalView, private ITerminalText {
public:
    using Clock = std::chrono::steady_clock;

    CShellView(int fd, bool terminal, bool utf8);

    // Received bytes are shown only while showing (run: from the start of the program on).
    void SetShowing(bool showing) { m_showing = showing; }
    void OnCommRxData(const unsigned char* bytes, int count) override;
    void ClearText() override { m_rules.Reset(); }
    // The program's own lines (a lost device): to the notice handler, not the output.
    void ShowNotice(const std::string& line) override;
    void SetNoticeHandler(std::function<void(const std::string&)> handler) {
        m_notice = std::move(handler);
    }
    // The session waits for a device that went away (term), as the window does; otherwise
    // (run, term --no-reconnect) it ends, and the notice does not promise a wait.
    void SetWaitsForDevice(bool waits) { m_waitsForDevice = waits; }
    // What the board said at the end of a load (read by the dialogue): shown even before
    // SetShowing, and never part of the program's output.
    void ShowBoardWords(const std::string& text);
    // The loader has sent the start: what the program says from now on is kept.
    void StartSent() { m_program.StartSent(); }
    const CProgramOutput& ProgramOutput() const { return m_program; }

    // The terminal is cooked for a while (term asking for a path, loading): it turns each LF
    // into CR LF by itself, so the line ends go as LF alone and still show as CR LF.
    void SetTerminalAddsCr(bool adds) { m_terminalAddsCr = adds; }
    // The last thing shown did not end its line: a line end goes out, so that the program's
    // own line that follows on the same screen starts on a line of its own.
    void EndOpenLine();
    // Title changes (OSC 0 and 2) reach the host terminal (term --titles).
    void SetPassTitles(bool pass) { m_passTitles = pass; }
    // When the board last sent something to show.
    Clock::time_point LastReceived() const { return m_lastReceived; }
    // The output cannot be written (a closed pipe, a gone terminal).
    bool OutputFailed() const { return m_failed; }

private:
    void Process(const unsigned char* bytes, int count);
    void AppendText(const unsigned char* bytes, int count) override;
    void DeleteLastChar() override;
    void Beep() override;
    void CarriageReturn(int firstColumn, bool takeBackLineEnd) override;
    void EscapeSequence(const CEscapeSequence& seq) override;
    void Flush();

    int m_fd;
    bool m_terminal;
    bool m_utf8;
    bool m_showing = true;
    bool m_failed = false;
    bool m_terminalAddsCr = false;
    bool m_waitsForDevice = false;
    bool m_passTitles = false;
    bool m_boardWords = false;  // showing the board's words at the end of a load
    bool m_lineOpen = false;    // the last byte written did not end a line
    CReceiveRules m_rules;
    std::string m_out;  // written at the end of each batch
    CProgramOutput m_program;
    Clock::time_point m_lastReceived = Clock::now();
    std::function<void(const std::string&)> m_notice;
};

// True when the user's locale (LC_ALL, LC_CTYPE, LANG) writes UTF-8.
bool LocaleIsUtf8();

}  // namespace tarvoline::cli
