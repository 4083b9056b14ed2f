#pragma once
#include "core/DiskScanner.h"
#include "core/IdentitySet.h"
#include "core/ScanFileSystem.h"
#include "core/ScanQueue.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <vector>

// What the threads of one scan share. Private to DiskScanner.
namespace tallymere::ScanWorker {

struct ScanContext {
    ScanContext(const ScanOptions& options, ScanProgress& progress, FileNode* root, std::size_t keepLimit)
        : options(options), progress(progress), queue(root), root(root), keepLimit(keepLimit), openFolders(keepLimit) {}

    const ScanOptions& options;
    ScanProgress& progress;
    ScanQueue::WorkQueue queue;
    FileNode* root;
    ScanFileSystem::Capabilities capabilities;
    int rootFd = -1;
    ScanFileSystem::Boundaries boundaries;
    // Whether subfolder paths are tested against left-out paths (exclusions, mount points below the
    // root, those that did not answer), and below how many path components a subfolder can no
    // longer be one of them.
    bool testsSubfolderPaths = false;
    std::size_t leftOutComponents = 0;
    std::size_t rootComponents = 0;
    // Threads that may run at once, and how many are running: a large folder is shared among them.
    std::atomic<int> threadsStarted{0};
    int threadsAtOnce = 1; // started as soon as there is work for them: one a processor, at most the limit

    // Descriptors kept open for subfolders: at most keepLimit, well below the process's limit.
    std::size_t keepLimit;
    ScanQueue::OpenFolderPool openFolders;
    // Set when the process ran out of descriptors: from then on none is kept, and every descriptor
    // the scan closes is counted, so a thread waiting for one knows whether any came free.
    std::atomic<bool> shortOfDescriptors{false};
    std::atomic<std::uint64_t> descriptorsClosed{0};
    // The count above when a thread waited the whole bound for a descriptor and none came free:
    // while nothing has been closed since, others stop waiting at once. All ones when unset.
    std::atomic<std::uint64_t> starvedAt{~std::uint64_t(0)};

    // Files with more than one link, so each enters the tree once.
    ScanIdentity::IdentitySet hardLinks{4096};
    // Files mounted onto a second name below the root; each also enters the tree once.
    std::vector<std::pair<dev_t, ino_t>> mountedFiles;
    bool isMountedFile(dev_t device, ino_t inode) const {
        for (const auto& [d, i] : mountedFiles)
            if (d == device && i == inode) return true;
        return false;
    }
    // Mount points below the root that did not answer a look before the scan began: each is a
    // folder not read, never looked at again.
    ScanFileSystem::SmallSet<std::string> unanswered;

    // Mount points below the root on file systems whose server may stop answering, as the look
    // before the scan found them: never examined from the folder above (that would ask their
    // server), and read with all below them by gate helpers.
    std::vector<std::pair<std::string, ScanFileSystem::EntryInfo>> remoteMountPoints;
    const ScanFileSystem::EntryInfo* remoteMountPoint(const std::string& path) const {
        for (const auto& [point, info] : remoteMountPoints)
            if (point == path) return &info;
        return nullptr;
    }
    // The folders read by helpers from which every folder below is too: the root when it lies on
    // such a file system, and the nodes of those mount points. A few.
    std::atomic<bool> anyRemote{false};
    std::mutex remoteLock;
    std::vector<const FileNode*> remoteRoots;
    void addRemoteRoot(const FileNode* node) {
        std::lock_guard lock(remoteLock);
        remoteRoots.push_back(node);
        anyRemote.store(true, std::memory_order_release);
    }
    bool isRemoteRoot(const FileNode* node) {
        if (!anyRemote.load(std::memory_order_acquire)) return false;
        std::lock_guard lock(remoteLock);
        return std::find(remoteRoots.begin(), remoteRoots.end(), node) != remoteRoots.end();
    }
    // Folders read by helpers at once, at most: each holds a helper, which the gate keeps ready for
    // the scan's whole run.
    static constexpr int remoteAtOnce = 8;
    std::counting_semaphore<remoteAtOnce> remoteSlots{remoteAtOnce};
    // Folders on file systems that show in more than one place (bind mounts), so each is read
    // once; made only when the mount table has such a file system.
    ScanFileSystem::RepeatedMounts repeatedMounts;
    std::unique_ptr<ScanIdentity::IdentitySet> folderIdentities;

    // False when the folder on `device` was met already, through another mount.
    bool isFirstSighting(dev_t device, ino_t inode) {
        return !folderIdentities || !repeatedMounts.tracks(device) || folderIdentities->insert(device, inode);
    }

    // Every device the mount table listed as the scan began, sorted, and the root's. A folder on
    // another device was mounted after that (or is a part of a file system that numbers its parts,
    // a btrfs subvolume): whether it is a virtual or network one the scan stays out of is looked
    // up once, in the table as it is then. Empty without a mount table: nothing is looked up.
    std::vector<dev_t> listedDevices;
    dev_t rootDevice = 0;
    std::mutex lateLock;
    std::vector<std::pair<dev_t, bool>> lateDevices; // each device looked up, and whether it is left out

    // Whether the scan stays out of folders on `device`.
    bool isBoundary(dev_t device) {
        if (boundaries.devices.contains(device)) return true;
        if (device == rootDevice || listedDevices.empty() ||
            std::binary_search(listedDevices.begin(), listedDevices.end(), device))
            return false;
        // The folders of one such device come in runs (a subvolume holds a whole tree, a snapshot a
        // whole system): each thread keeps the last answer, so the lock is taken as the device changes.
        struct LastAnswer {
            std::uint64_t scan = 0;
            dev_t device = 0;
            bool leftOut = false;
        };
        thread_local LastAnswer last;
        if (last.scan == serial && last.device == device) return last.leftOut;
        bool leftOut = false;
        {
            std::lock_guard lock(lateLock);
            const auto known = std::find_if(lateDevices.begin(), lateDevices.end(),
                                            [&](const auto& entry) { return entry.first == device; });
            if (known != lateDevices.end()) {
                leftOut = known->second;
            } else {
                leftOut = ScanFileSystem::isVirtualOrNetworkNow(device);
                lateDevices.emplace_back(device, leftOut);
            }
        }
        last = {serial, device, leftOut};
        return leftOut;
    }
    // Tells this scan's answers kept by a thread apart from another scan's.
    const std::uint64_t serial = nextSerial();
    static std::uint64_t nextSerial() {
        static std::atomic<std::uint64_t> count{0};
        return count.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    // Folders the places marked, whose folders above are marked once the tree is whole: a few.
    std::mutex markedLock;
    std::vector<const FileNode*> marked;
    void noteMarked(const FileNode* node) {
        std::lock_guard lock(markedLock);
        marked.push_back(node);
    }

    // Set when the root was summed by the threads, the last folder finishing last.
    std::atomic<bool> rootFinished{false};

    void closeDescriptor(int fd) {
        ::close(fd);
        if (shortOfDescriptors.load(std::memory_order_relaxed))
            descriptorsClosed.fetch_add(1, std::memory_order_relaxed);
    }

    // One subfolder no longer needs its parent's descriptor; the last one closes it.
    void release(ScanQueue::OpenFolder* parent) {
        if (!parent) return;
        if (parent->waiting.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
        closeDescriptor(parent->fd);
        openFolders.give(parent);
    }

    // Keeps `fd` open for `count` subfolders when the budget allows; null when it does not (the
    // caller closes it and the subfolders are opened from the root).
    ScanQueue::OpenFolder* keep(int fd, std::size_t count) {
        if (shortOfDescriptors.load(std::memory_order_relaxed)) return nullptr;
        ScanQueue::OpenFolder* kept = openFolders.take();
        if (!kept) return nullptr;
        kept->fd = fd;
        kept->waiting.store(static_cast<std::uint32_t>(count), std::memory_order_relaxed);
        return kept;
    }
};

// A thread's buffers, reused from folder to folder. Made by the thread that starts the worker, with
// room for ordinary folders, so that a worker allocates nothing while it scans (a first allocation
// on a new thread sets up a heap of its own, which stalls every thread touching new memory).
struct Scratch {
    Scratch();

    std::vector<FileNode*> children;
    std::vector<FileNode*> subfolders;
    std::vector<ScanQueue::Task> tasks;
    std::string childPath;
    std::string folderPath;
    std::string currentPath;
    // Counts not yet added to the live progress: handed over in batches, not once a folder.
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    // getdents64 fills this; aligned for the records it holds.
    alignas(8) char entries[16384];
};

} // namespace tallymere::ScanWorker
