#include "DownloadImage.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "TransferContext.h"
#include "comm/CommPort.h"

namespace {

std::string Format(const char* format, auto... values) {
    char text[160];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// The monitor may ask for patience with '#' (five seconds each); past this in all, it has not
// accepted the load.
constexpr int kMostPatienceMs = 60000;
// After a cancel the host closes the LOAD and looks this long for the monitor's '-', so the
// board is back at its prompt before the terminal reads the line again.
constexpr int kCancelCloseMs = 40;

struct LoadFailure {
    enum class Kind { Message, Cancelled, DeviceLost };
    Kind kind = Kind::Message;
    std::string message;

    static LoadFailure Cancelled() { return {Kind::Cancelled, {}}; }
    static LoadFailure DeviceLost() { return {Kind::DeviceLost, {}}; }
};

class CLoadDialogue {
public:
    CLoadDialogue(const CTransferContext& ctx, IProgressWindow& progress)
        : m_ctx(ctx), m_link(ctx.port, ctx.StopTest(&progress)), m_progress(progress) {}

    // Empty when the monitor confirmed the load.
    std::optional<LoadFailure> Run(const std::uint8_t* image, std::int32_t length,
                                   std::uint32_t address, std::int32_t count, DWORD downloadBaud);

private:
    // Why a wait came back empty-handed: the user, a lost device, or else the given message.
    LoadFailure Interruption(std::string message) const {
        if (m_link.Lost()) return LoadFailure::DeviceLost();
        if (m_link.Stopped()) return LoadFailure::Cancelled();
        return {LoadFailure::Kind::Message, std::move(message)};
    }
    bool SendCommand(std::uint32_t address, std::int32_t count, DWORD downloadBaud);
    std::optional<LoadFailure> WaitForGoAhead();
    bool GoAheadCameAnyway();
    std::optional<LoadFailure> SendBlocks(const std::uint8_t* image, std::int32_t length);
    void SendEndOfData(bool cancelled);
    std::optional<LoadFailure> WaitForCompletion(bool cancelled);

    const CTransferContext& m_ctx;
    CMonitorLink m_link;
    IProgressWindow& m_progress;
};

bool CLoadDialogue::SendCommand(std::uint32_t address, std::int32_t count, DWORD downloadBaud) {
    std::string command = Format("LOAD %08lX %08lX %08lX\r", static_cast<unsigned long>(downloadBaud),
                                 static_cast<unsigned long>(address),
                                 static_cast<unsigned long>(static_cast<std::uint32_t>(count)));
    if (!m_link.Pause(2)) return false;
    for (char c : command) {
        m_link.LinkSendByte(c);
        // Once the CR is out the monitor may answer '+', so a stop then is left to the wait
        // for it, which closes a LOAD the monitor has accepted.
        if (!m_link.Pause(2) && c != '\r') return false;
    }
    return true;
}

bool CLoadDialogue::GoAheadCameAnyway() {
    if (m_link.Lost()) return false;
    // The '+' may be queued behind the monitor's '#'s, or have come during a pause.
    CMonitorLink closing(m_ctx.port);  // not stopped by the cancel it follows
    const std::int64_t deadline = SteadyNowMs() + kCancelCloseMs;
    for (;;) {
        ReceivedByte b = closing.LinkWaitByte(deadline);
        if (b == '+') return true;
        if (b == kNothingRead) return false;
    }
}

std::optional<LoadFailure> CLoadDialogue::WaitForGoAhead() {
    const char* const kNoGoAhead = "### Protocol Error (timeout expecting initial +)";
    if (!m_link.Pause(250)) return Interruption(kNoGoAhead);
    std::int64_t deadline = AnswerDeadline();
    int patienceMs = 0;
    for (;;) {
        ReceivedByte b = m_link.LinkWaitByte(deadline);
        if (b == '+') return std::nullopt;
        if (b == kNothingRead) return Interruption(kNoGoAhead);
        if (b == '#') {
            // The monitor asks for patience, but not for ever.
            patienceMs += 5000;
            if (patienceMs > kMostPatienceMs) return LoadFailure{LoadFailure::Kind::Message, kNoGoAhead};
            m_ctx.port.SetReadTimeouts(10000, 0, 10000);
            if (!m_link.Pause(5000)) return Interruption(kNoGoAhead);
            deadline = AnswerDeadline();
        }
        // Anything else (the monitor's echo of the command, say) is skipped.
    }
}

std::optional<LoadFailure> CLoadDialogue::SendBlocks(const std::uint8_t* image,
                                                     std::int32_t length) {
    std::int32_t remaining = length;
    while (remaining > 0) {
        if (m_link.Interrupted()) return Interruption({});
        const int n = remaining < kLoadBlockSize ? static_cast<int>(remaining) : kLoadBlockSize;
        m_link.Pause(2);
        ReceivedByte request = m_link.LinkWaitByte(AnswerDeadline());
        if (request != '=') {
            if (request == kNothingRead)
                return Interruption(Format("=timeout,reply=%d,rem=%ld", -1, static_cast<long>(remaining)));
            return LoadFailure{LoadFailure::Kind::Message,
                               Format("%d reply expecting '='", SignedByteValue(request))};
        }
        m_link.LinkSendByte(n / 256);
        m_link.LinkSendByte(n % 256);
        int written = m_link.LinkSendBlock(image, n);
        if (m_link.Lost()) return LoadFailure::DeviceLost();
        if (written != n)
            return LoadFailure{LoadFailure::Kind::Message,
                               Format("actual=%ld max=%ld", static_cast<long>(written), static_cast<long>(n))};
        SleepMs(2);
        m_link.LinkSendByte(0x00);
        SleepMs(2);
        m_link.LinkSendByte(0x00);
        remaining -= n;
        image += n;
        m_progress.StepIt();
    }
    return std::nullopt;
}

void CLoadDialogue::SendEndOfData(bool cancelled) {
    // The pauses are short and the bytes must go out whole, so they run to their end even
    // after a cancel.
    SleepMs(10);
    m_link.LinkSendByte(0x00);
    SleepMs(1);
    m_link.LinkSendByte(0x00);
    if (!cancelled) m_link.Pause(100);
}

std::optional<LoadFailure> CLoadDialogue::WaitForCompletion(bool cancelled) {
    // After a cancel only a short look: the monitor answers at once, and the user waits.
    std::int64_t deadline = cancelled ? SteadyNowMs() + kCancelCloseMs : AnswerDeadline();
    CMonitorLink closing(m_ctx.port);  // not stopped by the cancel it follows
    CMonitorLink& link = cancelled ? closing : m_link;
    for (;;) {
        ReceivedByte b = link.LinkWaitByte(deadline);
        if (b == '-') return std::nullopt;
        if (b == kNothingRead) return Interruption("### Protocol Error (timeout expecting -)");
        if (b == '&' && !cancelled) {
            m_link.LinkSendByte(0x00);
            m_link.Pause(100);
            deadline = AnswerDeadline();
        }
        // Anything else, a request for a further block among it, is skipped.
    }
}

std::optional<LoadFailure> CLoadDialogue::Run(const std::uint8_t* image, std::int32_t length,
                                              std::uint32_t address, std::int32_t count,
                                              DWORD downloadBaud) {
    // A cancel before the monitor has said '+' sends nothing more: the load was not accepted,
    // and the monitor gives up on it by itself. After its '+' the monitor waits at the
    // download rate for the host's '+', so the host answers it and closes the LOAD at once,
    // as after a cancel during the blocks; the board is then back at its prompt.
    if (!SendCommand(address, count, downloadBaud)) return Interruption({});
    std::optional<LoadFailure> blocks = WaitForGoAhead();
    if (blocks && (blocks->kind != LoadFailure::Kind::Cancelled || !GoAheadCameAnyway()))
        return blocks;
    m_ctx.port.SetReadTimeouts(2500, 0, 10000);
    m_link.LinkSetBaud(downloadBaud);
    if (blocks) {
        SleepMs(100);  // the monitor's switch of rate takes its time after a cancel too
    } else {
        m_link.Pause(100);
    }
    m_link.LinkSendByte('+');
    if (!blocks) blocks = SendBlocks(image, length);
    if (blocks && blocks->kind != LoadFailure::Kind::Cancelled) return blocks;
    // Also after a cancel: the end-of-data mark closes the monitor's LOAD, so the board goes
    // back to its prompt instead of waiting for a block that never comes.
    const bool cancelled = blocks.has_value();
    SendEndOfData(cancelled);
    auto completion = WaitForCompletion(cancelled);
    if (completion && completion->kind == LoadFailure::Kind::DeviceLost) return completion;
    if (blocks) return blocks;
    return completion;
}

}  // namespace

std::int16_t DownloadImage(const CTransferContext& ctx, const std::uint8_t* image,
                           std::int32_t length, std::uint32_t loadAddress, std::int32_t byteCount) {
    const DWORD downloadBaud = ctx.DownloadBaud();
    const std::string refusal =
        RateChangeRefusal(ctx.port, downloadBaud, ctx.NormalBaud(), "The LOAD");
    if (!refusal.empty()) {
        ctx.ShowError(refusal);
        return -1;
    }
    std::unique_ptr<IProgressWindow> progress = ctx.ui.CreateProgressWindow();
    progress->SetWindowText("Sending CPM68K File");
    progress->SetStatus(Format("%ld Bytes to %lX @ %ld Baud", static_cast<long>(byteCount),
                               static_cast<unsigned long>(loadAddress),
                               static_cast<long>(downloadBaud)));
    const int blocks = length > 0 ? static_cast<int>((length + kLoadBlockSize - 1) / kLoadBlockSize) : 0;
    progress->SetRange(0, blocks > 0 ? blocks : 1);
    progress->SetStep(1);
    progress->SetPos(0);

    std::optional<LoadFailure> failure;
    {
        CSavedLine saved(ctx);
        ctx.port.SetLineFormat(kParityNone, 8, kTwoStopBits);
        ctx.port.SetReadTimeouts(2500, 0, 10000);
        ctx.port.SetWriteTimeouts(10, 1000);

        CMonitorLink link(ctx.port, ctx.StopTest(progress.get()));
        if (!link.WakeMonitor()) {
            if (link.Lost()) return -1;  // the document reports the lost device
            if (link.Stopped()) {
                failure = LoadFailure::Cancelled();
            } else {
                ctx.ShowError("### Protocol Error (timeout expecting monitor >)");
                return -1;
            }
        } else {
            CLoadDialogue dialogue(ctx, *progress);
            failure = dialogue.Run(image, length, loadAddress, byteCount, downloadBaud);
        }
        if (failure && failure->kind == LoadFailure::Kind::Message) {
            // The messages wait for the user while the line is still in the download state,
            // as the monitor left it; the line is restored after them.
            ctx.ShowError(failure->message);
            ctx.ShowError("### ViVazLoad Error");
        }
    }
    if (failure && failure->kind == LoadFailure::Kind::Cancelled) ctx.ShowCancelled();
    return failure ? -1 : 0;
}
