#pragma once
// The user's terminal in raw mode for `term`: every key reaches the program as typed (Ctrl-C
// and Ctrl-Z included, for the board), nothing is echoed or translated. The settings found at
// the start are put back exactly, on every way out: Restore(), or the destructor.
//
// A stop from outside (SIGTSTP: kill -TSTP, a job-control tool) puts the settings found at the
// start back before the program stops, so the shell gets its terminal as it was; SIGCONT
// (fg, bg) makes the terminal raw again. Both are done in the signal handlers, with calls
// that are safe there, since the program may be stopped while it waits for anything. One
// CTtyMode at a time is raw.

#include <termios.h>

namespace tarvoline::cli {

class CTtyMode {
public:
    // Remembers fd's settings; fd must be a terminal.
    explicit CTtyMode(int fd);
    ~CTtyMode() { Restore(); }
    CTtyMode(const CTtyMode&) = delete;
    CTtyMode& operator=(const CTtyMode&) = delete;

    bool Saved() const { return m_saved; }
    // The settings found at the start turn each LF written into CR LF (a cooked terminal).
    bool CookedAddsCr() const {
        return m_saved && (m_original.c_oflag & OPOST) && (m_original.c_oflag & ONLCR);
    }
    // Raw mode: no echo, no line editing, no signals from keys, no CR/NL translation either
    // way. False when the terminal refused.
    bool MakeRaw();
    // The settings found at the start (a gone terminal is not an error: nothing to put back).
    void Restore();

private:
    int m_fd;
    bool m_saved = false;
    bool m_raw = false;
    termios m_original{};
};

}  // namespace tarvoline::cli
