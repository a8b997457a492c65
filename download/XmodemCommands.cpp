#include "XmodemCommands.h"

#include "DocumentTransfers.h"
#include "TransferContext.h"
#include "document/TarvolineDoc.h"

namespace {

struct OutcomeMessages {
    const char* successText;
    const char* successTitle;
    const char* failureText;
    const char* failureTitle;
};

constexpr OutcomeMessages kReceiveMessages{"Receive completed successfully", "Receive Okay",
                                           "Error receiving file!", "Receive Error"};
constexpr OutcomeMessages kSendMessages{"Send completed successfully", "Send Okay",
                                        "Error sending file!", "Send Error"};

template <typename Transfer>
bool RunXmodemCommand(CTarvolineDoc& doc, const OutcomeMessages& messages, Transfer&& transfer) {
    bool ok = false;
    WithWatcherStopped(doc, [&](const CTransferContext& ctx) {
        const XmodemOutcome outcome = transfer(ctx);
        ok = outcome.Ok();
        if (ok) {
            ctx.ui.MessageBox(messages.successText, messages.successTitle,
                              MessageIcon::Information);
            return;
        }
        if (outcome.result == XmodemResult::CancelledByUser)
            ctx.ShowCancelled();
        else
            ctx.ShowError(outcome.detail);
        ctx.ui.MessageBox(messages.failureText, messages.failureTitle, MessageIcon::Exclamation);
    });
    return ok;
}

}  // namespace

bool RunXmodemSend(CTarvolineDoc& doc, const std::string& path, const XmodemTimings& timings) {
    return RunXmodemCommand(doc, kSendMessages, [&](const CTransferContext& ctx) {
        return XmodemSend(ctx, path, timings);
    });
}

bool RunXmodemReceive(CTarvolineDoc& doc, const std::string& path, const XmodemTimings& timings) {
    return RunXmodemCommand(doc, kReceiveMessages, [&](const CTransferContext& ctx) {
        return XmodemReceive(ctx, path, timings);
    });
}
