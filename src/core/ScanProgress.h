#pragma once
#include "base/Saturating.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace tallymere {

// Live counters of one running scan, shared by the scan threads and the interface that polls them.
// Each accessor of the counts and the current folder takes the lock for one read or write; no
// other lock is ever held while it is taken. The cancel flag is atomic.
class ScanProgress {
public:
    // Regular files counted so far (hard links once; links and folders not at all).
    std::int64_t files() const {
        std::lock_guard lock(m_lock);
        return m_files;
    }
    // Bytes of those files, allocated or logical as the scan's options say.
    std::int64_t bytes() const {
        std::lock_guard lock(m_lock);
        return m_bytes;
    }
    // The folder the first scan thread last took up, as raw path bytes.
    std::string current() const {
        std::lock_guard lock(m_lock);
        return m_current;
    }
    // Read before every directory entry by every scan thread, so it is a flag of its own rather
    // than a turn of the shared lock.
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    void setCurrent(std::string path) {
        std::lock_guard lock(m_lock);
        m_current = std::move(path);
    }
    void add(std::int64_t files, std::int64_t bytes) {
        std::lock_guard lock(m_lock);
        m_files = saturatingAdd(m_files, files);
        m_bytes = saturatingAdd(m_bytes, bytes);
    }

private:
    mutable std::mutex m_lock;
    std::int64_t m_files = 0;
    std::int64_t m_bytes = 0;
    std::string m_current;
    std::atomic<bool> m_cancelled{false};
};

} // namespace tallymere
