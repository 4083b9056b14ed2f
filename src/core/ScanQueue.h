#pragma once
#include "core/FileNode.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

namespace tallymere::ScanWorker {
struct SplitFolder;
}

// The scanner's list of folders waiting to be read and the descriptors kept for them. Private to
// DiskScanner.
namespace tallymere::ScanQueue {

// A folder kept open after it was read, so that its subfolders open relative to it: one short
// openat instead of a walk from the root through every level above. Closed by whichever thread
// opens the last of those subfolders.
struct OpenFolder {
    int fd = -1;
    std::atomic<std::uint32_t> waiting{0};
};

// A fixed number of OpenFolder records, their memory taken before the threads start, so keeping a
// folder open allocates nothing. A record is made the first time it is needed: a small tree
// touches a few of them, not the whole pool. None left means no more folders are kept open for now.
class OpenFolderPool {
public:
    explicit OpenFolderPool(std::size_t size)
        : m_storage(std::make_unique_for_overwrite<Storage[]>(size)), m_size(size) {
        m_free.reserve(size);
    }
    OpenFolder* take() {
        std::lock_guard lock(m_lock);
        if (!m_free.empty()) {
            OpenFolder* record = m_free.back();
            m_free.pop_back();
            return record;
        }
        if (m_made == m_size) return nullptr;
        return new (&m_storage[m_made++]) OpenFolder;
    }
    void give(OpenFolder* record) {
        std::lock_guard lock(m_lock);
        m_free.push_back(record);
    }

private:
    static_assert(std::is_trivially_destructible_v<OpenFolder>);
    struct Storage {
        alignas(OpenFolder) unsigned char bytes[sizeof(OpenFolder)];
    };
    std::unique_ptr<Storage[]> m_storage;
    std::size_t m_size;
    std::size_t m_made = 0;
    std::mutex m_lock;
    std::vector<OpenFolder*> m_free;
};

// A folder waiting to be read, with its parent's open descriptor when one was kept; or, with
// `split` set, a share of the entries of a very large folder that another thread is reading.
struct Task {
    FileNode* folder = nullptr;
    OpenFolder* parent = nullptr;
    ScanWorker::SplitFolder* split = nullptr;
    // The folder lies on a mount whose server may stop answering: a gate helper reads it.
    bool remote = false;
};

// Folders waiting to be read, last in first out (depth first keeps the list short), and the number
// of threads reading one. Both only with the lock held.
class WorkQueue {
public:
    explicit WorkQueue(FileNode* root) : m_pending{Task{root, nullptr}} { m_pending.reserve(4096); }

    // The next folder; none once nothing is pending and no thread is reading (nothing more can come).
    std::optional<Task> take() { return finishAndTake({}, false); }

    // Publishes the subfolders of the folder this thread just read, marks that folder done and
    // takes the next one, all under one turn of the lock: one lock a folder rather than three.
    std::optional<Task> finishAndTake(std::span<const Task> tasks, bool finished = true) {
        std::unique_lock lock(m_lock);
        m_pending.insert(m_pending.end(), tasks.begin(), tasks.end());
        m_pendingCount.store(m_pending.size(), std::memory_order_relaxed);
        if (finished) --m_active;
        // This thread takes one of the new folders itself; the others are for sleepers.
        if (tasks.size() > 1 && m_waiting > 0) {
            if (tasks.size() == 2) m_wake.notify_one();
            else m_wake.notify_all();
        }
        if (m_pending.empty() && m_active == 0) {
            m_wake.notify_all();
            if (m_ramping.load(std::memory_order_relaxed)) m_rampWake.notify_one();
            return std::nullopt;
        }
        // More folders than this thread and the sleepers can take: one more thread would help.
        if (m_ramping.load(std::memory_order_relaxed) && m_pending.size() > static_cast<std::size_t>(m_waiting) + 1)
            m_rampWake.notify_one();
        m_waiting.store(m_waiting + 1, std::memory_order_relaxed);
        m_wake.wait(lock, [&] { return !m_pending.empty() || m_active == 0; });
        m_waiting.store(m_waiting - 1, std::memory_order_relaxed);
        if (m_pending.empty()) return std::nullopt;
        const Task task = m_pending.back();
        m_pending.pop_back();
        m_pendingCount.store(m_pending.size(), std::memory_order_relaxed);
        ++m_active;
        return task;
    }

    // Adds tasks without taking one: shares of a large folder for threads that are free.
    void share(std::span<const Task> tasks) {
        {
            std::lock_guard lock(m_lock);
            m_pending.insert(m_pending.end(), tasks.begin(), tasks.end());
            m_pendingCount.store(m_pending.size(), std::memory_order_relaxed);
            if (m_ramping.load(std::memory_order_relaxed)) m_rampWake.notify_one();
        }
        if (tasks.size() == 1) m_wake.notify_one();
        else m_wake.notify_all();
    }

    // The thread that took a folder is done with it.
    void finish() {
        bool idle;
        {
            std::lock_guard lock(m_lock);
            --m_active;
            idle = m_pending.empty() && m_active == 0;
            if (idle && m_ramping.load(std::memory_order_relaxed)) m_rampWake.notify_one();
        }
        if (idle) m_wake.notify_all();
    }

    // The scan's threads start one at a time, each when there is work for it, up to one a
    // processor: a small tree is read by the few threads it keeps busy, not by a thread a
    // processor that each hold a stack and buffers. While that goes on, this waits until a thread
    // more would find work at once (more folders or shares wait than threads wait for them), the
    // scan ends (`over` is set), or `timeout` passes; true in the first case.
    bool awaitWork(std::chrono::milliseconds timeout, bool& over) {
        std::unique_lock lock(m_lock);
        const auto ended = [&] { return m_pending.empty() && m_active == 0; };
        const auto surplus = [&] { return m_pending.size() > static_cast<std::size_t>(m_waiting.load()); };
        m_rampWake.wait_for(lock, timeout, [&] { return ended() || surplus(); });
        over = ended();
        return !over && surplus();
    }
    // Threads start as work appears from now on, until endRamp().
    void beginRamp() { m_ramping.store(true, std::memory_order_relaxed); }
    void endRamp() { m_ramping.store(false, std::memory_order_relaxed); }
    // Read without the lock, as a hint: whether more threads will still start as work appears.
    bool isRamping() const { return m_ramping.load(std::memory_order_relaxed); }

    // Drops every pending folder (they stay in the tree unread) and wakes every waiting thread.
    // The dropped tasks are returned, so their kept descriptors can be let go.
    std::vector<Task> abandon() {
        std::vector<Task> dropped;
        {
            std::lock_guard lock(m_lock);
            dropped.swap(m_pending);
            m_pendingCount.store(0, std::memory_order_relaxed);
            if (m_ramping.load(std::memory_order_relaxed)) m_rampWake.notify_one();
        }
        m_wake.notify_all();
        return dropped;
    }

    // Read without the lock, as hints: threads waiting for work, and folders waiting for a thread.
    int idleThreads() const { return m_waiting.load(std::memory_order_relaxed); }
    std::size_t pendingCount() const { return m_pendingCount.load(std::memory_order_relaxed); }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_rampWake; // the thread that starts the scan's threads waits here
    std::vector<Task> m_pending;
    int m_active = 0;
    std::atomic<bool> m_ramping{false};
    // Written with the lock held; atomic only so the hints above can read them without it.
    std::atomic<int> m_waiting{0};
    std::atomic<std::size_t> m_pendingCount{1};
};

} // namespace tallymere::ScanQueue
