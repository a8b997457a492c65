#include "Cpm68kLoader.h"

#include <cstdio>
#include <memory>
#include <new>

#include "BoardReport.h"
#include "DownloadImage.h"
#include "RecordLoader.h"
#include "TransferContext.h"
#include "comm/SystemError.h"

namespace {

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

// An S2 record without data: count 04, the address's six digits, the checksum, CR.
void AppendAddressRecord(std::string& text, std::uint32_t address) {
    char buffer[16];
    address &= 0xFFFFFF;
    unsigned sum = 0x04 + ((address >> 16) & 0xFF) + ((address >> 8) & 0xFF) + (address & 0xFF);
    text += "S204";
    text += FormatHexDigits(address, buffer, 6);
    text += FormatHexDigits(~sum & 0xFF, buffer, 2);
    text += '\r';
}

}  // namespace

bool ReadLoadFileHeader(const std::vector<std::uint8_t>& file, CLoadFileHeader& header) {
    if (file.size() < 2) return false;
    header.magic = static_cast<std::uint16_t>((file[0] << 8) | file[1]);
    if (file.size() < static_cast<size_t>(header.HeaderLength())) return false;
    header.textSize = BigEndian32(&file[2]);
    header.dataSize = BigEndian32(&file[6]);
    header.textStart = BigEndian32(&file[22]);
    return true;
}

std::string BuildStagedStartRecords(const CLoadFileHeader& header) {
    std::string text;
    AppendAddressRecord(text, header.textStart);
    AppendAddressRecord(text, header.textStart + header.textSize + header.dataSize);
    text += "S804000000FB\r";
    return text;
}

bool LoadCpm68kFile(const CTransferContext& ctx, const std::string& path) {
    std::vector<std::uint8_t> file;
    {
        const char* notAFile = nullptr;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(OpenFileToSend(path, notAFile),
                                                          &std::fclose);
        if (!f) {
            ctx.ShowError(notAFile ? path + ": " + notAFile + "; nothing was sent."
                                   : std::string("Can't open CPM68K file!"));
            return false;
        }
        std::fseek(f.get(), 0, SEEK_END);
        long size = std::ftell(f.get());
        std::rewind(f.get());
        try {
            file.resize(size > 0 ? static_cast<size_t>(size) : 0);
        } catch (const std::bad_alloc&) {
            ctx.ShowError("Not enough memory!");
            return false;
        }
        file.resize(std::fread(file.data(), 1, file.size(), f.get()));
    }

    CLoadFileHeader header;
    if (!ReadLoadFileHeader(file, header)) {
        ctx.ShowError("The load file " + path + " is shorter than its header; nothing was sent.");
        return false;
    }
    const bool staged = header.magic == kMagicLongHeader && header.textStart < kStagedStartBelow;
    if (staged) {
        // The staged start is judged by the board's report of its records: a pattern that
        // cannot judge it stops the load before anything is sent.
        const CFailurePattern failure(ctx.loadFailurePattern);
        if (!failure.Error().empty()) {
            ctx.ShowError(InvalidPatternMessage(ctx.loadFailurePattern, failure.Error()));
            return false;
        }
        // The start needs the record loader's rate: a port that cannot reach it refuses the
        // whole load before its first byte, not after the image is on the board.
        const std::string refusal = RateChangeRefusal(ctx.port, kRecordLoaderBaud,
                                                      ctx.NormalBaud(), "The staged start");
        if (!refusal.empty()) {
            ctx.ShowError(refusal);
            return false;
        }
    }
    const std::uint32_t address = staged ? kStagingAddress : header.textStart;
    const auto imageLength = static_cast<std::int32_t>(file.size() - header.HeaderLength());
    if (DownloadImage(ctx, file.data() + header.HeaderLength(), imageLength, address,
                      imageLength) != 0)
        return false;

    CMonitorLink link(ctx.port, ctx.StopTest());
    if (!staged) {
        // The board's report of the load ("Loaded ... bytes at ...") and its prompt.
        link.LinkDrain(10, ctx.boardWords);
        if (link.Interrupted()) {
            if (!link.Lost()) ctx.ShowCancelled();
            return false;
        }
        if (link.LinkSendByte('G') != 1) {
            // A start that did not go out started nothing.
            if (!link.Lost())
                ctx.ShowError("The program was loaded but not started: 'G' could not be sent: " +
                              FormatSystemMessage(ctx.port.LastError()));
            return false;
        }
        return true;
    }
    for (int byte : {0x08, int('m'), int('o'), 0x0A, 0x0D}) link.LinkSendByte(byte);
    file.clear();
    file.shrink_to_fit();
    std::string records = BuildStagedStartRecords(header);
    std::string reported;
    const HexLoadOutcome started =
        SendSRecordText(ctx, records.c_str(), static_cast<int>(records.size()), &reported);
    switch (started) {
        case HexLoadOutcome::Loaded:
            return true;
        case HexLoadOutcome::DeviceLost:
            return false;  // the document reports it
        case HexLoadOutcome::Cancelled:
            ctx.ShowCancelled();
            return false;
        case HexLoadOutcome::BoardReportedFailure:
            ctx.ShowError("The program was loaded but not started: the board reported: " + reported);
            return false;
        default:
            ctx.ShowError(std::string("The program was loaded but not started: ") +
                          DescribeHexLoadOutcome(started));
            return false;
    }
}
