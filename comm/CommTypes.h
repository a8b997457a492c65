#pragma once
// Values shared by the port engine and its users. The numeric codes are part of the port's
// interface: the monitor dialogues, the settings translation and the document rely on them.

#include <termios.h>

#include <cstdint>

using DWORD = std::uint32_t;

// Line events: only "character received" is used.
constexpr DWORD EV_RXCHAR = 0x0001;

// Parity and stop-bit codes.
constexpr int kParityNone = 0;
constexpr int kParityOdd = 1;
constexpr int kParityEven = 2;
constexpr int kOneStopBit = 0;
constexpr int kTwoStopBits = 2;

// Flow-control flags.
constexpr DWORD kFlowDsrDtr = 0x01;
constexpr DWORD kFlowCtsRts = 0x02;
constexpr DWORD kFlowXonXoff = 0x10;
constexpr unsigned char kXonChar = 0x11;
constexpr unsigned char kXoffChar = 0x13;

// Codes kept from the port's original interface where behaviour depends on them.
constexpr DWORD kErrorAlreadyExists = 183;  // a watcher is already running
constexpr DWORD kErrorIoIncomplete = 996;
constexpr DWORD kErrorIoPending = 997;
constexpr DWORD kStillActive = 259;

constexpr DWORD kMaxDword = 0xFFFFFFFF;

// Line-error flags reported by ClearError.
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// The whole line configuration: enough to put the line back exactly as it was.
struct CLineConfig {
    termios tio{};
    // What termios cannot hold but the port's users set and expect back.
    bool dsrDtrHandshake = false;
    std::uint16_t xonLimit = 0;
    std::uint16_t xoffLimit = 0;
};

// Read and write time-outs in milliseconds, in their customary order.
struct CCommTimeouts {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

// Queue status.
struct CComStat {
    DWORD flags = 0;
    DWORD cbInQue = 0;
    DWORD cbOutQue = 0;
};
