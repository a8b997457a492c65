#include "RecordLoader.h"

#include <cstdio>
#include <functional>
#include <memory>

#include "TransferContext.h"
#include "comm/CommPort.h"

char* FormatHexDigits(std::uint32_t value, char* buffer, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i) {
        buffer[i] = kHex[value & 0xF];
        value >>= 4;
    }
    buffer[digits] = '\0';
    return buffer;
}

namespace {

// Returns once `bytes` written since `startMs` at `baud` 8N1 can have reached the far end. A
// real port's write already waits for that; a USB adapter's buffer or a pseudo-terminal takes
// the bytes at once, and the loader's answer only comes after the board has them all.
void WaitUntilOnTheWire(CMonitorLink& link, std::int64_t startMs, long bytes, DWORD baud) {
    constexpr long kBitsPerChar = 10;  // start bit, 8 data bits, stop bit
    if (baud == 0) return;
    const std::int64_t lineMs = (static_cast<std::int64_t>(bytes) * kBitsPerChar * 1000 + baud - 1) / baud;
    const std::int64_t left = startMs + lineMs - SteadyNowMs();
    if (left > 0) link.Pause(static_cast<int>(left));
}

// tom8, the loader command, the data at 57600 baud, then "%" at the normal rate. Stops
// without a message where the monitor does not answer as expected; the line always ends at
// the normal baud rate. sendData returns the number of bytes it wrote. What the loader says
// about the records (bad lines, its summary) is kept for the terminal.
HexLoadOutcome RunRecordLoaderDialogue(const CTransferContext& ctx, const char* loaderCommand,
                                       const IProgressWindow* progress,
                                       const std::function<long(CMonitorLink&)>& sendData) {
    CMonitorLink link(ctx.port, ctx.StopTest(progress));
    HexLoadOutcome outcome = HexLoadOutcome::NoMonitorPrompt;
    link.LinkSendString("tom8\r");
    link.Pause(500);
    if (link.LinkDrain(500) == '>') {
        outcome = HexLoadOutcome::NoLoaderAnswer;
        link.LinkSendString(loaderCommand);
        link.Pause(10);
        if (link.LinkDrain(100) == '%') {
            link.LinkSetBaud(kRecordLoaderBaud);
            const std::int64_t start = SteadyNowMs();
            WaitUntilOnTheWire(link, start, sendData(link), kRecordLoaderBaud);
            outcome = link.LinkDrain(500, ctx.boardWords) == '%' ? HexLoadOutcome::Loaded
                                                                  : HexLoadOutcome::NoFinalAnswer;
        }
    }
    if (link.Lost()) return HexLoadOutcome::DeviceLost;
    link.LinkSetBaud(ctx.NormalBaud());
    if (outcome == HexLoadOutcome::Loaded) link.LinkSendString("%");
    if (outcome != HexLoadOutcome::Loaded && link.Stopped()) return HexLoadOutcome::Cancelled;
    return outcome;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

const char* DescribeHexLoadOutcome(HexLoadOutcome outcome) {
    switch (outcome) {
        case HexLoadOutcome::Loaded: return "loaded";
        case HexLoadOutcome::CannotOpen: return "the file cannot be opened";
        case HexLoadOutcome::NoMonitorPrompt: return "the monitor did not answer \"tom8\" with its prompt";
        case HexLoadOutcome::NoLoaderAnswer: return "the monitor's record loader did not answer '%'";
        case HexLoadOutcome::NoFinalAnswer: return "the record loader did not answer '%' after the records";
        case HexLoadOutcome::Cancelled: return "cancelled";
        case HexLoadOutcome::NotConnected: return "no port is open";
        case HexLoadOutcome::DeviceLost: return "the device went away";
    }
    return "unknown";
}

int LoadHexFile(const CTransferContext& ctx, const std::string& path, HexLoadOutcome* outcome) {
    HexLoadOutcome ignored;
    if (!outcome) outcome = &ignored;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        ctx.ShowError("Can't open hex file!");
        *outcome = HexLoadOutcome::CannotOpen;
        return 1;
    }
    std::fseek(file.get(), 0, SEEK_END);
    long size = std::ftell(file.get());
    std::rewind(file.get());
    if (size < 0) size = 0;

    bool cancelled = false;
    {
        CSavedLine saved(ctx);
        ctx.port.SetLineFormat(kParityNone, 8, kOneStopBit);
        ctx.port.SetReadTimeouts(1000, 0, 10000);

        std::unique_ptr<IProgressWindow> progress = ctx.ui.CreateProgressWindow();
        progress->SetWindowText("Sending HEX File");
        progress->SetStatus("...");
        long pieces = (size + kHexPieceSize - 1) / kHexPieceSize;
        progress->SetRange(0, pieces > 0 ? static_cast<int>(pieces) : 1);
        progress->SetStep(1);
        progress->SetPos(0);

        *outcome = RunRecordLoaderDialogue(ctx, "lo ;B3+\r", progress.get(), [&](CMonitorLink& link) {
            long written = 0;
            unsigned char piece[kHexPieceSize];
            for (;;) {
                // Cancel stops between pieces; the loader then ends on the quiet line.
                if (link.Interrupted()) {
                    cancelled = link.Stopped();
                    break;
                }
                size_t n = std::fread(piece, 1, sizeof piece, file.get());
                if (n == 0) break;
                written += link.LinkSendBlock(piece, static_cast<int>(n));
                progress->StepIt();
            }
            return written;
        });
    }
    if (*outcome == HexLoadOutcome::DeviceLost) return 1;  // the document reports it
    if (cancelled || *outcome == HexLoadOutcome::Cancelled) {
        ctx.ShowCancelled();
        *outcome = HexLoadOutcome::Cancelled;
    }
    return 1;
}

void SendSRecordText(const CTransferContext& ctx, const char* text, int length) {
    RunRecordLoaderDialogue(ctx, "lo ;3\r", nullptr,
                            [&](CMonitorLink& link) -> long { return link.LinkSendBlock(text, length); });
}
