// Work cut into bands of rows: every row done exactly once, whichever thread takes its piece, and
// a job that is joined finishes on the joining thread, one that is cancelled or stopped does no
// piece after.
#include "views/components/canvas/ParallelBands.h"

#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace tallymere;

namespace {

// Counts how many times each row was drawn.
struct Rows {
    std::vector<std::atomic<int>> counts;
    explicit Rows(int rows) : counts(std::size_t(rows)) {}
    void draw(int top, int bottom) {
        for (int y = top; y < bottom; ++y) counts[std::size_t(y)].fetch_add(1);
    }
    bool eachOnce() const {
        for (const auto& c : counts)
            if (c.load() != 1) return false;
        return true;
    }
};

} // namespace

TEST(ParallelBands, EveryRowIsDoneOnceWhoeverTakesIt) {
    for (int rows : {1, 7, 1381}) {
        for (int pieces : {1, 3, 16, 5000}) {
            Rows shared(rows);
            ParallelBands::share(rows, pieces, [&](int top, int bottom) { shared.draw(top, bottom); });
            EXPECT_TRUE(shared.eachOnce()) << rows << " rows in " << pieces << " pieces";

            Rows joined(rows);
            auto job = ParallelBands::Job::start(rows, pieces, [&](int top, int bottom) { joined.draw(top, bottom); });
            job->join();
            EXPECT_TRUE(job->isDone());
            EXPECT_TRUE(joined.eachOnce()) << rows << " rows in " << pieces << " pieces, joined";
        }
    }
    ParallelBands::share(0, 4, [](int, int) { FAIL() << "no rows, no piece"; });
}

TEST(ParallelBands, ACancelledJobDoesNoPieceAfterward) {
    // The pool's threads are kept busy, so that the job's pieces wait: cancelling takes them all.
    std::atomic<bool> release{false};
    std::atomic<int> blocked{0};
    const int threads = QThread::idealThreadCount();
    ParallelBands::Job::start(threads, threads, [&](int, int) {
        ++blocked;
        while (!release.load()) QThread::yieldCurrentThread();
    });
    while (blocked.load() < threads) QThread::yieldCurrentThread();
    std::atomic<int> drawn{0}, drawnAfterStop{0};
    auto job = ParallelBands::Job::start(100, 10, [&](int, int) { ++drawn; });
    job->cancel();
    const int atCancel = drawn.load();
    // Stopped without waiting, then joined: the join takes none of the pieces left either.
    auto stopped = ParallelBands::Job::start(100, 10, [&](int, int) { ++drawnAfterStop; });
    stopped->stop();
    stopped->join();
    release = true;
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(drawn.load(), atCancel);
    EXPECT_EQ(atCancel, 0);
    EXPECT_FALSE(job->isDone());
    EXPECT_EQ(drawnAfterStop.load(), 0);
    EXPECT_FALSE(stopped->isDone());
}
