#include "views/components/ParallelBands.h"

#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace tallymere::ParallelBands {

void run(int rows, int maxBands, const std::function<void(int top, int bottom)>& draw, int piecesPerBand) {
    if (rows <= 0) return;
    const int threads = std::clamp(std::min(maxBands, QThread::idealThreadCount()), 1, rows);
    QThreadPool* pool = QThreadPool::globalInstance();
    if (threads == 1 || pool->contains(QThread::currentThread())) {
        draw(0, rows);
        return;
    }
    const int bands = std::clamp(threads * std::max(piecesPerBand, 1), 1, rows);
    QSemaphore done;
    for (int b = 0; b < bands; ++b) {
        const int top = rows * b / bands, bottom = rows * (b + 1) / bands;
        pool->start([&draw, &done, top, bottom] {
            draw(top, bottom);
            done.release();
        });
    }
    done.acquire(bands);
}

void runOnPool(const std::function<void()>& work) {
    QThreadPool* pool = QThreadPool::globalInstance();
    if (pool->contains(QThread::currentThread()) || pool->maxThreadCount() < 1) {
        work();
        return;
    }
    QSemaphore done;
    // Only onto a thread free now: with every thread taken by longer work, waiting costs more.
    if (!pool->tryStart([&work, &done] {
            work();
            done.release();
        })) {
        work();
        return;
    }
    done.acquire();
}

} // namespace tallymere::ParallelBands
