#pragma once
// A settings store held in memory, for tests and for runs that must not touch the user's store.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "SettingsStore.h"

class CMemorySettingsStore : public ISettingsStore {
public:
    using Value = std::variant<int, std::string>;

    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) const override;
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value) override;
    int GetProfileInt(const std::string& section, const std::string& entry,
                      int defaultValue) const override;
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value) override;

    std::optional<Value> Find(const std::string& section, const std::string& entry) const;
    void Erase(const std::string& section, const std::string& entry);
    // Every write in order, as "Section/Entry", so tests can check the order of writes.
    std::vector<std::string> WriteLog() const;
    void ClearWriteLog();

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<std::string, std::string>, Value> m_values;
    std::vector<std::string> m_writeLog;
};
