#include "commands.h"

namespace tarvoline::cli {

std::span<const Command> AllCommands() {
    static constexpr Command kCommands[] = {
        {"postlink", "FILE.BIN",
         "convert a linker .Bin file to load, S-record and map files for each configuration",
         RunPostLink},
        {"load", "[--port NAME] [--baud N] [--download-baud N] FILE.RUN|FILE.APP",
         "load a CP/M-68K load file into the board with the monitor's LOAD, then start it",
         RunLoad},
        {"loadhex", "[--port NAME] [--baud N] [--download-baud N] FILE",
         "send a hex record file through the monitor's record loader", RunLoadHex},
        {"postlink-load", "[--port NAME] [--baud N] [--download-baud N] FILE.BIN",
         "convert a .Bin file, then load the .RUN file it wrote into the board and start it",
         RunPostLinkLoad},
        {"xmodem", "send|receive [--port NAME] [--baud N] [--timeout SECONDS] FILE",
         "send or receive a file with XMODEM (128-byte blocks, CRC or checksum)", RunXmodem},
    };
    return kCommands;
}

}  // namespace tarvoline::cli
