#pragma once
// Judges what the monitor said about a record load (its bad lines, its summary) against the
// load failure pattern (see document/LoadFailurePattern.h).

#include <optional>
#include <string>

#include "PosixRegex.h"

// A compiled failure pattern: a POSIX extended regular expression, case-insensitive.
class CFailurePattern {
public:
    explicit CFailurePattern(const std::string& pattern) : m_regex(pattern, {.ignoreCase = true}) {}

    // Empty when the pattern compiled; else the system's reason ("Unmatched ( or \\(").
    const std::string& Error() const { return m_regex.Error(); }
    // The first line of text (lines end with CR or LF) that the pattern matches; none when no
    // line does or the pattern did not compile.
    std::optional<std::string> FirstMatchingLine(const std::string& text) const;

private:
    CPosixRegex m_regex;
};

// The message for a pattern that did not compile: it names the pattern and the reason, and
// says that nothing was sent.
std::string InvalidPatternMessage(const std::string& pattern, const std::string& error);
