#include "state/PreferenceStore.h"

#include "platform/OwnPlace.h"
#include "platform/PathGate.h"
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

constexpr off_t maxFileSize = off_t(1) << 20;

// Whether the file can be read and replaced as settings: the user's own place (not another user's
// folder, as with root started with a user's HOME), and absent or a regular file (through a link
// too). Reading a pipe there would wait forever for a writer, and saving would put a file in place
// of a device. A file far larger than any the program writes (a few hundred bytes) is not settings
// either: the toolkit reads it whole, holding the window for as long and as much memory as it is
// large, and would save the few values it makes sense of in its place.
bool isUsable(const QString& file) {
    if (file.isEmpty()) return false;
    if (const std::string foreign = OwnPlace::whyNotOwn(QFile::encodeName(file).toStdString()); !foreign.empty()) {
        std::fprintf(stderr, "tallymere: settings are kept only until the program ends: %s\n", foreign.c_str());
        return false;
    }
    const PathGate::Status there = PathGate::stat(QFile::encodeName(file).toStdString());
    if (there.error == PathGate::notAnswering) {
        std::fprintf(stderr, "tallymere: settings are kept only until the program ends: %s: %s\n",
                     QFile::encodeName(file).constData(), PathGate::message(there.error).c_str());
        return false;
    }
    if (there.error != 0) return true;
    const struct stat& info = there.info;
    if (!S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "tallymere: %s is not a regular file; settings are kept only until the program ends\n",
                     QFile::encodeName(file).constData());
        return false;
    }
    if (info.st_size > maxFileSize) {
        std::fprintf(stderr, "tallymere: %s is larger than 1 MiB; settings are kept only until the program ends\n",
                     QFile::encodeName(file).constData());
        return false;
    }
    return true;
}

// The toolkit saves only while it holds a lock file beside the settings, waiting without end for
// one that seems held; it reads that file to see who holds it, and removes it once it is old. A
// pipe there would keep it reading for ever, and a folder or a link that it cannot take or remove
// would keep it waiting: either holds the window. Empty when the lock can be taken, else its path.
std::string unusableLock(const QString& file) {
    for (const QLatin1String suffix : {QLatin1String(".lock"), QLatin1String(".lock.rmlock")}) {
        const QByteArray path = QFile::encodeName(file + suffix);
        const PathGate::Status lock = PathGate::lstat(path.toStdString());
        if (lock.error == PathGate::notAnswering || (lock.error == 0 && !S_ISREG(lock.info.st_mode)))
            return path.toStdString();
    }
    return {};
}

} // namespace

SettingsPreferenceStore::SettingsPreferenceStore() : SettingsPreferenceStore(defaultFile()) {}

SettingsPreferenceStore::SettingsPreferenceStore(const QString& iniFile) {
    if (!isUsable(iniFile)) return;
    if (const std::string lock = unusableLock(iniFile); !lock.empty()) {
        // Reading takes no lock: the stored values are used, and changes are kept until the end.
        std::fprintf(stderr, "tallymere: %s is not a regular file; settings are kept only until the program ends\n",
                     lock.c_str());
        const QSettings stored(iniFile, QSettings::IniFormat);
        for (const QString& key : stored.allKeys()) m_unsaved.insert(key, stored.value(key));
        return;
    }
    m_settings = std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
}

QVariant SettingsPreferenceStore::value(const QString& key) const {
    return m_settings ? m_settings->value(key) : m_unsaved.value(key);
}

void SettingsPreferenceStore::setValue(const QString& key, const QVariant& value) {
    if (m_settings) m_settings->setValue(key, value);
    else m_unsaved.insert(key, value);
}

} // namespace tallymere
