#include "tty_mode.h"

#include <unistd.h>

namespace tarvoline::cli {

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
    m_raw = true;
    return true;
}

void CTtyMode::Restore() {
    if (!m_raw) return;
    ::tcsetattr(m_fd, TCSADRAIN, &m_original);
    m_raw = false;
}

}  // namespace tarvoline::cli
