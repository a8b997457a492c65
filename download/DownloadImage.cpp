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

// How long the host keeps looking for an answer once the protocol's own pause is over: the
// read interval the LOAD sets. A board's answer comes late on a busy host, behind a USB
// adapter's latency timer, or when the host's writes return before the bytes are on the wire.
constexpr int kAnswerDeadlineMs = 2500;

std::int64_t AnswerDeadline() { return SteadyNowMs() + kAnswerDeadlineMs; }

struct LoadFailure {
    std::string message;  // empty: cancelled by the user
};

class CLoadDialogue {
public:
    CLoadDialogue(const CTransferContext& ctx, IProgressWindow& progress)
        : m_ctx(ctx), m_link(ctx.port), m_progress(progress) {}

    // Empty when the monitor confirmed the load.
    std::optional<LoadFailure> Run(const std::uint8_t* image, std::int32_t length,
                                   std::uint32_t address, std::int32_t count, DWORD downloadBaud);

private:
    bool SendCommand(std::uint32_t address, std::int32_t count, DWORD downloadBaud);
    std::optional<LoadFailure> WaitForGoAhead();
    std::optional<LoadFailure> SendBlocks(const std::uint8_t* image, std::int32_t length);
    void SendEndOfData();
    std::optional<LoadFailure> WaitForCompletion();

    const CTransferContext& m_ctx;
    CMonitorLink m_link;
    IProgressWindow& m_progress;
};

bool CLoadDialogue::SendCommand(std::uint32_t address, std::int32_t count, DWORD downloadBaud) {
    std::string command = Format("LOAD %08lX %08lX %08lX\r", static_cast<unsigned long>(downloadBaud),
                                 static_cast<unsigned long>(address),
                                 static_cast<unsigned long>(static_cast<std::uint32_t>(count)));
    SleepMs(2);
    for (char c : command) {
        m_link.LinkSendByte(c);
        SleepMs(2);
    }
    return true;
}

std::optional<LoadFailure> CLoadDialogue::WaitForGoAhead() {
    SleepMs(250);
    std::int64_t deadline = AnswerDeadline();
    for (;;) {
        ReceivedByte b = m_link.LinkWaitByte(deadline);
        if (b == '+') return std::nullopt;
        if (b == kNothingRead) return LoadFailure{"### Protocol Error (timeout expecting initial +)"};
        if (b == '#') {
            // The monitor asks for patience.
            m_ctx.port.SetReadTimeouts(10000, 0, 10000);
            SleepMs(5000);
            deadline = AnswerDeadline();
        }
        // Anything else (the monitor's echo of the command, say) is skipped.
    }
}

std::optional<LoadFailure> CLoadDialogue::SendBlocks(const std::uint8_t* image,
                                                     std::int32_t length) {
    std::int32_t remaining = length;
    while (remaining > 0) {
        if (m_progress.CancelRequested()) return LoadFailure{};
        const int n = remaining < kLoadBlockSize ? static_cast<int>(remaining) : kLoadBlockSize;
        SleepMs(2);
        ReceivedByte request = m_link.LinkWaitByte(AnswerDeadline());
        if (request != '=') {
            if (request == kNothingRead)
                return LoadFailure{Format("=timeout,reply=%d,rem=%ld", -1, static_cast<long>(remaining))};
            return LoadFailure{Format("%d reply expecting '='", SignedByteValue(request))};
        }
        m_link.LinkSendByte(n / 256);
        m_link.LinkSendByte(n % 256);
        int written = m_link.LinkSendBlock(image, n);
        if (written != n)
            return LoadFailure{Format("actual=%ld max=%ld", static_cast<long>(written), static_cast<long>(n))};
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

void CLoadDialogue::SendEndOfData() {
    SleepMs(10);
    m_link.LinkSendByte(0x00);
    SleepMs(1);
    m_link.LinkSendByte(0x00);
    SleepMs(100);
}

std::optional<LoadFailure> CLoadDialogue::WaitForCompletion() {
    std::int64_t deadline = AnswerDeadline();
    for (;;) {
        ReceivedByte b = m_link.LinkWaitByte(deadline);
        if (b == '-') return std::nullopt;
        if (b == kNothingRead) return LoadFailure{"### Protocol Error (timeout expecting -)"};
        if (b == '&') {
            m_link.LinkSendByte(0x00);
            SleepMs(100);
            deadline = AnswerDeadline();
        }
        // Anything else, a request for a further block among it, is skipped.
    }
}

std::optional<LoadFailure> CLoadDialogue::Run(const std::uint8_t* image, std::int32_t length,
                                              std::uint32_t address, std::int32_t count,
                                              DWORD downloadBaud) {
    SendCommand(address, count, downloadBaud);
    if (auto failure = WaitForGoAhead()) return failure;
    m_ctx.port.SetReadTimeouts(2500, 0, 10000);
    m_link.LinkSetBaud(downloadBaud);
    SleepMs(100);
    m_link.LinkSendByte('+');
    auto blocks = SendBlocks(image, length);
    if (blocks && !blocks->message.empty()) return blocks;
    // Also after a cancel: the end-of-data mark closes the monitor's LOAD, so the board goes
    // back to its prompt instead of waiting for a block that never comes.
    SendEndOfData();
    auto completion = WaitForCompletion();
    if (blocks) return blocks;
    return completion;
}

}  // namespace

std::int16_t DownloadImage(const CTransferContext& ctx, const std::uint8_t* image,
                           std::int32_t length, std::uint32_t loadAddress, std::int32_t byteCount) {
    const DWORD downloadBaud = ctx.DownloadBaud();
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

        CMonitorLink link(ctx.port);
        if (!link.WakeMonitor()) {
            ctx.ShowError("### Protocol Error (timeout expecting monitor >)");
            return -1;
        }
        CLoadDialogue dialogue(ctx, *progress);
        failure = dialogue.Run(image, length, loadAddress, byteCount, downloadBaud);
        if (failure && !failure->message.empty()) {
            // The messages wait for the user while the line is still in the download state,
            // as the monitor left it; the line is restored after them.
            ctx.ShowError(failure->message);
            ctx.ShowError("### ViVazLoad Error");
        }
    }
    if (failure && failure->message.empty()) ctx.ShowCancelled();
    return failure ? -1 : 0;
}
