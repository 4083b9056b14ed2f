#pragma once
#include "base/Uuid.h"
#include "core/FileNode.h"
#include "services/DuplicateFiles.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tallymere::DuplicateFinder {

// Byte-identical files of one scanned tree. Every member has the same logical size; files[0] is the
// copy to keep (the shortest path, counted in user-perceived characters), every later one is an
// extra copy. Each member is a file of its own: two paths to one file (hard links, a bind mount)
// never both appear. The nodes share ownership of their tree, so their paths stay whole for as long
// as the group is held.
struct Group {
    Uuid id = Uuid::random(); // fresh for each group a search builds
    std::int64_t size = 0;    // logical bytes of one copy
    std::vector<std::shared_ptr<FileNode>> files;
    // What each of `files` was when its bytes were compared, in the same order; shorter (empty for a
    // group made by hand) where that is not known.
    std::vector<DuplicateFiles::Identity> identities;
    // Bytes that removing every extra copy would free: the extras that have no other name
    // elsewhere, since a file with another hard link keeps its blocks when one name goes.
    std::int64_t recoverable = 0;

    std::int64_t waste() const { return recoverable; }
};

// The live state of one search, shared between the search and whoever shows it. Each accessor
// takes the lock for that one read or write; the lock is never held while a file is read.
class Progress {
public:
    // "Collecting files", then "Sampling N candidates", then "Verifying M files".
    std::string stage() const {
        std::lock_guard lock(m_lock);
        return m_stage;
    }
    std::int64_t done() const {
        std::lock_guard lock(m_lock);
        return m_done;
    }
    std::int64_t total() const {
        std::lock_guard lock(m_lock);
        return m_total;
    }
    bool cancelled() const {
        std::lock_guard lock(m_lock);
        return m_cancelled;
    }
    // Files left out because their file system did not answer within the gate's bound (a FUSE or
    // network server that stopped): like unreadable files they join no group, and the search goes
    // on without them.
    std::int64_t unanswered() const {
        std::lock_guard lock(m_lock);
        return m_unanswered;
    }

    // Asks the search to stop at its next file or stage boundary.
    void cancel() {
        std::lock_guard lock(m_lock);
        m_cancelled = true;
    }
    // Enters a stage: its text, nothing done yet, `total` to do.
    void begin(std::string stage, std::int64_t total) {
        std::lock_guard lock(m_lock);
        m_stage = std::move(stage);
        m_done = 0;
        m_total = total;
    }
    void addUnanswered(std::int64_t count = 1) {
        std::lock_guard lock(m_lock);
        m_unanswered += count;
    }
    void addDone() {
        {
            std::lock_guard lock(m_lock);
            ++m_done;
        }
        if (m_observer) m_observer(*this);
    }

    // Called after every file counted, on the thread that counted it and outside the lock, for a
    // caller that reacts to the search's steps rather than polling them. Set before the search.
    void setObserver(std::function<void(Progress&)> observer) { m_observer = std::move(observer); }

private:
    mutable std::mutex m_lock;
    std::string m_stage = "Collecting files";
    std::int64_t m_done = 0;
    std::int64_t m_total = 0;
    bool m_cancelled = false;
    std::int64_t m_unanswered = 0;
    std::function<void(Progress&)> m_observer;
};

// The groups of byte-identical files below `root` (included), largest waste first. Blocks until
// done; meant for a worker thread, and it fans the reading out over the processors itself.
//
// Folders that are not packages are searched, never candidates; every other node (file or package)
// of at least `minSize` logical bytes is a candidate unless it is a symbolic link. Three stages,
// each keeping only sets of two or more: equal size (nothing read), equal sample (a digest of the
// size, the first 64 KiB and, above 128 KiB, the last 64 KiB), then the files of one sample read
// side by side and compared byte for byte, each file read only until it differs from all others.
//
// A file takes part only while it is the regular file the scan saw: it is opened without following
// links and without blocking, at any path length (on a FUSE, network or unknown file system, it
// is read through the gate instead, never opened here, and one whose file system does not answer
// drops out and is counted in Progress::unanswered), and it must still be a regular file of the
// scanned size whose every byte compared reads without error, and nothing may write to it from
// its sample to its last byte compared. Anything else (vanished, unreadable, replaced by a FIFO, a
// link or another file, grown or shrunk, written to while it was read, a package's folder) drops
// out silently, so two unreadable files are never called identical. Paths that lead to one
// file (same device and inode) count as that file once, under the shortest of them.
//
// Nothing in a Trash is a candidate (every folder the scan marked as a Trash, and everything when
// the root is or lies in one): a copy there was thrown away, and keeping it would send the only
// live copy after it.
//
// Cancelled while collecting or sampling: an empty result. Cancelled while verifying: the groups
// among the files whose comparison had finished, each confirmed byte for byte.
std::vector<Group> find(const std::shared_ptr<FileNode>& root, std::int64_t minSize, Progress& progress);

// What a file the search compared is now.
enum class Standing { asCompared, changed, notAnswering };

// Whether `path` still names the file the search compared as `identity`: a regular file (not a
// link to one) of that device and inode and of `size` bytes, not written to or otherwise changed
// since. A default identity (one not known) asks for a regular file of that size reached through
// no link. Looked at through the gate, so a file whose file system does not answer is told
// notAnswering within the gate's bound, on whatever thread asks.
Standing standing(const std::string& path, const DuplicateFiles::Identity& identity, std::int64_t size);

} // namespace tallymere::DuplicateFinder
