#pragma once
// Post Link, Post Link and Load, and the convert-and-load that follows opening a load file as
// a document. The file dialogs are the front end's; these take the chosen path.

#include <optional>
#include <string>

class CTarvolineDoc;
class IDocumentUi;

struct CPostLinkOutcome {
    std::optional<std::string> basePath;  // the path cut before ".BIN"; none: refused
    bool wroteRunFile = false;            // this conversion wrote basePath + ".RUN", any case
    std::string runPath;                  // that file, as it was written
};

// Converts configurations 1, 2 and 3 with the progress window "Tarvoline PostLink". A path
// without ".BIN", ".bin" or ".Bin" gets "Invalid .BIN file!". A converter failure is reported
// naming the configuration and the failure in words; so is a file with none of the three.
CPostLinkOutcome PostLinkFile(IDocumentUi& ui, const std::string& path);

// PostLinkFile, then loads base + ".RUN" when this conversion wrote it (and a port is open).
// A load file left over from an earlier conversion is never loaded: the user is told. True
// when the program was loaded and started.
bool PostLinkAndLoad(CTarvolineDoc& doc, const std::string& binPath);

// For a document path ending in RUN or APP (any case) whose .BIN beside it can be opened:
// PostLinkAndLoad of that .BIN. Anything else does nothing.
void LoadDocumentImage(CTarvolineDoc& doc, const std::string& docPath);
// The .BIN that LoadDocumentImage converts for docPath (its name matched whatever its case),
// or empty when it converts nothing.
std::string DocumentBinPath(const std::string& docPath);

// The directory part of a path with its trailing '/', or empty when it has none or the '/'
// is its last character.
std::string DirectoryOf(const std::string& path);
