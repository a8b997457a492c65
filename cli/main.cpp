// tarvoline-cli: runs the same operations as the Tarvoline window, from a shell.

#include <getopt.h>

#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "commands.h"

namespace tarvoline::cli {
namespace {

void PrintHelp(std::ostream& out) {
    out << "Usage: tarvoline-cli COMMAND [ARGUMENTS]\n"
           "       tarvoline-cli -h|--help | -V|--version\n\n"
           "Commands:\n";
    for (const Command& command : AllCommands()) {
        out << "  " << command.name << " " << command.arguments << "\n      " << command.summary
            << "\n";
    }
    out << "\n'tarvoline-cli COMMAND --help' tells more of each.\n" << kExitCodesHelp;
}

// The options before the command: -h/--help and -V/--version. Empty when there are none;
// else the exit code.
std::optional<int> GeneralOptions(std::vector<std::string> arguments, size_t& command) {
    const option table[] = {{"help", no_argument, nullptr, 'h'},
                            {"version", no_argument, nullptr, 'V'},
                            {nullptr, 0, nullptr, 0}};
    std::vector<char*> argv{const_cast<char*>("tarvoline-cli")};
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    opterr = 0;
    optind = 0;
    // '+': the options end at the command's name; what follows is the command's.
    switch (getopt_long(static_cast<int>(argv.size() - 1), argv.data(), "+hV", table, nullptr)) {
        case -1:
            command = static_cast<size_t>(optind - 1);
            return std::nullopt;
        case 'h':
            PrintHelp(std::cout);
            return kExitSuccess;
        case 'V':
            std::cout << "tarvoline-cli " << TARVOLINE_VERSION << "\n";
            return kExitSuccess;
        default: {
            const std::string written = argv[static_cast<size_t>(optind - 1)];
            std::cerr << "tarvoline-cli: unknown option "
                      << (optopt != 0 && !written.starts_with("--")
                              ? "-" + std::string(1, static_cast<char>(optopt))
                              : written.substr(0, written.find('=')))
                      << "\n\n";
            PrintHelp(std::cerr);
            return kExitUsage;
        }
    }
}

int Main(const std::vector<std::string>& all) {
    size_t first = 0;
    if (const std::optional<int> exit = GeneralOptions(all, first)) return *exit;
    const std::span<const std::string> arguments = std::span(all).subspan(first);
    if (arguments.empty()) {
        PrintHelp(std::cerr);
        return kExitUsage;
    }
    if (arguments[0] == "help") {
        PrintHelp(std::cout);
        return kExitSuccess;
    }
    for (const Command& command : AllCommands()) {
        if (arguments[0] == command.name) {
            // COMMAND --help: its usage, not a complaint about the option.
            for (size_t i = 1; i < arguments.size() && arguments[i] != "--"; ++i) {
                if (arguments[i] == "--help" || arguments[i] == "-h") {
                    std::cout << "Usage: tarvoline-cli " << command.name << " "
                              << command.arguments << "\n\n" << command.summary << ".\n";
                    if (!command.details.empty()) std::cout << "\n" << command.details;
                    std::cout << "\n"
                              << (command.exitCodes.empty() ? std::string_view(kExitCodesHelp)
                                                            : command.exitCodes);
                    return kExitSuccess;
                }
            }
            const CommandContext context{arguments.subspan(1), std::cout, std::cerr};
            return command.run(context);
        }
    }
    std::cerr << "tarvoline-cli: unknown command " << arguments[0] << "\n\n";
    PrintHelp(std::cerr);
    return kExitUsage;
}

}  // namespace
}  // namespace tarvoline::cli

int main(int argc, char** argv) {
    return tarvoline::cli::Main(std::vector<std::string>(argv + 1, argv + argc));
}
