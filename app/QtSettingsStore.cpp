#include "QtSettingsStore.h"

namespace {

QString Key(const std::string& section, const std::string& entry) {
    return QString::fromStdString(section) + '/' + QString::fromStdString(entry);
}

}  // namespace

CQtSettingsStore::CQtSettingsStore() : m_settings("Hollowbrook Works", "Tarvoline") {}

std::string CQtSettingsStore::GetProfileString(const std::string& section, const std::string& entry,
                                               const std::string& defaultValue) const {
    QVariant v = m_settings.value(Key(section, entry));
    if (!v.isValid()) return defaultValue;
    return v.toString().toStdString();
}

bool CQtSettingsStore::WriteProfileString(const std::string& section, const std::string& entry,
                                          const std::string& value) {
    m_settings.setValue(Key(section, entry), QString::fromStdString(value));
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}

int CQtSettingsStore::GetProfileInt(const std::string& section, const std::string& entry,
                                    int defaultValue) const {
    QVariant v = m_settings.value(Key(section, entry));
    if (!v.isValid()) return defaultValue;
    bool ok = false;
    int value = v.toInt(&ok);
    return ok ? value : defaultValue;
}

bool CQtSettingsStore::WriteProfileInt(const std::string& section, const std::string& entry,
                                       int value) {
    m_settings.setValue(Key(section, entry), value);
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
