#include "state/PreferenceStore.h"

#include "platform/OwnPlace.h"
#include "platform/UserFolders.h"

#include <QFile>

#include <sys/stat.h>

#include <cstdio>

namespace tallymere {
namespace {

// The settings file in the user's configuration folder, found by this program's own rules rather
// than the toolkit's, which takes a relative $XDG_CONFIG_HOME as given and so writes into whatever
// folder the program was started in. Empty without a home folder.
QString defaultFile() {
    const std::string folder = UserFolders::configHome();
    if (folder.empty()) return {};
    return QString::fromStdString(folder) + QStringLiteral("/Tallymere/Tallymere.conf");
}

// Whether the file can be read and replaced as settings: the user's own place (not another user's
// folder, as with root started with a user's HOME), and absent or a regular file (through a link
// too). Reading a pipe there would wait forever for a writer, and saving would put a file in place
// of a device.
bool isUsable(const QString& file) {
    if (file.isEmpty()) return false;
    if (const std::string foreign = OwnPlace::whyNotOwn(QFile::encodeName(file).toStdString()); !foreign.empty()) {
        std::fprintf(stderr, "tallymere: settings are kept only until the program ends: %s\n", foreign.c_str());
        return false;
    }
    struct stat info {};
    if (::stat(QFile::encodeName(file).constData(), &info) != 0) return true;
    if (S_ISREG(info.st_mode)) return true;
    std::fprintf(stderr, "tallymere: %s is not a regular file; settings are kept only until the program ends\n",
                 QFile::encodeName(file).constData());
    return false;
}

std::unique_ptr<QSettings> settingsAt(const QString& file) {
    if (!isUsable(file)) return nullptr;
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

} // namespace

SettingsPreferenceStore::SettingsPreferenceStore() : m_settings(settingsAt(defaultFile())) {}

SettingsPreferenceStore::SettingsPreferenceStore(const QString& iniFile) : m_settings(settingsAt(iniFile)) {}

QVariant SettingsPreferenceStore::value(const QString& key) const {
    return m_settings ? m_settings->value(key) : m_unsaved.value(key);
}

void SettingsPreferenceStore::setValue(const QString& key, const QVariant& value) {
    if (m_settings) m_settings->setValue(key, value);
    else m_unsaved.insert(key, value);
}

} // namespace tallymere
