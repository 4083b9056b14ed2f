#pragma once
#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>
#include <thread>

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
// ($XDG_CONFIG_HOME when absolute, else ~/.config), or an explicit INI file for tests and tools, in
// the toolkit's INI format. Every value is held in memory. The file is read once, when the store is
// made; after a change a thread of the store's own reads it afresh, lays every key this store was
// given over it (another instance's values of other keys stay) and replaces it whole. Every look at
// the file goes through the path gate, so neither a change nor the end ever waits on its mount.
// When that path holds something other than a regular file (a pipe, a device, a folder) or a file
// larger than 1 MiB, lies in another user's place or on a mount that does not answer, cannot be
// read, or there is no home folder, it is neither read nor written: values live in memory until the
// program ends, and standard error says why. A write that fails says why once, until one succeeds.
class SettingsPreferenceStore final : public PreferenceStore {
public:
    SettingsPreferenceStore();
    explicit SettingsPreferenceStore(const QString& iniFile);
    // Waits for the changes not yet written at most the gate's bound (PathGate::answerLimit); a
    // write still under way then finishes, or fails, unwaited.
    ~SettingsPreferenceStore() override;
    SettingsPreferenceStore(const SettingsPreferenceStore&) = delete;
    SettingsPreferenceStore& operator=(const SettingsPreferenceStore&) = delete;

    QVariant value(const QString& key) const override;
    // Returns at once: the file is written on the store's thread.
    void setValue(const QString& key, const QVariant& value) override;

private:
    struct Writer; // shared with the writing thread, which may outlive the store

    QHash<QString, QVariant> m_values;
    std::shared_ptr<Writer> m_writer; // null when the file is neither read nor written
    std::thread m_thread;             // started at the first change
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
