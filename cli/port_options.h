#pragma once
// The line options of the commands that use the port: which port, the two rates and the line
// format, for one run. One table holds them; the parser, the help text and the checks of the
// man page and the shell completion all read it, so none can offer what another refuses.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CCommPort;

namespace tarvoline::cli {

// What the command line asked for this run, each as the settings store spells it ("Odd",
// "Software"); absent: the stored value holds.
struct PortOptions {
    std::optional<std::string> port, baud, downloadBaud, dataBits, parity, stopBits, flow;
    // --fail-pattern REGEX: what in the board's report of a record load means it failed, in
    // place of the stored "Load Failure Pattern" (document/LoadFailurePattern.h). Not a line
    // option: it has no place in the table below.
    std::optional<std::string> failPattern;
};

// A value an option accepts: as typed (case does not matter) and as stored.
struct Choice {
    std::string word, stored;
};

struct PortOption {
    std::string_view name;         // "baud", for --baud
    char letter;                   // 'b', for -b; 0 when there is none
    std::string_view valueName;    // "RATE"
    std::string_view settingsKey;  // the stored value it overrides, "Baud Rate"
    std::optional<std::string> PortOptions::*into;
    std::string_view notA;         // "a supported rate", for "--baud 12345: not a supported rate"
    std::vector<Choice> choices;   // empty: any text
    std::string_view help;         // the rest of its line in --help
};

std::span<const PortOption> AllPortOptions();

// "1200 2400 ... 230400", "none odd even": the words an option accepts, for messages and help.
std::string ChoicesText(const PortOption& option);
// The stored form of value, or nothing when the option does not accept it.
std::optional<std::string> StoredChoice(const PortOption& option, const std::string& value);

// The "Line options" section of a command's --help.
std::string PortOptionsHelp();

// The options of `options` that the open line does not show after they were applied (a
// pseudo-terminal, for one, cannot take 7 data bits or a parity), each told on a line of its
// own: "/dev/pts/3 did not take --databits 7; the line stays at 8 data bits, no parity, 1
// stop bit". Empty when the line is as asked.
std::string RefusedPortOptions(CCommPort& port, const PortOptions& options);

}  // namespace tarvoline::cli
