#pragma once
// Runs the work that other threads hand to the GUI thread through CUiCallQueue, from the Qt
// event loop. A wake-up is one write to an event descriptor that the loop watches; while calls
// keep coming the pump keeps running them, but it returns to the event loop at least every
// kSliceMs so that painting, input and timers go on during a flood of received bytes.

#include <QObject>
#include <atomic>

class QSocketNotifier;
class CUiCallQueue;

class CUiCallPump : public QObject {
    Q_OBJECT
public:
    static constexpr int kSliceMs = 12;

    // Must be built on the GUI thread, which owns the queue.
    explicit CUiCallPump(CUiCallQueue& calls, QObject* parent = nullptr);
    ~CUiCallPump() override;

private:
    void Wake();
    void Drain();

    CUiCallQueue& m_calls;
    int m_wakeFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};
