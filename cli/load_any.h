#pragma once
// Loading whatever file the user names, chosen by its extension (any case), as the window's
// commands would: a .Bin is converted and its .RUN loaded and started (Post Link and Load),
// a .RUN or .APP is loaded and started (Load CPM68K), anything else is sent as hex records
// (Load Hex).

#include <iosfwd>
#include <string>

class CTarvolineDoc;

namespace tarvoline::cli {

enum class LoadKind { PostLinkAndLoad, LoadFile, HexFile };
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
