#include "tty_mode.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace tarvoline::cli {
namespace {

// What the handlers need, set before they are installed and while they are out.
int g_fd = -1;
termios g_original{};
termios g_raw{};
volatile sig_atomic_t g_rawWanted = 0;
struct sigaction g_oldTstp {};
struct sigaction g_oldCont {};

void OnStop(int) {
    const int saved = errno;
    if (g_rawWanted) ::tcsetattr(g_fd, TCSADRAIN, &g_original);
    // Stop as the default action would, once this handler returns (SIGTSTP is blocked in it).
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(SIGTSTP, &standard, nullptr);
    ::raise(SIGTSTP);
    errno = saved;
}

void InstallStopHandler();

void OnContinue(int) {
    const int saved = errno;
    if (g_rawWanted) {
        ::tcsetattr(g_fd, TCSADRAIN, &g_raw);
        InstallStopHandler();
    }
    errno = saved;
}

void InstallStopHandler() {
    struct sigaction stop {};
    stop.sa_handler = OnStop;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = SA_RESTART;
    ::sigaction(SIGTSTP, &stop, nullptr);
}

}  // namespace

CTtyMode::CTtyMode(int fd) : m_fd(fd) { m_saved = ::tcgetattr(fd, &m_original) == 0; }

bool CTtyMode::MakeRaw() {
    if (!m_saved) return false;
    termios raw = m_original;
    // The character size and speed stay the terminal's own: only input and output handling
    // change.
    raw.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_oflag &= ~OPOST;
    raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(m_fd, TCSADRAIN, &raw) != 0) return false;
    if (m_raw) return true;  // the handlers are in already
    m_raw = true;
    // The handlers read these: they are set while no handler is in.
    g_rawWanted = 0;
    g_fd = m_fd;
    g_original = m_original;
    g_raw = raw;
    g_rawWanted = 1;
    struct sigaction stop {}, cont {};
    stop.sa_handler = OnStop;
    sigemptyset(&stop.sa_mask);
    sigaddset(&stop.sa_mask, SIGCONT);
    stop.sa_flags = SA_RESTART;
    cont.sa_handler = OnContinue;
    sigemptyset(&cont.sa_mask);
    sigaddset(&cont.sa_mask, SIGTSTP);
    cont.sa_flags = SA_RESTART;
    ::sigaction(SIGTSTP, &stop, &g_oldTstp);
    ::sigaction(SIGCONT, &cont, &g_oldCont);
    return true;
}

void CTtyMode::Restore() {
    if (!m_raw) return;
    g_rawWanted = 0;
    ::sigaction(SIGTSTP, &g_oldTstp, nullptr);
    ::sigaction(SIGCONT, &g_oldCont, nullptr);
    ::tcsetattr(m_fd, TCSADRAIN, &m_original);
    m_raw = false;
}

}  // namespace tarvoline::cli
