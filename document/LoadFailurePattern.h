#pragma once
// The pattern that judges a board's report of a record load, kept in the settings store's
// "Transfer" section as "Load Failure Pattern": a POSIX extended regular expression, matched
// without regard to case against each line the monitor prints between the records and its
// closing '%'. A line that matches means the board did not take the records as sent.
//
// Absent or empty, the default holds: it stays the program's own, so a better default reaches
// everyone who never set one.

#include <string>

class ISettingsStore;

inline constexpr const char* kLoadFailurePatternSection = "Transfer";
inline constexpr const char* kLoadFailurePatternEntry = "Load Failure Pattern";

// Matches the monitor's reports of trouble: a bad line ("line 3: checksum F4, computed F3"),
// a count of bad records other than 0 ("12 records, 000000C0 bytes loaded, 1 bad"), a
// checksum, any error, garbled bytes and a missing end record ("no end record"). A clean
// summary ("12 records, 000000C0 bytes loaded, 0 bad") does not match.
inline constexpr const char* kDefaultLoadFailurePattern =
    "^line [0-9]+:|[1-9][0-9]* bad|bad record|checksum|error|garbled|no end record";

// store may be null: the default.
std::string ReadLoadFailurePattern(const ISettingsStore* store);
