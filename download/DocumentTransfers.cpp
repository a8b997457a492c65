#include "DocumentTransfers.h"

#include "Cpm68kLoader.h"
#include "TransferContext.h"
#include "document/TarvolineDoc.h"

bool WithWatcherStopped(CTarvolineDoc& doc,
                        const std::function<void(const CTransferContext&)>& load) {
    if (!doc.Port()) return false;
    if (doc.BusyWithDocumentLoad()) {  // the load of an opened document has the line
        doc.Ui().Beep();
        return false;
    }
    doc.StopWatcherForTransfer();
    CTransferContext ctx{*doc.Port(), doc.Settings(), doc.Ui()};
    load(ctx);
    doc.RestartWatcherAfterTransfer();
    return true;
}

HexLoadOutcome TransferHexFile(CTarvolineDoc& doc, const std::string& path) {
    HexLoadOutcome outcome = HexLoadOutcome::NotConnected;
    WithWatcherStopped(doc, [&](const CTransferContext& ctx) { LoadHexFile(ctx, path, &outcome); });
    return outcome;
}

bool TransferCpm68kFile(CTarvolineDoc& doc, const std::string& path) {
    bool started = false;
    WithWatcherStopped(doc, [&](const CTransferContext& ctx) { started = LoadCpm68kFile(ctx, path); });
    return started;
}
