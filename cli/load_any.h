#pragma once
// Loading whatever file the user names, as the window's commands would: a .Bin is converted
// and its .RUN loaded and started (Post Link and Load); a program is loaded with the binary
// LOAD and started (Load Program): a .RUN, .APP, .elf, .s19, .s28, .s37, .srec or .mot (any
// case), or any file that begins as an ELF executable or a CP/M-68K load file; anything else
// (a .hex among them) is sent through the monitor's record loader (Load Hex).

#include <iosfwd>
#include <string>

class CTarvolineDoc;

namespace tarvoline::cli {

enum class LoadKind { PostLinkAndLoad, ProgramFile, HexFile };
// By the name, and when that does not tell, by the first bytes.
LoadKind KindOfFile(const std::string& path);

// startHex: after a hex load, G and CR start the program at the records' start address (the
// others start by themselves). Failures are told on err as the window tells them, with a line
// naming the file and the system's reason when it cannot be read. True when loaded (and
// started).
// After a load that failed: when the file cannot be read, a line naming it and the system's
// reason ("demo.RUN: No such file or directory", "out: it is a directory") under the message
// the load printed.
void ExplainUnreadable(std::ostream& err, const std::string& path);

// A directory opens for reading like a file and the loaders would take it for an empty or
// enormous one: it is refused before the line is touched, with "<path>: it is a directory"
// on err. True when refused.
bool RefuseDirectory(std::ostream& err, const std::string& path);

bool LoadAnyFile(CTarvolineDoc& doc, const std::string& path, bool startHex, std::ostream& err);

}  // namespace tarvoline::cli
