#pragma once
#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <utility>

namespace tallymere::BackgroundTask {

// Runs `work()` on a worker of the shared pool and hands its result to `apply(result)` on the GUI
// thread, only if `receiver` still exists then. The result is posted to the application object,
// which outlives every view, and the guard is read on the GUI thread only. The application waits
// for the pool's workers when it ends.
template <typename Work, typename Apply>
void run(QObject* receiver, Work work, Apply apply) {
    QPointer<QObject> guard(receiver);
    QThreadPool::globalInstance()->start([guard, work = std::move(work), apply = std::move(apply)]() mutable {
        auto result = work();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, apply = std::move(apply), result = std::move(result)]() mutable {
                if (guard) apply(std::move(result));
            },
            Qt::QueuedConnection);
    });
}

} // namespace tallymere::BackgroundTask
