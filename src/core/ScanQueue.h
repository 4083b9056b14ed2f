#pragma once
#include "core/FileNode.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

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

// A folder waiting to be read, with its parent's open descriptor when one was kept.
struct Task {
    FileNode* folder = nullptr;
    OpenFolder* parent = nullptr;
};

// Folders waiting to be read, last in first out (depth first keeps the list short), and the number
// of threads reading one. Both only with the lock held.
class WorkQueue {
public:
    explicit WorkQueue(FileNode* root) : m_pending{Task{root, nullptr}} {}

    // The next folder; none once nothing is pending and no thread is reading (nothing more can come).
    std::optional<Task> take() { return finishAndTake({}, false); }

    // Publishes the subfolders of the folder this thread just read, marks that folder done and
    // takes the next one, all under one turn of the lock: one lock a folder rather than three.
    std::optional<Task> finishAndTake(std::span<const Task> tasks, bool finished = true) {
        std::unique_lock lock(m_lock);
        m_pending.insert(m_pending.end(), tasks.begin(), tasks.end());
        if (finished) --m_active;
        // This thread takes one of the new folders itself; the others are for sleepers.
        if (tasks.size() > 1 && m_waiting > 0) {
            if (tasks.size() == 2) m_wake.notify_one();
            else m_wake.notify_all();
        }
        if (m_pending.empty() && m_active == 0) {
            m_wake.notify_all();
            return std::nullopt;
        }
        ++m_waiting;
        m_wake.wait(lock, [&] { return !m_pending.empty() || m_active == 0; });
        --m_waiting;
        if (m_pending.empty()) return std::nullopt;
        const Task task = m_pending.back();
        m_pending.pop_back();
        ++m_active;
        return task;
    }

    // The thread that took a folder is done with it.
    void finish() {
        bool idle;
        {
            std::lock_guard lock(m_lock);
            --m_active;
            idle = m_pending.empty() && m_active == 0;
        }
        if (idle) m_wake.notify_all();
    }

    // Drops every pending folder (they stay in the tree unread) and wakes every waiting thread.
    // The dropped tasks are returned, so their kept descriptors can be let go.
    std::vector<Task> abandon() {
        std::vector<Task> dropped;
        {
            std::lock_guard lock(m_lock);
            dropped.swap(m_pending);
        }
        m_wake.notify_all();
        return dropped;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<Task> m_pending;
    int m_active = 0;
    int m_waiting = 0;
};

} // namespace tallymere::ScanQueue
