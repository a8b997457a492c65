#include "line_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "cli_ui.h"
#include "document/UiCallQueue.h"

namespace tarvoline::cli {

CLineLoop::CLineLoop(CUiCallQueue& calls, bool keepHandlingSignals) : m_calls(calls) {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot make a pipe for the line loop");
    // A full pipe already wakes the loop: a byte that does not fit is not needed.
    const int wake = m_pipe[1];
    m_calls.SetNotify([wake] {
        const char byte = 'c';
        [[maybe_unused]] ssize_t n = ::write(wake, &byte, 1);
    });
    CCliUi::WakeOnSignal(wake, keepHandlingSignals);
}

CLineLoop::~CLineLoop() {
    CCliUi::WakeOnSignal(-1, false);
    m_calls.SetNotify({});
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void CLineLoop::Wake() {
    const char byte = 'w';
    [[maybe_unused]] ssize_t n = ::write(m_pipe[1], &byte, 1);
}

bool CLineLoop::Wait(int inputFd, std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{m_pipe[0], POLLIN, 0}, {inputFd, POLLIN, 0}};
    const int count = inputFd >= 0 ? 2 : 1;
    int ready = 0;
    // Calls queued before the loop got here have already rung; run them before sleeping.
    if (m_calls.RunPending() > 0) timeout = std::chrono::milliseconds(0);
    do {
        ready = ::poll(fds, count, timeout.count() < 0 ? -1 : static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR && !CCliUi::Interrupted());
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        char drain[256];
        while (::read(m_pipe[0], drain, sizeof drain) > 0) {
        }
    }
    m_calls.RunPending();
    return count == 2 && ready > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

}  // namespace tarvoline::cli
