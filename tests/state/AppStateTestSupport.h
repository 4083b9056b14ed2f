#pragma once
// Helpers shared by the AppState tests: waiting on the event loop and disk fixtures.
#include "state/AppState.h"
#include "support/TempFolder.h"

#include <QEventLoop>
#include <QTimer>

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

inline std::shared_ptr<MemoryPreferenceStore> memoryStore() {
    return std::make_shared<MemoryPreferenceStore>();
}

// Scans the folder and waits for the result.
inline bool scanAndWait(AppState& state, const std::string& path) {
    state.scan(ScanTarget::folder(path));
    return waitUntil([&] { return !state.isScanning(); });
}

} // namespace tallymere::test
