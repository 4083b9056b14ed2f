#pragma once
#include <QSemaphore>

#include <atomic>
#include <functional>
#include <memory>

namespace tallymere::ParallelBands {

// Runs `draw(top, bottom)` for up to `maxBands` disjoint bands of `rows` pixel rows at once and
// returns when all are done. The bands run as tasks of the global thread pool: a painter working
// inside that pool fills its shapes on its own thread, rather than handing every large shape's
// spans to the pool and waiting on them, which costs more than it saves for many shapes.
// With `piecesPerBand` above 1 the rows are cut that many times finer and the pieces handed out as
// threads come free, for pictures whose work is uneven down the rows.
void run(int rows, int maxBands, const std::function<void(int top, int bottom)>& draw, int piecesPerBand = 1);

// Runs `draw(top, bottom)` for `pieces` disjoint bands of `rows` pixel rows, on the calling thread
// and on as many threads of the global thread pool as come free meanwhile, each taking the next
// piece not yet taken; returns when all are done. For work that the calling thread waits on, such
// as copying a mark into the window: on a busy machine the pool's threads may be late to start,
// and the calling thread then does the pieces they have not taken itself rather than wait for them.
// Every thread's `draw` may touch only its own rows.
void share(int rows, int pieces, const std::function<void(int top, int bottom)>& draw);

// Work cut into bands of rows like share()'s, started on the thread pool and left to run while the
// caller goes on; a thread that later needs it done joins in, doing the pieces not yet taken
// itself. Every piece's `draw` may touch only its own rows.
class Job {
public:
    static std::shared_ptr<Job> start(int rows, int pieces, std::function<void(int top, int bottom)> draw);
    ~Job() { cancel(); }
    // Does the pieces not yet taken on this thread, then waits for those under way elsewhere.
    void join();
    // Starts no more pieces and waits for those under way; the work is left unfinished.
    void cancel();
    // Starts no more pieces, without waiting for those under way (cancel() or join() waits).
    void stop();
    // Whether every piece was done (neither cancelled nor under way).
    bool isDone() const { return m_finished.load() == m_count; }

private:
    Job(int rows, int count, std::function<void(int, int)> draw)
        : m_draw(std::move(draw)), m_rows(rows), m_count(count) {}
    // Takes pieces until none is left; `finish` marks each done.
    void take();
    std::function<void(int, int)> m_draw;
    int m_rows, m_count;
    std::atomic<int> m_next{0};
    std::atomic<int> m_finished{0};
    // Released once for each piece taken, done or cancelled.
    QSemaphore m_settled;
    int m_taken = 0; // pieces taken when stopped
    bool m_stopped = false;
    bool m_joined = false;
};

// Runs `work` on one thread of the global thread pool and returns when it is done (on the calling thread
// when that is a thread of the pool, or when no thread of the pool is free). A painter on the window's thread hands every
// large shape's spans to the pool in small pieces and waits for each; on a busy machine those
// hand-overs cost more than the drawing. On a thread of the pool it fills them itself, so a picture
// drawn by a general painter costs one hand-over in all.
void runOnPool(const std::function<void()>& work);

} // namespace tallymere::ParallelBands
