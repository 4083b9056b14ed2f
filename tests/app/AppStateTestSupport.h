#pragma once
// Helpers shared by the AppState tests: waiting on the event loop and disk fixtures.
#include "app/AppState.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace tallymere::test {

// Runs the event loop until `done` holds. The limit only keeps a broken build from hanging the
// suite; nothing is asserted about how long it took.
inline bool waitUntil(const std::function<bool()>& done, int limitMs = 60000) {
    if (done()) return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

// Runs the event loop for a while, letting timers and queued results arrive.
inline void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A temporary folder removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tallymere-state-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return (m_path / relative).string(); }

    // A file of `bytes` bytes (written, so it has blocks on disk); parent folders are made.
    std::string file(const std::string& relative, std::size_t bytes) const {
        const std::filesystem::path full = m_path / relative;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream out(full, std::ios::binary);
        out << std::string(bytes, 'x');
        return full.string();
    }
    std::string folder(const std::string& relative) const {
        const std::filesystem::path full = m_path / relative;
        std::filesystem::create_directories(full);
        return full.string();
    }

private:
    std::filesystem::path m_path;
};

inline std::shared_ptr<MemoryPreferenceStore> memoryStore() {
    return std::make_shared<MemoryPreferenceStore>();
}

// Scans the folder and waits for the result.
inline bool scanAndWait(AppState& state, const std::string& path) {
    state.scan(ScanTarget::folder(path));
    return waitUntil([&] { return !state.isScanning(); });
}

} // namespace tallymere::test
