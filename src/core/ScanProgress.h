#pragma once
#include "base/Saturating.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

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
    // The folder under way, as raw path bytes: the one the first scan thread last took up, or a
    // large folder a thread is sharing out among the others.
    std::string current() const {
        std::lock_guard lock(m_lock);
        return m_current;
    }
    // Read before every directory entry by every scan thread, so it is a flag of its own rather
    // than a turn of the shared lock.
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    // The flag itself, for a wait that looks at it as it goes (a folder read by a helper).
    const std::atomic<bool>& cancelFlag() const { return m_cancelled; }
    // Folders that could not be opened or listed (isDenied in the tree), counted as the scan meets
    // them, so nobody walks the tree again to know.
    std::int64_t unreadFolders() const { return m_unread.load(std::memory_order_relaxed); }
    // Of those, the folders left unread because the process had no file descriptor to spare for
    // them, however long the scan waited for one.
    std::int64_t unreadForLackOfDescriptors() const { return m_unreadNoDescriptor.load(std::memory_order_relaxed); }
    // Of those, the folders whose mount did not answer within the gate's bound (a FUSE or network
    // server that stopped answering): a mount point met so, or any folder of a mount that stopped
    // while the scan read it. Nothing waits on them.
    std::int64_t unreadWithoutAnswer() const { return m_unreadNoAnswer.load(std::memory_order_relaxed); }

    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    void setCurrent(std::string_view path) {
        std::lock_guard lock(m_lock);
        m_current.assign(path); // reuses the text's memory: no allocation once it is long enough
    }
    void add(std::int64_t files, std::int64_t bytes) {
        std::lock_guard lock(m_lock);
        m_files = saturatingAdd(m_files, files);
        m_bytes = saturatingAdd(m_bytes, bytes);
    }
    void addUnread(bool forLackOfDescriptors) {
        m_unread.fetch_add(1, std::memory_order_relaxed);
        if (forLackOfDescriptors) m_unreadNoDescriptor.fetch_add(1, std::memory_order_relaxed);
    }
    void addUnanswered() {
        m_unread.fetch_add(1, std::memory_order_relaxed);
        m_unreadNoAnswer.fetch_add(1, std::memory_order_relaxed);
    }

private:
    mutable std::mutex m_lock;
    std::int64_t m_files = 0;
    std::int64_t m_bytes = 0;
    std::string m_current;
    std::atomic<bool> m_cancelled{false};
    std::atomic<std::int64_t> m_unread{0};
    std::atomic<std::int64_t> m_unreadNoDescriptor{0};
    std::atomic<std::int64_t> m_unreadNoAnswer{0};
};

} // namespace tallymere
