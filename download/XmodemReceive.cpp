// The receiving side: asks for CRC blocks with 'C' a few times, then for checksum blocks
// with NAK; acknowledges each good block, asks again for a bad one, acknowledges a repeat of
// the last block without keeping it twice, and ends at the EOT.

#include <chrono>
#include <memory>
#include <vector>

#include "TransferContext.h"
#include "Xmodem.h"
#include "XmodemLine.h"
#include "fileio/atomic_file.h"

namespace {

constexpr int kLargeBlockSize = 1024;

// The received data on its way to its file: written whole or not at all, so a transfer that
// fails or is cancelled leaves an existing file of the target's name as it was.
class CPartialFile {
  public:
    explicit CPartialFile(const std::string& target) : m_file(target) {}

    bool Create(std::string& why) { return m_file.Create() || Failed(why); }
    bool Write(const std::uint8_t* data, std::size_t length, std::string& why) {
        return m_file.Write({data, length}) || Failed(why);
    }
    bool Commit(std::string& why) { return m_file.Commit() || Failed(why); }

  private:
    bool Failed(std::string& why) {
        why = m_file.errorText();
        return false;
    }
    tarvoline::fileio::AtomicFile m_file;
};

class CXmodemReceiver {
  public:
    CXmodemReceiver(CXmodemLine& line, IProgressWindow& progress, CPartialFile& file,
                    const std::string& name, const XmodemTimings& timings, XmodemOutcome& outcome)
        : m_line(line),
          m_progress(progress),
          m_file(file),
          m_name(name),
          m_timings(timings),
          m_outcome(outcome) {}

    void Run();

  private:
    enum class Block { Accepted, Repeated, Bad, Fatal };

    bool Start(std::uint8_t& header);
    Block ReadBlock(std::uint8_t header);
    bool NextHeader(std::uint8_t& header);
    bool Retry();
    bool Keep(std::vector<std::uint8_t> block);
    bool Finish();
    bool Fail(XmodemResult result, bool cancelOtherSide);
    // A CAN was read: the transfer is over when a second one follows.
    bool CancelledByPeer() {
        return m_line.SecondCancelFollows() && !Fail(XmodemResult::CancelledByPeer, false);
    }

    CXmodemLine& m_line;
    IProgressWindow& m_progress;
    CPartialFile& m_file;
    const std::string& m_name;
    const XmodemTimings& m_timings;
    XmodemOutcome& m_outcome;
    std::uint8_t m_expected = 1;
    int m_errors = 0;
    // The last block received is held back until the next one or the EOT comes: only the
    // last block of the file loses its padding.
    std::vector<std::uint8_t> m_held;
};

bool CXmodemReceiver::Fail(XmodemResult result, bool cancelOtherSide) {
    if (cancelOtherSide)
        m_line.SendCancel();
    m_outcome.result = result;
    return false;
}

bool CXmodemReceiver::Start(std::uint8_t& header) {
    const auto begin = std::chrono::steady_clock::now();
    auto elapsedMs = [&] {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - begin)
                                    .count());
    };
    for (int requests = 0;; ++requests) {
        if (elapsedMs() >= m_timings.receiveStartTimeoutMs)
            return Fail(XmodemResult::NoStart, true);
        m_outcome.crc = requests < m_timings.crcRequests;
        m_line.SendByte(m_outcome.crc ? kXmodemCrcRequest : kXmodemNak);
        const int until =
            std::min(elapsedMs() + m_timings.requestIntervalMs, m_timings.receiveStartTimeoutMs);
        for (int left = until - elapsedMs(); left > 0; left = until - elapsedMs()) {
            switch (m_line.ReadByte(left, header)) {
                case CXmodemLine::Got::Byte:
                    break;
                case CXmodemLine::Got::TimedOut:
                    continue;
                case CXmodemLine::Got::UserCancel:
                    return Fail(XmodemResult::CancelledByUser, true);
                case CXmodemLine::Got::Lost:
                    return Fail(XmodemResult::LineLost, false);
            }
            if (header == kXmodemSoh || header == kXmodemStx || header == kXmodemEot)
                return true;
            if (header == kXmodemCan && CancelledByPeer())
                return false;
            // Anything else is what the line held before the sender started.
        }
    }
}

CXmodemReceiver::Block CXmodemReceiver::ReadBlock(std::uint8_t header) {
    const int size = header == kXmodemStx ? kLargeBlockSize : kXmodemBlockSize;
    const int need = 2 + size + (m_outcome.crc ? 2 : 1);
    std::vector<std::uint8_t> packet(static_cast<std::size_t>(need));
    if (m_line.ReadBytes(packet.data(), need, m_timings.byteTimeoutMs) != need)
        return Block::Bad;
    const std::uint8_t number = packet[0];
    if (number != static_cast<std::uint8_t>(~packet[1]))
        return Block::Bad;
    const std::uint8_t* body = packet.data() + 2;
    bool good;
    if (m_outcome.crc) {
        const std::uint16_t crc = XmodemCrc16(body, static_cast<std::size_t>(size));
        good = body[size] == (crc >> 8) && body[size + 1] == (crc & 0xFF);
    } else {
        good = body[size] == XmodemChecksum(body, static_cast<std::size_t>(size));
    }
    if (!good)
        return Block::Bad;
    if (number == static_cast<std::uint8_t>(m_expected - 1))
        return Block::Repeated;
    if (number != m_expected) {
        Fail(XmodemResult::OutOfSequence, true);
        return Block::Fatal;
    }
    return Keep(std::vector<std::uint8_t>(body, body + size)) ? Block::Accepted : Block::Fatal;
}

bool CXmodemReceiver::Keep(std::vector<std::uint8_t> block) {
    if (!m_held.empty()) {
        if (!m_file.Write(m_held.data(), m_held.size(), m_outcome.detail))
            return Fail(XmodemResult::WriteFailed, true);
        m_outcome.bytes += static_cast<std::int64_t>(m_held.size());
    }
    m_held = std::move(block);
    ++m_expected;
    ++m_outcome.blocks;
    return true;
}

// A failed try: the rest of whatever came is discarded and the block asked for again.
bool CXmodemReceiver::Retry() {
    if (++m_errors >= m_timings.maxRetries)
        return Fail(XmodemResult::TooManyErrors, true);
    m_line.DrainUntilQuiet(m_timings.byteTimeoutMs, 3 * m_timings.byteTimeoutMs);
    m_line.SendByte(kXmodemNak);
    return true;
}

bool CXmodemReceiver::NextHeader(std::uint8_t& header) {
    for (;;) {
        switch (m_line.ReadByte(m_timings.blockTimeoutMs, header)) {
            case CXmodemLine::Got::Byte:
                break;
            case CXmodemLine::Got::TimedOut:
                if (!Retry())
                    return false;
                continue;
            case CXmodemLine::Got::UserCancel:
                return Fail(XmodemResult::CancelledByUser, true);
            case CXmodemLine::Got::Lost:
                return Fail(XmodemResult::LineLost, false);
        }
        if (header == kXmodemSoh || header == kXmodemStx || header == kXmodemEot)
            return true;
        if (header == kXmodemCan) {
            if (CancelledByPeer())
                return false;
            continue;
        }
        if (!Retry())
            return false;
    }
}

bool CXmodemReceiver::Finish() {
    const std::size_t length = XmodemLengthWithoutPadding(m_held.data(), m_held.size());
    if (!m_file.Write(m_held.data(), length, m_outcome.detail) || !m_file.Commit(m_outcome.detail))
        return Fail(XmodemResult::WriteFailed, true);
    m_outcome.bytes += static_cast<std::int64_t>(length);
    // The sender hears that all is well only once the file is in place.
    m_line.SendByte(kXmodemAck);
    return true;
}

void CXmodemReceiver::Run() {
    std::uint8_t header = 0;
    if (!Start(header))
        return;
    bool eotOnce = false;
    for (;;) {
        if (header == kXmodemEot) {
            // An EOT ends the transfer only when it is repeated after a NAK: a lone 0x04 is as
            // likely line noise (a prompt, a stray byte) as the end, and a noise EOT taken for
            // the end would replace the target with what little had arrived.
            if (eotOnce) {
                Finish();
                return;
            }
            eotOnce = true;
            m_line.SendByte(kXmodemNak);
            if (!NextHeader(header))
                return;
            continue;
        }
        eotOnce = false;
        switch (ReadBlock(header)) {
            case Block::Fatal:
                return;
            case Block::Bad:
                if (!Retry())
                    return;
                break;
            case Block::Accepted:
                m_progress.SetStatus("Receiving " + m_name + ", " +
                                     std::to_string(m_outcome.bytes + std::int64_t(m_held.size())) +
                                     " bytes");
                m_line.StepIt();
                [[fallthrough]];
            case Block::Repeated:
                m_errors = 0;
                m_line.SendByte(kXmodemAck);
                break;
        }
        if (m_line.CancelRequested()) {
            Fail(XmodemResult::CancelledByUser, true);
            return;
        }
        if (!NextHeader(header))
            return;
    }
}

}  // namespace

XmodemOutcome XmodemReceive(const CTransferContext& ctx, const std::string& path,
                            const XmodemTimings& timings) {
    XmodemOutcome outcome;
    CPartialFile file(path);
    if (!file.Create(outcome.detail)) {
        outcome.result = XmodemResult::CannotCreate;
        return outcome;
    }
    const std::string name = FileNameOf(path);
    std::unique_ptr<IProgressWindow> progress = ctx.ui.CreateProgressWindow();
    progress->SetWindowText(kXmodemCaption);
    progress->SetStatus("Receiving " + name);
    {
        CSavedLine saved(ctx);
        SetXmodemLineFormat(ctx);
        CXmodemLine line(ctx.port, *progress, ctx.NormalBaud(), ctx.StopTest(progress.get()));
        // The size is not known: the bar goes round once per hundred blocks.
        line.SetRange(0, 100);
        CXmodemReceiver(line, *progress, file, name, timings, outcome).Run();
        if (!outcome.Ok()) {
            // The rest of an abandoned block is not terminal text.
            line.DrainUntilQuiet(300, 3000);
            if (outcome.detail.empty())
                outcome.detail =
                    "XMODEM receive of " + path + ": " + DescribeXmodemResult(outcome.result);
        }
    }
    return outcome;
}
