#pragma once
// The watcher thread: waits for received characters and hands each batch to its target.

#include <cstddef>
#include <cstdint>

#include "CommTypes.h"

class CCommPort;

// What the watcher delivers to. DeliverReceived runs on the watcher thread and returns only
// when the bytes have been shown; the buffer is reused as soon as it returns.
class IReceiveTarget {
public:
    virtual ~IReceiveTarget() = default;
    virtual int DeliverReceived(const unsigned char* bytes, int count) = 0;
    // The device went away (hang-up, I/O error); called once on the watcher thread as it ends.
    virtual void OnDeviceLost(CCommPort* port, DWORD error) = 0;
};

// The record handed to the watcher thread: the port, then the target.
struct CommWatchParam {
    CCommPort* pPort = nullptr;
    IReceiveTarget* pTarget = nullptr;
};

constexpr int kWatchBufferSize = 1024;

// Thread routine for CCommPort::StartWatcher with a CommWatchParam. One read of at most 1024
// queued bytes per received-data event, delivered before the next wait. Exit code 0, or
// 0xFFFFFFFF when the first wait cannot be armed.
DWORD CommWatchProc(void* param);
