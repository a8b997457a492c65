#pragma once
// A command's arguments read with getopt_long: --name VALUE, --name=VALUE, a unique
// abbreviation of a long name, the one-letter forms (-p NAME, -b RATE), "--" before files
// that start with '-', options and files in any order.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "port_options.h"

namespace tarvoline::cli {

// An option of a command beside the line options.
struct ValueOption {
    std::string_view name;  // "--until"
    std::optional<std::string>* into = nullptr;
    bool* flag = nullptr;  // an option that takes no value: set when given
};

// Parses a command's arguments: the line options (when port is given), the command's own
// options and its files. A bad value, an unknown option or a missing value is told on err
// naming the option ("--baud 12345: not a supported rate; use one of ..."), followed by the
// command's usage line; then false.
bool ParseCommandArguments(const CommandContext& context, std::string_view command,
                           std::span<const std::string> arguments, PortOptions* port,
                           std::span<const ValueOption> options, std::vector<std::string>& files);

// The usage complaint of a command: "tarvoline-cli NAME: what" and its usage line.
void UsageError(const CommandContext& context, std::string_view command, const std::string& what);

}  // namespace tarvoline::cli
