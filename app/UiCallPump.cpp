#include "UiCallPump.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <chrono>
#include <cstdint>
#include <thread>

#include "document/UiCallQueue.h"

CUiCallPump::CUiCallPump(CUiCallQueue& calls, QObject* parent) : QObject(parent), m_calls(calls) {
    // An event descriptor rather than a posted event: waking the loop allocates nothing and
    // takes no lock of the toolkit's on the watcher's side.
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_notifier = new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CUiCallPump::Drain);
    m_calls.SetNotify([this] { Wake(); });
}

CUiCallPump::~CUiCallPump() {
    m_calls.SetNotify(nullptr);
    delete m_notifier;
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

void CUiCallPump::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void CUiCallPump::Drain() {
    // Read first: work queued from now on wakes the loop again, so nothing is left waiting
    // when the slice ends.
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &count, sizeof count);
    using Clock = std::chrono::steady_clock;
    const auto sliceEnd = Clock::now() + std::chrono::milliseconds(kSliceMs);
    constexpr auto kLinger = std::chrono::microseconds(100);
    auto idleUntil = Clock::now() + kLinger;
    for (;;) {
        const auto now = Clock::now();
        if (m_calls.RunPending() > 0) {
            idleUntil = Clock::now() + kLinger;
        } else if (now >= idleUntil) {
            break;
        } else {
            std::this_thread::yield();
        }
        if (Clock::now() >= sliceEnd) break;
    }
}
