#pragma once

// The subcommands of tarvoline-cli. Each lives in its own file and is listed once in
// commands.cpp.

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace tarvoline::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitTimeout = 124;      // as timeout(1) reports a time limit that passed
inline constexpr int kExitInterrupted = 130;  // as a shell reports a program ended by Ctrl-C

// The exit codes, for every --help.
extern const char* const kExitCodesHelp;

struct CommandContext {
    std::span<const std::string> arguments;  // after the subcommand's name
    std::ostream& out;
    std::ostream& err;
};

struct Command {
    std::string_view name;
    std::string_view arguments;  // for the usage line, e.g. "FILE.BIN"
    std::string_view summary;
    std::string_view details;  // the rest of COMMAND --help
    int (*run)(const CommandContext& context);
    // The exit codes this command gives, when not all of kExitCodesHelp.
    std::string_view exitCodes = {};
};

std::span<const Command> AllCommands();

int RunPostLink(const CommandContext& context);
int RunLoad(const CommandContext& context);
int RunLoadHex(const CommandContext& context);
int RunPostLinkLoad(const CommandContext& context);
int RunXmodem(const CommandContext& context);
int RunTerm(const CommandContext& context);
int RunRun(const CommandContext& context);
int RunPorts(const CommandContext& context);

}  // namespace tarvoline::cli
