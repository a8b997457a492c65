#pragma once
// Load on Rebuild's Post Link and Load, and its load of a program. A linker may pause in the
// middle of writing the .Bin or the ELF long enough for it to look finished; its conversion
// (or reading) then fails. So here a failed conversion says nothing and loads nothing: the
// caller tries again when the file changes, and shows the failure (by an ordinary Post Link
// and Load, or Load Program) only once the file has stayed as it is.

#include <string>

class CTarvolineDoc;

struct CRebuildLoadOutcome {
    bool conversionFailed = false;  // a converter message was held back, or no .RUN was written
    bool started = false;           // the program was loaded and started
};

// Converts binPath as Post Link does, holding back its messages; loads the .RUN it wrote only
// when the conversion said nothing. The load itself reports as always.
CRebuildLoadOutcome PostLinkAndLoadQuietConversion(CTarvolineDoc& doc, const std::string& binPath);

// Reads the program at path (ELF, S-records, Intel HEX) holding back what is wrong with it; a
// program that reads cleanly is loaded and started as Load Program does. A .RUN or .APP is
// loaded as Load Program loads it, as it stands.
CRebuildLoadOutcome LoadProgramQuietRead(CTarvolineDoc& doc, const std::string& path);
