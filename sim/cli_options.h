// The command line of vivaz-sim.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "options.h"

namespace vivaz {

struct CommandLine {
    BoardOptions board;
    std::string link;           // --link PATH
    double timeoutSeconds = 0;  // --timeout SECONDS; 0 serves until ended
    std::string dumpPath;       // --dump FILE: written memory as S-records at exit
    bool quiet = false;         // --quiet: no diagnostics on stdout
    bool help = false;
    bool version = false;       // --version: "vivaz-sim 2.0.0"
};

// Empty with `error` set when the arguments are not understood.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);
std::string usageText();

}  // namespace vivaz
