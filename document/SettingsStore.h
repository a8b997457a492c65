#pragma once
// The per-user settings store: sections of named integer and string values.
// Every reader passes its own default; writers store at once (there is no cache).

#include <string>

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;

    virtual std::string GetProfileString(const std::string& section, const std::string& entry,
                                         const std::string& defaultValue) const = 0;
    virtual bool WriteProfileString(const std::string& section, const std::string& entry,
                                    const std::string& value) = 0;
    virtual int GetProfileInt(const std::string& section, const std::string& entry,
                              int defaultValue) const = 0;
    virtual bool WriteProfileInt(const std::string& section, const std::string& entry,
                                 int value) = 0;
};
