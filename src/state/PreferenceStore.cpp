#include "state/PreferenceStore.h"

namespace tallymere {

SettingsPreferenceStore::SettingsPreferenceStore()
    : m_settings(std::make_unique<QSettings>(QStringLiteral("Tallymere"), QStringLiteral("Tallymere"))) {}

SettingsPreferenceStore::SettingsPreferenceStore(const QString& iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QVariant SettingsPreferenceStore::value(const QString& key) const {
    return m_settings->value(key);
}

void SettingsPreferenceStore::setValue(const QString& key, const QVariant& value) {
    m_settings->setValue(key, value);
}

} // namespace tallymere
