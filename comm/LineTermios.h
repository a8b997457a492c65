#pragma once
// Pure translations from the port's line operations to termios fields. They touch no device,
// so tests cover them directly; CCommPort applies the result in one place.

#include <termios.h>

#include <optional>

#include "CommTypes.h"

// The termios speed constant for a baud rate, or nothing for a rate the line cannot run.
std::optional<speed_t> BaudToSpeed(DWORD baud);
// The baud rate of a speed constant, 0 when unknown.
DWORD SpeedToBaud(speed_t speed);

// Raw, binary line: no echo, no line editing, no translation of CR or NL, NUL kept;
// the receiver enabled and modem status lines ignored (a missing carrier must not hang up).
void MakeRawLine(termios& tio);

bool ApplyBaud(termios& tio, DWORD baud);
// Parity checking is switched on whatever the parity, as the line has always done.
bool ApplyLineFormat(termios& tio, int parityCode, int dataBits, int stopBitCode);
void ApplyFlowControl(CLineConfig& cfg, DWORD flags, int xonLimit, int xoffLimit,
                      unsigned char xonChar, unsigned char xoffChar);

// The fields that must read back as written for a configuration to count as applied.
bool LineFormatMatches(const termios& wanted, const termios& actual);
