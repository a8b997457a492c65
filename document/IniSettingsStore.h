#pragma once
// The user's settings file read without Qt, for the command-line tool: the same file the
// window program keeps (~/.config/Hollowbrook Works/Tarvoline.conf, in QSettings' INI form),
// each value read as the window reads it (see IniFileFormat.h for the format and for what a
// list or an undecodable value reads as).
// Writes stay in memory: what a command-line run changes is for that run only, and the file is
// never written.

#include <map>
#include <string>

#include "IniFileFormat.h"
#include "MemorySettingsStore.h"

// $XDG_CONFIG_HOME (or ~/.config) + "/Hollowbrook Works/Tarvoline.conf".
std::string DefaultSettingsFilePath();

class CIniSettingsStore : public CMemorySettingsStore {
public:
    // A missing or unreadable file gives an empty store.
    explicit CIniSettingsStore(const std::string& path = DefaultSettingsFilePath());

    // What this run wrote comes first, then the file. A number is read from text as the window
    // reads it (QVariant::toInt()), so " 12" is 12 and "12abc" is no number.
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) const override;
    int GetProfileInt(const std::string& section, const std::string& entry,
                      int defaultValue) const override;

private:
    std::map<std::string, inifile::Reading> m_file;
};
