#include "UiCallQueue.h"

CUiCallQueue::CUiCallQueue() : m_owner(std::this_thread::get_id()) {}

CUiCallQueue::~CUiCallQueue() = default;

void CUiCallQueue::SetNotify(std::function<void()> notify) {
    std::lock_guard lock(m_mutex);
    m_notify = std::move(notify);
}

void CUiCallQueue::Notify() {
    std::function<void()> notify;
    {
        std::lock_guard lock(m_mutex);
        notify = m_notify;
    }
    if (notify) notify();
}

void CUiCallQueue::Call(const std::function<void()>& fn) {
    if (IsOwnerThread()) {
        fn();
        return;
    }
    SyncCall call{&fn};
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(&call);
        ++m_queued;
    }
    m_changed.notify_all();
    Notify();
    // The owner usually answers within microseconds; a short spin spares two context switches
    // per batch of received bytes.
    auto spinUntil = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
    while (!call.done.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < spinUntil)
        std::this_thread::yield();
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return call.done.load(); });
}

void CUiCallQueue::Post(std::function<void()> fn) {
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(fn));
        ++m_queued;
    }
    m_changed.notify_all();
    Notify();
}

int CUiCallQueue::RunPending() { return Run(true); }

int CUiCallQueue::Run(bool includePosted) {
    int ran = 0;
    for (;;) {
        SyncCall* call = nullptr;
        std::function<void()> posted;
        {
            std::lock_guard lock(m_mutex);
            if (!m_calls.empty()) {
                call = m_calls.front();
                m_calls.pop_front();
                --m_queued;
            } else if (includePosted && !m_posted.empty()) {
                posted = std::move(m_posted.front());
                m_posted.pop_front();
                --m_queued;
            } else {
                return ran;
            }
        }
        ++ran;
        if (call) {
            (*call->fn)();
            {
                std::lock_guard lock(m_mutex);
                call->done.store(true, std::memory_order_release);
                // The caller may return and drop the record as soon as it sees done; do not
                // touch it after this point.
            }
            m_changed.notify_all();
        } else {
            posted();
        }
    }
}

void CUiCallQueue::RunCallsIfOwner() {
    if (IsOwnerThread()) Run(false);
}

int CUiCallQueue::WaitAndRun(std::chrono::milliseconds limit) {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, limit, [&] { return !m_calls.empty() || !m_posted.empty(); });
    }
    return RunPendingAndLinger();
}

int CUiCallQueue::RunPendingAndLinger(std::chrono::microseconds linger) {
    int ran = RunPending();
    auto idleUntil = std::chrono::steady_clock::now() + linger;
    while (std::chrono::steady_clock::now() < idleUntil) {
        if (m_queued.load(std::memory_order_acquire) > 0) {
            ran += RunPending();
            idleUntil = std::chrono::steady_clock::now() + linger;
        } else {
            std::this_thread::yield();
        }
    }
    return ran;
}
