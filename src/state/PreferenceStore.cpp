#include "state/PreferenceStore.h"

#include "base/PathText.h"
#include "platform/OwnPlace.h"
#include "platform/PathGate.h"
#include "platform/UserFolders.h"
#include "state/SettingsIni.h"

#include <QFile>

#include <pthread.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <system_error>

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
// Changes made together (every choice writes five keys) go out in one write.
constexpr std::chrono::milliseconds gathering{50};

void keptInMemory(const std::string& why) {
    std::fprintf(stderr, "tallymere: settings are kept only until the program ends: %s\n", why.c_str());
}

// The path to read and replace: the file, or where the link at it leads (replacing the link would
// cut it). Empty when the file cannot be used as settings, having said why: not the user's own place
// (another user's folder, as with root started with a user's HOME), or something other than a
// regular file (through a link too). Reading a pipe there would wait forever for a writer, and
// saving would put a file in place of a device. A file far larger than any the program writes (a
// few hundred bytes) is not settings either: read whole, it would cost as much memory as it is
// large, and be replaced by the few values made of it.
std::string usablePath(const QString& file) {
    if (file.isEmpty()) return {};
    std::string path = QFile::encodeName(file).toStdString();
    if (const std::string foreign = OwnPlace::whyNotOwn(path); !foreign.empty()) {
        keptInMemory(foreign);
        return {};
    }
    const PathGate::Status there = PathGate::stat(path);
    if (there.error == PathGate::notAnswering) {
        keptInMemory(path + ": " + PathGate::message(there.error));
        return {};
    }
    if (there.error != 0) return path;
    if (!S_ISREG(there.info.st_mode)) {
        std::fprintf(stderr, "tallymere: %s is not a regular file; settings are kept only until the program ends\n",
                     path.c_str());
        return {};
    }
    if (there.info.st_size > maxFileSize) {
        std::fprintf(stderr, "tallymere: %s is larger than 1 MiB; settings are kept only until the program ends\n",
                     path.c_str());
        return {};
    }
    if (const PathGate::Status name = PathGate::lstat(path); name.error == 0 && S_ISLNK(name.info.st_mode)) {
        PathGate::Text target = PathGate::realPath(path);
        const std::string foreign = target.error ? std::string() : OwnPlace::whyNotOwn(target.text);
        if (target.error || !foreign.empty()) {
            keptInMemory(target.error ? path + ": " + PathGate::message(target.error) : foreign);
            return {};
        }
        path = std::move(target.text);
    }
    return path;
}

using PathGate::makeFolders;

} // namespace

struct SettingsPreferenceStore::Writer {
    std::string path;
    std::mutex lock;
    std::condition_variable changed; // a change to write, or the store's end
    std::condition_variable settled; // nothing left to write
    std::map<QString, QByteArray> given; // every key set since the start, as its text in the file
    bool pending = false;                // `given` holds changes not written yet
    bool writing = false;
    bool ending = false;
    bool toldFailure = false; // only the thread's own

    // Writes what is pending until the store ends with nothing left to write.
    void run() {
        std::unique_lock hold(lock);
        for (;;) {
            changed.wait(hold, [&] { return pending || ending; });
            if (!pending) return;
            changed.wait_for(hold, gathering, [&] { return ending; });
            pending = false;
            writing = true;
            const std::map<QString, QByteArray> values = given;
            hold.unlock();
            const int error = save(values);
            if (error && !toldFailure)
                std::fprintf(stderr, "tallymere: settings could not be saved to %s: %s\n", path.c_str(),
                             PathGate::message(error).c_str());
            toldFailure = error != 0;
            hold.lock();
            writing = false;
            if (!pending) settled.notify_all();
        }
    }

    // The file as it is now, with `values` laid over it: another instance may have saved since this
    // one read it, and its values of the keys this one was not given are kept.
    int save(const std::map<QString, QByteArray>& values) const {
        PathGate::Text now = PathGate::readFile(path, 0, std::size_t(maxFileSize) + 1);
        if (now.error == ENOENT) {
            if (const int error = makeFolders(PathText::parent(path))) return error;
            now = {};
        } else if (now.error) {
            return now.error;
        } else if (now.text.size() > std::size_t(maxFileSize)) {
            return EFBIG;
        }
        SettingsIni::Entries entries = SettingsIni::parse(now.text);
        for (const auto& [key, text] : values) SettingsIni::set(entries, key, text);
        return PathGate::writeFile(path, SettingsIni::write(entries).toStdString());
    }
};

SettingsPreferenceStore::SettingsPreferenceStore() : SettingsPreferenceStore(defaultFile()) {}

SettingsPreferenceStore::SettingsPreferenceStore(const QString& iniFile) {
    std::string path = usablePath(iniFile);
    if (path.empty()) return;
    const PathGate::Text stored = PathGate::readFile(path, 0, std::size_t(maxFileSize) + 1);
    if (stored.error && stored.error != ENOENT) {
        // Written without having been read, the file would lose the values it holds.
        keptInMemory(path + ": " + PathGate::message(stored.error));
        return;
    }
    if (stored.text.size() > std::size_t(maxFileSize)) {
        std::fprintf(stderr, "tallymere: %s is larger than 1 MiB; settings are kept only until the program ends\n",
                     path.c_str());
        return;
    }
    for (const auto& [key, text] : SettingsIni::parse(stored.text)) m_values.insert(key, SettingsIni::decode(text));
    m_writer = std::make_shared<Writer>();
    m_writer->path = std::move(path);
}

SettingsPreferenceStore::~SettingsPreferenceStore() {
    if (!m_thread.joinable()) return;
    bool settled = false;
    {
        std::unique_lock hold(m_writer->lock);
        m_writer->ending = true;
        m_writer->changed.notify_all();
        settled = m_writer->settled.wait_for(hold, PathGate::answerLimit,
                                             [&] { return !m_writer->pending && !m_writer->writing; });
    }
    // A write held by a mount that stopped answering ends with the gate's bound, or with the
    // process: the thread keeps what it needs alive.
    if (settled) m_thread.join();
    else m_thread.detach();
}

QVariant SettingsPreferenceStore::value(const QString& key) const { return m_values.value(key); }

void SettingsPreferenceStore::setValue(const QString& key, const QVariant& value) {
    m_values.insert(key, value);
    if (!m_writer) return;
    const QByteArray text = SettingsIni::encode(value);
    {
        const std::lock_guard hold(m_writer->lock);
        m_writer->given[key] = text;
        m_writer->pending = true;
    }
    m_writer->changed.notify_all();
    if (m_thread.joinable()) return;
    try {
        m_thread = std::thread([writer = m_writer] {
            ::pthread_setname_np(::pthread_self(), "tmsettings");
            writer->run();
        });
    } catch (const std::system_error& error) {
        keptInMemory(std::string("no thread to save them: ") + error.what());
        m_writer.reset();
    }
}

} // namespace tallymere
