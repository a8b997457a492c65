// What can be chosen about a simulated board: its console rate, pacing of the line, the latency
// of the host's adapter and the faults it injects into the monitor dialogues so that tests can
// watch the host cope with them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vivaz {

enum class PromptEnd {
    Normal,  // "> " at the monitor, "M8>" in the loader mode
    Gt,      // both end in '>'
    Space,   // both end in a space
    CrLf,    // both followed by CR LF
};

struct Faults {
    bool echoLoadCommand = false;  // repeat the LOAD command line before '+'
    int waitRequests = 0;          // '#' sent this many times before '+'
    int keepGoing = 0;             // '&' sent this many times before '-'
    int lateBlock = 0;             // the request for this block (1-based) comes late; 0: none
    int lateMs = 500;              // by this much
    std::optional<std::uint8_t> requestByte;  // sent instead of '=' ...
    int requestBlock = 1;                     // ... for this block (1-based)
    bool noGoAhead = false;                   // never answer '+'
    bool noCompletion = false;                // never answer '-'
    bool noLoaderAnswer = false;              // the record loader's "lo" gets no '%'
    bool silent = false;                      // send nothing at all
    PromptEnd promptEnd = PromptEnd::Normal;
    std::vector<std::uint8_t> noise;  // sent each time the board's UART changes rate
    // At the command line, a line "tick NNNNNN" (a counter) every this many ms, for ever; 0: off.
    int chatterMs = 0;
};

struct BoardOptions {
    unsigned consoleBaud = 9600;
    // 1 or 2: a console at two stop bits refuses frames that come with one.
    int consoleStopBits = 1;
    // Send no faster than the board's UART rate, and take the host's bytes no faster than the
    // host's line setting carries them.
    bool pace = false;
    // The board's bytes reach the host in packets, at the ticks of a timer of this period (ms)
    // running from the board's start, as through a USB adapter's latency timer; 0: at once.
    int latencyMs = 0;
    // The banner and the first prompt wait for the host's first CR (everything before it is
    // ignored), as a monitor that waits for a CR on its console before it greets; so a
    // terminal that opens the line after the board started sees the greeting whole, once.
    bool greetOnCr = false;
    // What a started program prints between "Starting program at ..." and "Program returned
    // to the monitor" (each "\n" a line end, CR LF), for the host's tests that wait for a test
    // program's verdict; empty: nothing.
    std::string programOutput;
    Faults faults;
};

}  // namespace vivaz
