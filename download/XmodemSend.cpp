// The sending side: waits for the receiver's 'C' or NAK, sends the blocks one at a time,
// each until it is acknowledged, then the EOT until it is acknowledged.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "TransferContext.h"
#include "Xmodem.h"
#include "XmodemLine.h"

namespace {

// The bar's bounds are 16-bit: a large file steps once per several blocks.
constexpr int kMostSteps = 30000;

class CXmodemSender {
  public:
    CXmodemSender(CXmodemLine& line, const XmodemTimings& timings, XmodemOutcome& outcome)
        : m_line(line), m_timings(timings), m_outcome(outcome) {}

    void Run(const std::vector<std::uint8_t>& data);

  private:
    bool WaitForStart();
    bool SendBlock(const std::uint8_t* data, std::size_t length, int number);
    bool SendEnd();
    // Waits for the answer to what was just sent: true for ACK; false with m_outcome set
    // when the transfer is over; false with m_outcome Ok for a try that failed.
    bool WaitForAck(bool firstBlock);
    bool Fail(XmodemResult result, bool cancelOtherSide);

    CXmodemLine& m_line;
    const XmodemTimings& m_timings;
    XmodemOutcome& m_outcome;
    std::chrono::steady_clock::time_point m_lastAnswer = std::chrono::steady_clock::now();
};

// Rounded up, so that a wait of "0 ms" is never taken for a deadline that has passed.
int MsUntil(std::chrono::steady_clock::time_point t) {
    return static_cast<int>(
        std::chrono::ceil<std::chrono::milliseconds>(t - std::chrono::steady_clock::now()).count());
}

bool CXmodemSender::Fail(XmodemResult result, bool cancelOtherSide) {
    if (cancelOtherSide)
        m_line.SendCancel();
    m_outcome.result = result;
    return false;
}

bool CXmodemSender::WaitForStart() {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
        const int left = m_timings.startTimeoutMs - static_cast<int>(waited);
        std::uint8_t b = 0;
        switch (left > 0 ? m_line.ReadByte(left, b) : CXmodemLine::Got::TimedOut) {
            case CXmodemLine::Got::Byte:
                break;
            case CXmodemLine::Got::TimedOut:
                return Fail(XmodemResult::NoStart, true);
            case CXmodemLine::Got::UserCancel:
                return Fail(XmodemResult::CancelledByUser, true);
            case CXmodemLine::Got::Lost:
                return Fail(XmodemResult::LineLost, false);
        }
        if (b == kXmodemCrcRequest || b == kXmodemNak) {
            m_lastAnswer = std::chrono::steady_clock::now();
            m_outcome.crc = b == kXmodemCrcRequest;
            // Further requests the receiver sent while we were not yet listening would
            // otherwise read as the answer to the first block.
            m_line.DiscardQueued();
            return true;
        }
        if (b == kXmodemCan && m_line.SecondCancelFollows())
            return Fail(XmodemResult::CancelledByPeer, false);
        // Anything else is what the line held before the receiver started.
    }
}

bool CXmodemSender::WaitForAck(bool firstBlock) {
    using Clock = std::chrono::steady_clock;
    std::uint8_t b = 0;
    // Noise does not restart the wait; and the receiver must answer now and then at all.
    const auto reply = Clock::now() + std::chrono::milliseconds(m_timings.replyTimeoutMs);
    const auto answer = m_lastAnswer + std::chrono::milliseconds(m_timings.answerTimeoutMs);
    for (;;) {
        const int left = MsUntil(std::min(reply, answer));
        switch (left > 0 ? m_line.ReadByte(left, b) : CXmodemLine::Got::TimedOut) {
            case CXmodemLine::Got::Byte:
                break;
            case CXmodemLine::Got::TimedOut:
                if (Clock::now() >= answer) return Fail(XmodemResult::NoAnswer, true);
                return false;
            case CXmodemLine::Got::UserCancel:
                return Fail(XmodemResult::CancelledByUser, true);
            case CXmodemLine::Got::Lost:
                return Fail(XmodemResult::LineLost, false);
        }
        if (b == kXmodemAck || b == kXmodemNak) m_lastAnswer = Clock::now();
        if (b == kXmodemAck)
            return true;
        if (b == kXmodemNak)
            return false;
        // A receiver still asking to start has not seen the first block.
        if (b == kXmodemCrcRequest && firstBlock) {
            m_lastAnswer = Clock::now();
            return false;
        }
        if (b == kXmodemCan && m_line.SecondCancelFollows())
            return Fail(XmodemResult::CancelledByPeer, false);
    }
}

bool CXmodemSender::SendBlock(const std::uint8_t* data, std::size_t length, int number) {
    std::uint8_t packet[3 + kXmodemBlockSize + 2];
    packet[0] = kXmodemSoh;
    packet[1] = static_cast<std::uint8_t>(number);
    packet[2] = static_cast<std::uint8_t>(~number);
    std::uint8_t* body = packet + 3;
    std::memcpy(body, data, length);
    std::memset(body + length, kXmodemSub, kXmodemBlockSize - length);
    int size = 3 + kXmodemBlockSize;
    if (m_outcome.crc) {
        const std::uint16_t crc = XmodemCrc16(body, kXmodemBlockSize);
        packet[size++] = static_cast<std::uint8_t>(crc >> 8);
        packet[size++] = static_cast<std::uint8_t>(crc);
    } else {
        packet[size++] = XmodemChecksum(body, kXmodemBlockSize);
    }
    for (int tries = 0; tries < m_timings.maxRetries; ++tries) {
        if (m_line.Lost())
            return Fail(XmodemResult::LineLost, false);
        m_line.Send(packet, size);  // a short write shows as a NAK or a time-out
        if (WaitForAck(number == 1))
            return true;
        if (!m_outcome.Ok())
            return false;
    }
    return Fail(XmodemResult::TooManyErrors, true);
}

bool CXmodemSender::SendEnd() {
    for (int tries = 0; tries < m_timings.maxRetries; ++tries) {
        if (m_line.Lost())
            return Fail(XmodemResult::LineLost, false);
        m_line.SendByte(kXmodemEot);
        if (WaitForAck(false))
            return true;
        if (!m_outcome.Ok())
            return false;
    }
    return Fail(XmodemResult::TooManyErrors, true);
}

void CXmodemSender::Run(const std::vector<std::uint8_t>& data) {
    const int blocks = static_cast<int>((data.size() + kXmodemBlockSize - 1) / kXmodemBlockSize);
    const int blocksPerStep = std::max(1, (blocks + kMostSteps - 1) / kMostSteps);
    m_line.SetRange(0, std::max(1, (blocks + blocksPerStep - 1) / blocksPerStep));
    if (!WaitForStart())
        return;
    for (int i = 0; i < blocks; ++i) {
        if (m_line.Lost()) {
            Fail(XmodemResult::LineLost, false);
            return;
        }
        if (m_line.CancelRequested()) {
            Fail(XmodemResult::CancelledByUser, true);
            return;
        }
        const std::size_t offset = std::size_t(i) * kXmodemBlockSize;
        const std::size_t length = std::min<std::size_t>(kXmodemBlockSize, data.size() - offset);
        if (!SendBlock(data.data() + offset, length, i + 1))
            return;
        m_outcome.blocks = i + 1;
        m_outcome.bytes = static_cast<std::int64_t>(offset + length);
        if ((i + 1) % blocksPerStep == 0 || i + 1 == blocks)
            m_line.StepIt();
    }
    SendEnd();
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Files are read whole, so a transfer never waits on the disk.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& data, std::string& why) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        why = "Cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::uint8_t buffer[65536];
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        data.insert(data.end(), buffer, buffer + n);
        if (n < sizeof buffer)
            break;
    }
    if (std::ferror(file.get())) {
        why = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

XmodemOutcome XmodemSend(const CTransferContext& ctx, const std::string& path,
                         const XmodemTimings& timings) {
    XmodemOutcome outcome;
    std::vector<std::uint8_t> data;
    if (!ReadWholeFile(path, data, outcome.detail)) {
        outcome.result = XmodemResult::CannotOpen;
        return outcome;
    }

    std::unique_ptr<IProgressWindow> progress = ctx.ui.CreateProgressWindow();
    progress->SetWindowText(kXmodemCaption);
    progress->SetStatus("Sending " + FileNameOf(path) + ", " + std::to_string(data.size()) +
                        " bytes");
    {
        CSavedLine saved(ctx);
        SetXmodemLineFormat(ctx);
        CXmodemLine line(ctx.port, *progress, ctx.NormalBaud(), ctx.StopTest(progress.get()));
        CXmodemSender(line, timings, outcome).Run(data);
        if (!outcome.Ok()) {
            // The rest of a cancelled exchange is not terminal text.
            line.DrainUntilQuiet(300, 3000);
            outcome.detail = "XMODEM send of " + path + ": " + DescribeXmodemResult(outcome.result);
        }
    }
    return outcome;
}
