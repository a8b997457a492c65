#pragma once
// XMODEM file transfers over the open port: 128-byte blocks with a block number and its
// complement, checked by an 8-bit checksum or a CRC-16 as the receiver asks by its first
// character ('C' for CRC, NAK for the checksum). Either side ends a transfer with CAN CAN.
//
// Both directions run on the calling thread with the watcher stopped; they show a progress
// window, honour its Cancel between blocks and while waiting, and save the line and the
// time-outs first and put them back on every way out. For the transfer the line carries
// 8 data bits without parity and without XON/XOFF (binary data holds those characters); the
// hardware handshake and the stop bits stay as the user set them.
//
// They show no message themselves: the caller reports the outcome (see XmodemCommands.h).

#include <cstddef>
#include <cstdint>
#include <string>

struct CTransferContext;

inline constexpr std::uint8_t kXmodemSoh = 0x01;  // a 128-byte block follows
inline constexpr std::uint8_t kXmodemStx = 0x02;  // a 1024-byte block follows (received only)
inline constexpr std::uint8_t kXmodemEot = 0x04;
inline constexpr std::uint8_t kXmodemAck = 0x06;
inline constexpr std::uint8_t kXmodemNak = 0x15;
inline constexpr std::uint8_t kXmodemCan = 0x18;
inline constexpr std::uint8_t kXmodemSub = 0x1A;  // pads the last block
inline constexpr std::uint8_t kXmodemCrcRequest = 'C';
inline constexpr int kXmodemBlockSize = 128;
inline constexpr const char* kXmodemCaption = "XMODEM File Transfer";

// Every wait of the protocol, in milliseconds, and its retry limits. The defaults follow the
// common peers; tests shorten them.
struct XmodemTimings {
    // Sender: how long to wait for the receiver's first 'C' or NAK.
    int startTimeoutMs = 60000;
    // Sender: how long to wait for the ACK or NAK of a block or of the EOT.
    int replyTimeoutMs = 10000;
    // Receiver: the pause between two requests to start ('C' or NAK) while nothing comes,
    // and the whole time it keeps asking before it gives up.
    int requestIntervalMs = 3000;
    int receiveStartTimeoutMs = 60000;
    // Receiver: how long to wait for the next block once one was acknowledged.
    int blockTimeoutMs = 10000;
    // Receiver: the longest gap between two bytes inside a block.
    int byteTimeoutMs = 1000;
    // Receiver: requests sent as 'C' before it falls back to NAK (checksum); 0 asks for the
    // checksum from the start.
    int crcRequests = 3;
    // Failed tries of one block (or of the EOT) before the transfer is abandoned.
    int maxRetries = 10;
    // Send: the longest time without a valid answer from the receiver, whatever else comes.
    int answerTimeoutMs = 60000;
};

enum class XmodemResult {
    Ok,
    CannotOpen,       // send: the file cannot be read
    CannotCreate,     // receive: the temporary file cannot be made in the target's folder
    WriteFailed,      // receive: writing or renaming the file failed
    NoStart,          // the other side never started
    TooManyErrors,    // a block or the EOT failed maxRetries times
    OutOfSequence,    // receive: a block number neither expected nor a repeat
    CancelledByPeer,  // the other side sent CAN CAN
    CancelledByUser,  // Cancel in the progress window; CAN CAN was sent
    LineLost,         // the device went away
    NoAnswer,         // send: no valid answer (ACK, NAK) for answerTimeoutMs, noise or not
};

struct XmodemOutcome {
    XmodemResult result = XmodemResult::Ok;
    std::string detail;      // what failed, in words, with the path and the system's text
    bool crc = false;        // the block check used
    std::int64_t bytes = 0;  // file bytes sent, or written to the received file
    int blocks = 0;          // blocks acknowledged (send) or accepted (receive)

    bool Ok() const { return result == XmodemResult::Ok; }
};

// Sends the file. A file of 0 bytes is sent as the EOT alone.
XmodemOutcome XmodemSend(const CTransferContext& ctx, const std::string& path,
                         const XmodemTimings& timings = {});

// Receives into path. The data goes to a temporary file beside it, which replaces path only
// when the whole transfer succeeded; on any failure path is left as it was. Trailing SUB
// (0x1A) bytes of the last block are padding and are dropped; see download/XMODEM.md.
XmodemOutcome XmodemReceive(const CTransferContext& ctx, const std::string& path,
                            const XmodemTimings& timings = {});

// CRC-16 of the XMODEM variant: polynomial 0x1021, initial value 0, no reflection.
std::uint16_t XmodemCrc16(const std::uint8_t* data, std::size_t length);
std::uint8_t XmodemChecksum(const std::uint8_t* data, std::size_t length);

// The last block's padding: the length without its trailing SUB bytes.
std::size_t XmodemLengthWithoutPadding(const std::uint8_t* data, std::size_t length);

const char* DescribeXmodemResult(XmodemResult result);
