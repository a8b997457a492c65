#include "DocumentTransfers.h"

#include "Cpm68kLoader.h"
#include "ProgramFileLoad.h"
#include "TransferContext.h"
#include "document/LoadFailurePattern.h"
#include "document/TarvolineDoc.h"

bool WithWatcherStopped(CTarvolineDoc& doc,
                        const std::function<void(const CTransferContext&)>& load) {
    if (!doc.Port()) return false;
    if (doc.BusyWithTransfer()) {  // a transfer on the worker has the line
        doc.Ui().Beep();
        return false;
    }
    doc.StopWatcherForTransfer();
    std::string boardWords;
    CTransferContext ctx{*doc.Port(), doc.Settings(), doc.Ui(), &doc.StopFlag(), &boardWords,
                         ReadLoadFailurePattern(doc.Store())};
    load(ctx);
    if (const DWORD lost = doc.Port()->DeviceLostError()) {
        doc.OnTransferDeviceLost(lost);
        return true;
    }
    // What the board said at the end of the dialogue goes to the terminal before anything the
    // watcher reads after it.
    doc.ShowBoardWords(boardWords);
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

ProgramLoadVerdict TransferProgramFile(CTarvolineDoc& doc, const std::string& path, bool rawHeader) {
    ProgramLoadVerdict verdict = ProgramLoadVerdict::Failed;
    WithWatcherStopped(doc, [&](const CTransferContext& ctx) {
        verdict = LoadAnyProgramFile(ctx, path, rawHeader);
    });
    return verdict;
}

ProgramLoadVerdict TransferProgramImage(CTarvolineDoc& doc,
                                        const tarvoline::postlink::ProgramImage& image,
                                        const std::string& name) {
    ProgramLoadVerdict verdict = ProgramLoadVerdict::Failed;
    WithWatcherStopped(doc, [&](const CTransferContext& ctx) {
        verdict = LoadProgramImage(ctx, image, name);
    });
    return verdict;
}
