#pragma once
// The one channel from other threads into the user-interface thread.
//
// Call() runs a function on the owner thread and returns after it ran: this is how the watcher
// hands received bytes to the view while they still sit in its stack buffer. Post() queues a
// function without waiting. The owner thread runs what is queued in RunPending(): the front
// end's event loop does so whenever the notify function asks, and a thread that waits for
// another thread (a stopping watcher) keeps running it, so the two never wait on each other.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CUiCallQueue {
public:
    // The constructing thread is the owner.
    CUiCallQueue();
    ~CUiCallQueue();
    CUiCallQueue(const CUiCallQueue&) = delete;
    CUiCallQueue& operator=(const CUiCallQueue&) = delete;

    // Called from any thread when work is queued; the front end wakes its loop with it. It must
    // not run the work itself.
    void SetNotify(std::function<void()> notify);

    void Call(const std::function<void()>& fn);
    void Post(std::function<void()> fn);

    // Owner thread: runs everything queued; returns how many functions ran.
    int RunPending();
    // On the owner thread, runs the waiting Call()s but no posted work: used while that thread
    // waits inside an operation that posted work must not re-enter. Elsewhere does nothing.
    void RunCallsIfOwner();
    // Owner thread: waits until work is queued or the time passes, then runs it and lingers.
    int WaitAndRun(std::chrono::milliseconds limit);
    // Owner thread: runs what is queued, then keeps watching for more for a short while. Under
    // a flood of received bytes the next batch comes within microseconds; catching it here
    // spares the owner a sleep and a wake-up per batch, which would halve the throughput.
    int RunPendingAndLinger(std::chrono::microseconds linger = std::chrono::microseconds(100));

    bool IsOwnerThread() const { return std::this_thread::get_id() == m_owner; }

private:
    struct SyncCall {
        const std::function<void()>* fn;
        std::atomic<bool> done{false};
    };

    void Notify();
    int Run(bool includePosted);

    const std::thread::id m_owner;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<SyncCall*> m_calls;
    std::deque<std::function<void()>> m_posted;
    std::atomic<int> m_queued{0};  // lets the owner look for work without the lock
    std::function<void()> m_notify;
};
