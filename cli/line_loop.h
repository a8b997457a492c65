#pragma once
// The wait of the commands that stay on the line (term, run): one poll() over the user's
// input, the document's calls into this thread (received bytes, a lost device) and the
// signals, so none of them waits for another.

#include <chrono>

class CUiCallQueue;

namespace tarvoline::cli {

class CLineLoop {
public:
    // keepHandlingSignals: every SIGINT, SIGTERM and SIGHUP wakes the loop (a terminal in raw
    // mode must be put back whatever comes), not only the first.
    CLineLoop(CUiCallQueue& calls, bool keepHandlingSignals);
    ~CLineLoop();
    CLineLoop(const CLineLoop&) = delete;
    CLineLoop& operator=(const CLineLoop&) = delete;

    // Waits until inputFd (-1: none) is readable, a signal came, Wake() was called, or timeout
    // passed (negative: no limit), running the calls that came meanwhile. True when inputFd
    // is readable (or at its end).
    bool Wait(int inputFd, std::chrono::milliseconds timeout);
    // From any thread: ends the current Wait.
    void Wake();

private:
    CUiCallQueue& m_calls;
    int m_pipe[2] = {-1, -1};
};

}  // namespace tarvoline::cli
