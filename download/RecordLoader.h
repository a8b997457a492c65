#pragma once
// The monitor's record loader: hex record files and the short S-record text that starts a
// staged program. Record text always travels at 57600 baud.

#include <cstdint>
#include <string>

struct CTransferContext;

constexpr unsigned kRecordLoaderBaud = 57600;
constexpr int kHexPieceSize = 1024;

// Writes the `digits` lowest hex digits of value (upper case, most significant first) and a
// NUL into buffer; returns buffer.
char* FormatHexDigits(std::uint32_t value, char* buffer, int digits);

// How a record-loader dialogue ended. The window shows nothing where the monitor does not
// answer; a front end that must report success or failure (the command-line tool) reads this.
enum class HexLoadOutcome {
    Loaded,
    CannotOpen,
    NoMonitorPrompt,  // no '>' after "tom8"
    NoLoaderAnswer,   // no '%' after the loader command
    NoFinalAnswer,    // no '%' after the data
    Cancelled,
    NotConnected,
    DeviceLost,       // the device went away during the dialogue
};

const char* DescribeHexLoadOutcome(HexLoadOutcome outcome);

// Sends a hex record file unchanged through "lo ;B3+". Always returns 1; failures are told
// to the user or, where the monitor does not answer, end the dialogue silently.
int LoadHexFile(const CTransferContext& ctx, const std::string& path,
                HexLoadOutcome* outcome = nullptr);

// Sends record text through "lo ;3"; leaves the line format and time-outs as they are.
void SendSRecordText(const CTransferContext& ctx, const char* text, int length);
