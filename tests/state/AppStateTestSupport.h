#pragma once
// Helpers shared by the AppState tests: waiting on the event loop and disk fixtures.
#include "state/AppState.h"
#include "support/TempFolder.h"

#include <QCoreApplication>
#include <QEvent>
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

// Lets the layouts settle after a change of size or of what widgets hold. A layout request handled
// posts the one of the widget around it, which Qt delivers only on the next pass over the posted
// events, so one processEvents() settles just one level of nesting: this delivers the layout
// requests pass after pass until a pass delivers none, then the rest of what is posted. The bound
// only keeps layouts that never settle from hanging the suite.
inline void settleLayouts() {
    struct Counter : QObject {
        int delivered = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            delivered += event->type() == QEvent::LayoutRequest;
            return false;
        }
    } counter;
    QCoreApplication::instance()->installEventFilter(&counter);
    for (int pass = 0; pass < 1000; ++pass) {
        counter.delivered = 0;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (counter.delivered == 0) break;
    }
    QCoreApplication::instance()->removeEventFilter(&counter);
    QCoreApplication::processEvents();
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

// Moves the staged items to the Trash and waits until the store has moved the last slice of them.
inline bool emptyQueueAndWait(AppState& state) {
    state.emptyQueue();
    return waitUntil([&] { return !state.isEmptying(); });
}

} // namespace tallymere::test
