#pragma once
// Loading a file offered as a program (tarvoline-cli load, Load CPM68K, Load Program, Load
// Again, opening it) by what it holds, not by its name: a CP/M-68K load file (magic 601A or
// 601B) goes as it always has; an ELF executable, Motorola S-records or Intel HEX is read and
// loaded with the binary LOAD (ProgramLoader.h); anything else is refused before the line is
// touched, unless the old rule is asked for: any other magic is a load file with the 28-byte
// header.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ProgramLoader.h"

struct CTransferContext;

enum class LoadFileContent {
    LoadFile,      // a CP/M-68K load file
    Program,       // an ELF executable, S-records or Intel HEX
    Text,          // text of some other kind
    Unrecognised,  // bytes of no kind this loads
};

// Judged by the first bytes of a file (a few hundred are enough).
LoadFileContent JudgeLoadFile(const std::uint8_t* head, std::size_t size);

// The names the toolchains give their programs: .elf, .s19, .s28, .s37, .srec, .mot, .hex, in
// any case (a load file's .RUN and .APP are not among them).
bool HasProgramFileName(const std::string& path);

// rawHeader: the old rule for files that are none of the above. Every failure has been told to
// the user (a lost device by the document). A file that cannot be opened, or is shorter than
// a magic, goes to the load-file loader, which names it and says why.
ProgramLoadVerdict LoadAnyProgramFile(const CTransferContext& ctx, const std::string& path,
                                      bool rawHeader = false);
