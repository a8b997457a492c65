#include "CommWatch.h"

#include "CommPort.h"

DWORD CommWatchProc(void* param) {
    auto* watch = static_cast<CommWatchParam*>(param);
    CCommPort* port = watch->pPort;
    unsigned char buffer[kWatchBufferSize];

    // A stop empties the event set, so a new watcher selects its events itself.
    port->SetEventMask(EV_RXCHAR);
    if (!port->WaitEvent()) return 0xFFFFFFFF;
    for (;;) {
        DWORD events = port->GetEventResult(true);
        if (events & EV_RXCHAR) {
            int n = port->Read(buffer, kWatchBufferSize, false);
            if (n != 0) watch->pTarget->DeliverReceived(buffer, n);
            port->WaitEvent();
        }
        if (events == 0) break;
    }
    if (DWORD lost = port->DeviceLostError()) watch->pTarget->OnDeviceLost(port, lost);
    return 0;
}
