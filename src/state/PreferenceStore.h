#pragma once
#include <QHash>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>

namespace tallymere {

// The user defaults store behind AppState: typed values under string keys. Reads never fail: an
// absent key gives an invalid QVariant. Writes report nothing.
class PreferenceStore {
public:
    virtual ~PreferenceStore() = default;
    virtual QVariant value(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
};

// The application's store: the INI file Tallymere/Tallymere.conf in the user's configuration folder
// ($XDG_CONFIG_HOME when absolute, else ~/.config), or an explicit INI file for tests and tools.
// When that path holds something other than a regular file (a pipe, a device, a folder) or a file
// larger than 1 MiB, lies in another user's place, or there is no home folder, it is neither read
// nor written: values live in memory until the program ends. So they do, read from the file, when
// the lock file the toolkit takes beside it to save is something other than a regular file.
class SettingsPreferenceStore final : public PreferenceStore {
public:
    SettingsPreferenceStore();
    explicit SettingsPreferenceStore(const QString& iniFile);

    QVariant value(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;

private:
    std::unique_ptr<QSettings> m_settings;
    QHash<QString, QVariant> m_unsaved; // without a usable file
};

// A store held in memory, for tests and for stores that must not touch the user's preferences.
class MemoryPreferenceStore final : public PreferenceStore {
public:
    QVariant value(const QString& key) const override { return m_values.value(key); }
    void setValue(const QString& key, const QVariant& value) override {
        m_values.insert(key, value);
        ++m_writes;
    }

    bool contains(const QString& key) const { return m_values.contains(key); }
    // Number of setValue calls so far.
    int writeCount() const { return m_writes; }

private:
    QHash<QString, QVariant> m_values;
    int m_writes = 0;
};

} // namespace tallymere
