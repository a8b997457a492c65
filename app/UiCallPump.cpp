#include "UiCallPump.h"

#include <QMetaObject>
#include <chrono>
#include <thread>

#include "UiCallQueue.h"

CUiCallPump::CUiCallPump(CUiCallQueue& calls, QObject* parent) : QObject(parent), m_calls(calls) {
    m_calls.SetNotify([this] { Wake(); });
}

CUiCallPump::~CUiCallPump() { m_calls.SetNotify(nullptr); }

void CUiCallPump::Wake() {
    if (m_wakePending.exchange(true)) return;
    QMetaObject::invokeMethod(this, [this] { Drain(); }, Qt::QueuedConnection);
}

void CUiCallPump::Drain() {
    // Cleared first: work queued from now on wakes the loop again, so nothing is left waiting
    // when the slice ends.
    m_wakePending.store(false);
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
