#include "RecordLoader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "BoardReport.h"
#include "PromptSpotter.h"
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

struct DialogueResult {
    HexLoadOutcome outcome = HexLoadOutcome::NoMonitorPrompt;
    std::string reportedLine;  // the line of the board's report that failed the load
};

// The answer is the last byte before a quiet time.
CMonitorLink::AnswerTest EndsIn(char answer) {
    return [answer](ReceivedByte last) { return last == answer; };
}

// tom8, the loader command, the data at 57600 baud, then "%" at the normal rate. Each answer
// is looked for after the dialogue's pause and, when it has not come, until kAnswerDeadlineMs
// later (a slow link). The line always ends at the normal baud rate. sendData returns the
// number of bytes it wrote. What the loader says about the records (bad lines, its summary)
// is kept for the terminal and judged by the failure pattern. closingStarts: the host's "%"
// starts a program, so it is not sent after a report that fails the load.
DialogueResult RunRecordLoaderDialogue(const CTransferContext& ctx, const CFailurePattern& failure,
                                       const char* loaderCommand, const IProgressWindow* progress,
                                       bool closingStarts,
                                       const std::function<long(CMonitorLink&)>& sendData) {
    CMonitorLink link(ctx.port, ctx.StopTest(progress));
    DialogueResult result;
    link.LinkSendString("tom8\r");
    // A board that keeps printing at its prompt never goes quiet after it.
    CPromptSpotter prompt;
    if (link.Pause(500) &&
        link.LinkAwaitAnswer(500, AnswerDeadline(), EndsIn('>'), nullptr, &prompt)) {
        result.outcome = HexLoadOutcome::NoLoaderAnswer;
        link.LinkSendString(loaderCommand);
        if (link.Pause(10) && link.LinkAwaitAnswer(100, AnswerDeadline(), EndsIn('%'))) {
            link.LinkSetBaud(kRecordLoaderBaud);
            const std::int64_t start = SteadyNowMs();
            WaitUntilOnTheWire(link, start, sendData(link), kRecordLoaderBaud);
            std::string report;
            const bool answered = link.LinkAwaitAnswer(500, AnswerDeadline(), EndsIn('%'), &report);
            if (ctx.boardWords) *ctx.boardWords += report;
            if (!answered) {
                result.outcome = HexLoadOutcome::NoFinalAnswer;
            } else if (auto line = failure.FirstMatchingLine(report)) {
                result.outcome = HexLoadOutcome::BoardReportedFailure;
                result.reportedLine = *line;
            } else {
                result.outcome = HexLoadOutcome::Loaded;
            }
        }
    }
    if (link.Lost()) return {HexLoadOutcome::DeviceLost, {}};
    link.LinkSetBaud(ctx.NormalBaud());
    // The closing "%" takes the board back to its prompt (and starts a staged program).
    if (result.outcome == HexLoadOutcome::Loaded ||
        (result.outcome == HexLoadOutcome::BoardReportedFailure && !closingStarts)) {
        // Where the "%" starts the program, one that did not go out started nothing.
        if (link.LinkSendString("%") != 1 && closingStarts) {
            if (link.Lost()) return {HexLoadOutcome::DeviceLost, {}};
            result.outcome = HexLoadOutcome::ClosingNotSent;
        }
    }
    if (result.outcome != HexLoadOutcome::Loaded &&
        result.outcome != HexLoadOutcome::BoardReportedFailure && link.Stopped())
        return {HexLoadOutcome::Cancelled, {}};
    return result;
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
        case HexLoadOutcome::ClosingNotSent: return "the host's closing '%' could not be sent";
        case HexLoadOutcome::BoardReportedFailure: return "the board reported bad records";
        case HexLoadOutcome::InvalidFailurePattern: return "the load failure pattern is not a regular expression";
        case HexLoadOutcome::Cancelled: return "cancelled";
        case HexLoadOutcome::NotConnected: return "no port is open";
        case HexLoadOutcome::DeviceLost: return "the device went away";
        case HexLoadOutcome::RateNotCarried:
            return "the port cannot change the board's line to the record loader's rate";
    }
    return "unknown";
}

std::FILE* OpenFileToSend(const std::string& path, const char*& notAFile) {
    notAFile = nullptr;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode))
        notAFile = S_ISDIR(st.st_mode) ? "it is a directory" : "it is not a regular file";
    std::FILE* file = notAFile ? nullptr : ::fdopen(fd, "rb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, 0);  // a regular file's reads never wait anyway
    return file;
}

int LoadHexFile(const CTransferContext& ctx, const std::string& path, HexLoadOutcome* outcome) {
    HexLoadOutcome ignored;
    if (!outcome) outcome = &ignored;
    const char* notAFile = nullptr;
    std::unique_ptr<std::FILE, FileCloser> file(OpenFileToSend(path, notAFile));
    if (!file) {
        ctx.ShowError(notAFile ? path + ": " + notAFile + "; nothing was sent."
                               : std::string("Can't open hex file!"));
        *outcome = HexLoadOutcome::CannotOpen;
        return 1;
    }
    std::fseek(file.get(), 0, SEEK_END);
    long size = std::ftell(file.get());
    std::rewind(file.get());
    if (size < 0) size = 0;

    const CFailurePattern failure(ctx.loadFailurePattern);
    if (!failure.Error().empty()) {
        ctx.ShowError(InvalidPatternMessage(ctx.loadFailurePattern, failure.Error()));
        *outcome = HexLoadOutcome::InvalidFailurePattern;
        return 1;
    }
    const std::string refusal =
        RateChangeRefusal(ctx.port, kRecordLoaderBaud, ctx.NormalBaud(), "The record loader");
    if (!refusal.empty()) {
        ctx.ShowError(refusal);
        *outcome = HexLoadOutcome::RateNotCarried;
        return 1;
    }

    bool cancelled = false;
    DialogueResult result;
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

        result = RunRecordLoaderDialogue(ctx, failure, "lo ;B3+\r", progress.get(), false,
                                         [&](CMonitorLink& link) {
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
    *outcome = result.outcome;
    if (*outcome == HexLoadOutcome::DeviceLost) return 1;  // the document reports it
    if (cancelled || *outcome == HexLoadOutcome::Cancelled) {
        ctx.ShowCancelled();
        *outcome = HexLoadOutcome::Cancelled;
    } else if (*outcome == HexLoadOutcome::BoardReportedFailure) {
        ctx.ShowError("Hex file not loaded, the board reported: " + result.reportedLine);
    } else if (*outcome != HexLoadOutcome::Loaded) {
        ctx.ShowError(std::string("Hex file not loaded: ") + DescribeHexLoadOutcome(*outcome));
    }
    return 1;
}

HexLoadOutcome SendSRecordText(const CTransferContext& ctx, const char* text, int length,
                               std::string* reportedLine) {
    const CFailurePattern failure(ctx.loadFailurePattern);
    if (!failure.Error().empty()) return HexLoadOutcome::InvalidFailurePattern;
    if (!RateChangeRefusal(ctx.port, kRecordLoaderBaud, ctx.NormalBaud(), {}).empty())
        return HexLoadOutcome::RateNotCarried;
    DialogueResult result = RunRecordLoaderDialogue(
        ctx, failure, "lo ;3\r", nullptr, true,
        [&](CMonitorLink& link) -> long { return link.LinkSendBlock(text, length); });
    if (reportedLine) *reportedLine = result.reportedLine;
    return result.outcome;
}
