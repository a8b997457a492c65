#pragma once
// The port as both XMODEM directions use it: bytes read with a deadline that is cut into
// short slices, so the progress window keeps handling the user's input (and Cancel) during
// the long waits of the protocol, and a lost device ends a wait at once.

#include <cstdint>
#include <functional>
#include <string>

#include "document/ProgressWindow.h"
#include "comm/CommPort.h"

struct CTransferContext;

// The line of a transfer: 8 data bits, no parity, the user's stop bits and hardware
// handshake, no XON/XOFF. The caller has saved the line (CSavedLine) before.
void SetXmodemLineFormat(const CTransferContext& ctx);

// The file name of a path, for the status line.
std::string FileNameOf(const std::string& path);

class CXmodemLine {
  public:
    enum class Got { Byte, TimedOut, UserCancel, Lost };

    // stop: Cancel in the window, or a stop of the whole transfer; every wait looks at it.
    CXmodemLine(CCommPort& port, IProgressWindow& progress, DWORD baud,
                std::function<bool()> stop);

    // Waits up to timeoutMs for one byte.
    Got ReadByte(int timeoutMs, std::uint8_t& byte);
    // Reads count bytes; ends early when no byte came for gapMs. The bytes read.
    int ReadBytes(std::uint8_t* buffer, int count, int gapMs);
    // After a CAN: true when a second CAN follows within a second (the other side cancels).
    bool SecondCancelFollows();
    // Discards input until the line has been quiet for quietMs (at most limitMs in all).
    void DrainUntilQuiet(int quietMs, int limitMs);
    // Discards what is queued now, without waiting.
    void DiscardQueued();

    bool Send(const std::uint8_t* bytes, int count);
    bool SendByte(std::uint8_t byte) { return Send(&byte, 1); }
    // CAN CAN: the other side abandons the transfer.
    void SendCancel();

    // The bar, followed here so that waits can pump the window without moving it. Past the
    // upper bound a step starts again from the lower bound, as the window does.
    void SetRange(int lower, int upper);
    void SetPos(int position);
    void StepIt();
    bool Lost() const { return m_port.DeviceLostError() != 0; }
    bool CancelRequested() const { return m_stop ? m_stop() : m_progress.CancelRequested(); }

  private:
    CCommPort& m_port;
    IProgressWindow& m_progress;
    std::function<bool()> m_stop;
    int m_perByteMs;  // at least twice a character's time on the line
    int m_lower = 0, m_upper = 100, m_pos = 0;
};
