#pragma once
// The settings store on QSettings("Hollowbrook Works", "Tarvoline"), native format
// (~/.config/Hollowbrook Works/Tarvoline.conf on Linux). Values are written at once.

#include <QSettings>

#include "document/SettingsStore.h"

class CQtSettingsStore : public ISettingsStore {
public:
    CQtSettingsStore();

    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue) const override;
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value) override;
    int GetProfileInt(const std::string& section, const std::string& entry,
                      int defaultValue) const override;
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value) override;

    QString FileName() const { return m_settings.fileName(); }

private:
    mutable QSettings m_settings;
};
