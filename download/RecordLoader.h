#pragma once
// The monitor's record loader: hex record files and the short S-record text that starts a
// staged program. Record text always travels at 57600 baud.

#include <cstdint>
#include <cstdio>
#include <string>

struct CTransferContext;

constexpr unsigned kRecordLoaderBaud = 57600;
constexpr int kHexPieceSize = 1024;

// Writes the `digits` lowest hex digits of value (upper case, most significant first) and a
// NUL into buffer; returns buffer.
char* FormatHexDigits(std::uint32_t value, char* buffer, int digits);

// How a record-loader dialogue ended. Every failure has been told to the user (in the window a
// message, on the command line standard error) except a lost device, which the document
// reports; a front end that must return a verdict (the command-line tool) reads this.
enum class HexLoadOutcome {
    Loaded,
    CannotOpen,
    NoMonitorPrompt,        // no '>' after "tom8"
    NoLoaderAnswer,         // no '%' after the loader command
    NoFinalAnswer,          // no '%' after the data
    ClosingNotSent,         // the host's closing '%' (the staged start) could not be sent
    BoardReportedFailure,   // the board's report of the records matched the failure pattern
    InvalidFailurePattern,  // the failure pattern is no regular expression; nothing was sent
    Cancelled,
    NotConnected,
    DeviceLost,             // the device went away during the dialogue
    RateNotCarried,         // a raw network port cannot take the line to 57600; nothing was sent
};

const char* DescribeHexLoadOutcome(HexLoadOutcome outcome);

// Opens a file whose bytes are to be sent, for reading, without waiting (a named pipe would
// hold the caller until some program writes to it). Null when it cannot be opened, or when it
// is not a regular file; then `notAFile` says which kind it is ("it is a directory"), else it
// is null and errno tells why.
std::FILE* OpenFileToSend(const std::string& path, const char*& notAFile);

// Sends a hex record file unchanged through "lo ;B3+". Always returns 1; the outcome says how
// it went. After the records the board's report is judged by ctx.loadFailurePattern; a line
// that matches fails the load (the line is shown), though the closing "%" still goes out so
// the board returns to its prompt.
int LoadHexFile(const CTransferContext& ctx, const std::string& path,
                HexLoadOutcome* outcome = nullptr);

// Sends record text through "lo ;3"; leaves the line format and time-outs as they are, shows
// no message. Loaded only when the board took the records and was sent the closing "%",
// which starts a staged program: after a report that matches the failure pattern the "%" is
// not sent, and the board's line is left in reportedLine.
HexLoadOutcome SendSRecordText(const CTransferContext& ctx, const char* text, int length,
                               std::string* reportedLine = nullptr);
