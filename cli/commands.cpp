#include "commands.h"

namespace tarvoline::cli {

std::span<const Command> AllCommands() {
    static constexpr Command kCommands[] = {
        {"postlink", "FILE.BIN",
         "convert a linker .Bin file to load, S-record and map files for each configuration",
         RunPostLink},
    };
    return kCommands;
}

}  // namespace tarvoline::cli
