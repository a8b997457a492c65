#pragma once
// Writes the default of every setting that is absent, at every start of the program.

#include <string>

class ISettingsStore;

// The capture file offered when none was chosen: CAPTURE.TXT in the user's home folder.
std::string DefaultCapturePath();

// Writes, in a fixed order, each value that counts as absent: a string that reads empty, an
// integer that reads as its fallback (0 for the "Transfer" integers, -1 for the others).
// "COM Port" is never written here; the first connection stores it.
void WriteFirstRunDefaults(ISettingsStore& store);
