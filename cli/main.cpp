// tarvoline-cli: runs the same operations as the Tarvoline window, from a shell.

#include <iostream>
#include <string>
#include <vector>

#include "commands.h"

namespace tarvoline::cli {
namespace {

void PrintHelp(std::ostream& out) {
    out << "Usage: tarvoline-cli COMMAND [ARGUMENTS]\n"
           "       tarvoline-cli --help | --version\n\n"
           "Commands:\n";
    for (const Command& command : AllCommands()) {
        out << "  " << command.name << " " << command.arguments << "\n      " << command.summary
            << "\n";
    }
    out << "\n'tarvoline-cli COMMAND --help' tells more of each.\n" << kExitCodesHelp;
}

bool IsHelp(const std::string& argument) {
    return argument == "--help" || argument == "-h" || argument == "help";
}

int Main(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        PrintHelp(std::cerr);
        return kExitUsage;
    }
    if (IsHelp(arguments[0])) {
        PrintHelp(std::cout);
        return kExitSuccess;
    }
    if (arguments[0] == "--version" || arguments[0] == "-V") {
        std::cout << "tarvoline-cli " << TARVOLINE_VERSION << "\n";
        return kExitSuccess;
    }
    for (const Command& command : AllCommands()) {
        if (arguments[0] == command.name) {
            // COMMAND --help: its usage, not a complaint about the option.
            for (size_t i = 1; i < arguments.size(); ++i) {
                if (arguments[i] == "--help" || arguments[i] == "-h") {
                    std::cout << "Usage: tarvoline-cli " << command.name << " "
                              << command.arguments << "\n\n" << command.summary << ".\n";
                    if (!command.details.empty()) std::cout << "\n" << command.details;
                    std::cout << "\n" << kExitCodesHelp;
                    return kExitSuccess;
                }
            }
            const CommandContext context{std::span(arguments).subspan(1), std::cout, std::cerr};
            return command.run(context);
        }
    }
    if (arguments[0].size() > 1 && arguments[0][0] == '-')
        std::cerr << "tarvoline-cli: unknown option " << arguments[0] << "\n\n";
    else
        std::cerr << "tarvoline-cli: unknown command " << arguments[0] << "\n\n";
    PrintHelp(std::cerr);
    return kExitUsage;
}

}  // namespace
}  // namespace tarvoline::cli

int main(int argc, char** argv) {
    return tarvoline::cli::Main(std::vector<std::string>(argv + 1, argv + argc));
}
