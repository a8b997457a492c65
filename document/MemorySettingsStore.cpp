#include "MemorySettingsStore.h"

#include <cstdlib>

std::string CMemorySettingsStore::GetProfileString(const std::string& section,
                                                   const std::string& entry,
                                                   const std::string& defaultValue) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find({section, entry});
    if (it == m_values.end()) return defaultValue;
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    return std::to_string(std::get<int>(it->second));
}

bool CMemorySettingsStore::WriteProfileString(const std::string& section, const std::string& entry,
                                              const std::string& value) {
    std::lock_guard lock(m_mutex);
    m_values[{section, entry}] = value;
    m_writeLog.push_back(section + "/" + entry);
    return true;
}

int CMemorySettingsStore::GetProfileInt(const std::string& section, const std::string& entry,
                                        int defaultValue) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find({section, entry});
    if (it == m_values.end()) return defaultValue;
    if (auto* i = std::get_if<int>(&it->second)) return *i;
    // A string where an integer is expected counts as an integer only when it is one.
    const std::string& s = std::get<std::string>(it->second);
    char* end = nullptr;
    long value = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0') return defaultValue;
    return static_cast<int>(value);
}

bool CMemorySettingsStore::WriteProfileInt(const std::string& section, const std::string& entry,
                                           int value) {
    std::lock_guard lock(m_mutex);
    m_values[{section, entry}] = value;
    m_writeLog.push_back(section + "/" + entry);
    return true;
}

std::optional<CMemorySettingsStore::Value> CMemorySettingsStore::Find(
    const std::string& section, const std::string& entry) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find({section, entry});
    if (it == m_values.end()) return std::nullopt;
    return it->second;
}

void CMemorySettingsStore::Erase(const std::string& section, const std::string& entry) {
    std::lock_guard lock(m_mutex);
    m_values.erase({section, entry});
}

std::vector<std::string> CMemorySettingsStore::WriteLog() const {
    std::lock_guard lock(m_mutex);
    return m_writeLog;
}

void CMemorySettingsStore::ClearWriteLog() {
    std::lock_guard lock(m_mutex);
    m_writeLog.clear();
}
