#pragma once
// The user's settings file read without Qt, for the command-line tool: the same file the
// window program keeps (~/.config/Hollowbrook Works/Tarvoline.conf, in QSettings' INI form).
// Writes stay in memory: what a command-line run changes is for that run only.

#include <string>

#include "MemorySettingsStore.h"

// $XDG_CONFIG_HOME (or ~/.config) + "/Hollowbrook Works/Tarvoline.conf".
std::string DefaultSettingsFilePath();

class CIniSettingsStore : public CMemorySettingsStore {
public:
    // A missing or unreadable file gives an empty store.
    explicit CIniSettingsStore(const std::string& path = DefaultSettingsFilePath());
};

// The text of a QSettings INI key or section with its %XX escapes undone.
std::string UnescapeIniKey(const std::string& key);
// A value's text with its quotes and backslash escapes undone.
std::string UnescapeIniValue(const std::string& value);
