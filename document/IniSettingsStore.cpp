#include "IniSettingsStore.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

std::string DefaultSettingsFilePath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        base = ".config";
    }
    return base + "/Hollowbrook Works/Tarvoline.conf";
}

CIniSettingsStore::CIniSettingsStore(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    m_file = inifile::ParseSettingsText(text);
}

std::string CIniSettingsStore::GetProfileString(const std::string& section,
                                                const std::string& entry,
                                                const std::string& defaultValue) const {
    if (Find(section, entry)) return CMemorySettingsStore::GetProfileString(section, entry, "");
    auto it = m_file.find(inifile::SettingsKey(section, entry));
    if (it == m_file.end() || !it->second) return defaultValue;
    return *it->second;
}

int CIniSettingsStore::GetProfileInt(const std::string& section, const std::string& entry,
                                     int defaultValue) const {
    if (auto written = Find(section, entry)) {
        if (auto* number = std::get_if<int>(&*written)) return *number;
        return inifile::TextToInt(std::get<std::string>(*written)).value_or(defaultValue);
    }
    auto it = m_file.find(inifile::SettingsKey(section, entry));
    if (it == m_file.end() || !it->second) return defaultValue;
    return inifile::TextToInt(*it->second).value_or(defaultValue);
}
