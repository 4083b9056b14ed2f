#include "views/components/canvas/ParallelBands.h"

#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <memory>

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

void share(int rows, int pieces, const std::function<void(int top, int bottom)>& draw) {
    if (rows <= 0) return;
    const int count = std::clamp(pieces, 1, rows);
    const int helpers = std::min(count, QThread::idealThreadCount()) - 1;
    QThreadPool* pool = QThreadPool::globalInstance();
    if (helpers < 1 || pool->contains(QThread::currentThread())) {
        draw(0, rows);
        return;
    }
    // Held by every helper too: one that starts after all pieces are done finds none left and
    // never touches `draw`, which lives only until this returns.
    struct Pieces {
        std::atomic<int> next{0};
        QSemaphore done;
        const std::function<void(int, int)>* draw;
        int rows, count;
        // Takes pieces until none is left.
        void take() {
            for (int piece; (piece = next.fetch_add(1, std::memory_order_relaxed)) < count;) {
                (*draw)(int(qint64(rows) * piece / count), int(qint64(rows) * (piece + 1) / count));
                done.release();
            }
        }
    };
    auto shared = std::make_shared<Pieces>();
    shared->draw = &draw;
    shared->rows = rows;
    shared->count = count;
    for (int h = 0; h < helpers; ++h) pool->start([shared] { shared->take(); });
    shared->take();
    shared->done.acquire(count);
}

std::shared_ptr<Job> Job::start(int rows, int pieces, std::function<void(int top, int bottom)> draw) {
    const int count = std::clamp(pieces, 1, std::max(rows, 1));
    std::shared_ptr<Job> job(new Job(std::max(rows, 0), rows > 0 ? count : 0, std::move(draw)));
    QThreadPool* pool = QThreadPool::globalInstance();
    // Each helper holds the job: one that starts after the work was joined finds nothing to take.
    const int helpers = std::min(job->m_count, QThread::idealThreadCount());
    for (int h = 0; h < helpers; ++h) pool->start([job] { job->take(); });
    return job;
}

void Job::take() {
    for (int piece; (piece = m_next.fetch_add(1, std::memory_order_relaxed)) < m_count;) {
        m_draw(int(qint64(m_rows) * piece / m_count), int(qint64(m_rows) * (piece + 1) / m_count));
        m_finished.fetch_add(1);
        m_settled.release();
    }
}

void Job::join() {
    if (m_joined) return;
    if (m_stopped) {
        cancel();
        return;
    }
    take();
    m_joined = true;
    // Every piece was taken: wait for those under way on other threads.
    m_settled.acquire(m_count);
    // No piece runs again: what the work holds (a picture's pixels) is let go now, not when the
    // last helper lets go of the job.
    m_draw = nullptr;
}

void Job::stop() {
    if (m_stopped || m_joined) return;
    // Claims every piece not yet started; those taken before are settled by their threads.
    m_taken = std::min(m_next.exchange(m_count), m_count);
    m_stopped = true;
}

void Job::cancel() {
    if (m_joined) return;
    stop();
    m_joined = true;
    m_settled.acquire(m_taken);
    m_draw = nullptr;
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
