#include "core/ScanWorker.h"

#include "base/Saturating.h"
#include "core/ScanEntries.h"
#include "core/ScanPaths.h"
#include "platform/PathGate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

namespace tallymere::ScanWorker {

namespace {

using ScanQueue::Task;

// Each thread hands its live counts over in steps of this many files, so the shared lock is taken
// rarely.
constexpr std::int64_t threadProgressBatch = 500;
// A folder with more entries than this is shared out among the threads that have nothing to do,
// in shares of this many entries: one huge folder read by one thread would set the end of the scan.
constexpr std::size_t shareAfter = 1024;
// How long a folder waits for a file descriptor when the process has none free. A descriptor comes
// free within moments when other threads of the scan hold it; past this, none is coming.
constexpr auto descriptorWait = std::chrono::seconds(2);
// Throttles the folder shown as under way: building its path walks every level above it.
constexpr auto currentEvery = std::chrono::milliseconds(20);

// The folder thread 0 shows as under way. A folder taken up within the throttle of the last one
// shown is shown once it has been read that long, so a huge folder read right after its parent
// does not leave the parent shown for the whole of its reading.
struct Shown {
    bool mine = false; // thread 0 shows the folders it takes up; any thread, a folder it shares out
    bool current = false; // the folder in hand is the one shown
    const FileNode* folder = nullptr; // the folder shown last
    std::chrono::steady_clock::time_point last{};

    void show(const FileNode& taken, ScanContext& context, Scratch& scratch) {
        last = std::chrono::steady_clock::now();
        current = true;
        folder = &taken;
        ScanPaths::pathInto(taken, scratch.currentPath);
        context.progress.setCurrent(scratch.currentPath);
    }
    // A share of a large folder that another thread reads: that folder takes a while, so it is
    // shown at once, once.
    void takeUpShare(const FileNode& shared, ScanContext& context, Scratch& scratch) {
        if (mine && folder != &shared) show(shared, context, scratch);
    }
    // A folder just taken up: shown unless one was shown moments ago.
    void takeUp(const FileNode& folder, ScanContext& context, Scratch& scratch) {
        current = false;
        if (mine && std::chrono::steady_clock::now() - last >= currentEvery) show(folder, context, scratch);
    }
    // Still reading the folder in hand: shown once the throttle has passed.
    void stillReading(const FileNode& folder, ScanContext& context, Scratch& scratch) {
        if (mine && !current && std::chrono::steady_clock::now() - last >= currentEvery) show(folder, context, scratch);
    }
};

void tally(ScanContext& context, Scratch& scratch, const EntryCounts& counts) {
    scratch.files += counts.files;
    scratch.bytes = saturatingAdd(scratch.bytes, counts.bytes);
    if (scratch.files < threadProgressBatch) return;
    context.progress.add(scratch.files, scratch.bytes);
    scratch.files = 0;
    scratch.bytes = 0;
}

void flushTally(ScanContext& context, Scratch& scratch) {
    if (scratch.files != 0 || scratch.bytes != 0) context.progress.add(scratch.files, scratch.bytes);
    scratch.files = 0;
    scratch.bytes = 0;
}

// Sums a folder whose every subfolder is finished, and then each folder above it for which it was
// the last one outstanding. Until then a folder's folderCount holds the number of its subfolders
// still outstanding; the thread that takes it to zero sums the folder, so every sum is made exactly
// once, by one thread, after all of its parts.
void finishFolder(FileNode& folder, ScanContext& context) {
    for (FileNode* node = &folder;;) {
        sumChildren(*node);
        FileNode* parent = node->parent;
        if (!parent) {
            context.rootFinished.store(true, std::memory_order_release);
            return;
        }
        if (std::atomic_ref<std::int32_t>(parent->folderCount).fetch_sub(1, std::memory_order_acq_rel) != 1) return;
        node = parent;
    }
}

bool isShortOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

// A folder that could not be read: marked, counted with its reason, and finished with no children.
// One the scan never read because it was cancelled is neither.
void markUnread(FileNode& folder, int error, ScanContext& context) {
    if (context.progress.cancelled()) return;
    folder.isDenied = true;
    context.progress.addUnread(isShortOfDescriptors(error));
    finishFolder(folder, context);
}

// Opens a folder: relative to its parent's kept descriptor when there is one, else by its path
// from the root. Running out of descriptors is usually brief (other threads are about to close
// theirs): the thread lets go of what it holds, waits a moment and tries again, and from then on
// the scan keeps no descriptors. The waiting is bounded: once one folder has waited the whole
// bound with not one descriptor closed by the scan meanwhile, none is coming, and until one is
// closed the others stop waiting too. -1 with `error` set when the folder is not opened.
int openTask(Task& task, ScanContext& context, Scratch& scratch, int& error, bool& crossed) {
    std::chrono::steady_clock::time_point deadline;
    std::uint64_t closedBefore = 0;
    for (int attempt = 0;; ++attempt) {
        int fd;
        if (task.parent) {
            scratch.childPath.assign(task.folder->name());
            fd = ScanFileSystem::openChild(task.parent->fd, scratch.childPath.c_str(), context.capabilities, crossed);
        } else {
            ScanPaths::relativePathInto(*task.folder, scratch.childPath);
            fd = ScanFileSystem::openFolder(context.rootFd, scratch.childPath, context.capabilities, crossed);
        }
        if (fd >= 0) return fd;
        error = errno;
        if (!isShortOfDescriptors(error)) return -1;
        context.shortOfDescriptors.store(true, std::memory_order_relaxed);
        context.release(task.parent);
        task.parent = nullptr;
        if (context.progress.cancelled()) return -1;
        const std::uint64_t closed = context.descriptorsClosed.load(std::memory_order_relaxed);
        if (closed == context.starvedAt.load(std::memory_order_relaxed)) return -1;
        const auto now = std::chrono::steady_clock::now();
        if (attempt == 0) {
            deadline = now + descriptorWait;
            closedBefore = closed;
        } else if (now >= deadline) {
            if (closed == closedBefore) context.starvedAt.store(closed, std::memory_order_relaxed);
            return -1;
        }
        ::usleep(attempt < 10 ? 200 : 2000);
    }
}

// Whether the folder opened across a mount lies on a file system the scan stays out of.
bool isMountedBoundary(int fd, ScanContext& context) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && context.isBoundary(info.st_dev);
}

// Gives the folder the children read, and counts them. Listed but not searchable: what it holds is
// unknown, so it is marked and counted as unread, though its list (the folders in it, each tried in
// turn) is kept.
void keepChildren(FileNode& folder, ScanContext& context, NodeArena& arena, Scratch& scratch, const EntryCounts& counts,
                  const std::atomic<bool>& entryHidden) {
    arena.setChildren(folder, scratch.children);
    tally(context, scratch, counts);
    if (entryHidden.load(std::memory_order_relaxed) && !context.progress.cancelled()) {
        folder.isDenied = true;
        context.progress.addUnread(false);
    }
}

// Reads the open folder `fd` into `folder`'s children; the subfolders still to be read are left in
// scratch.subfolders. The entries read before a cancel stay in the tree. False when the folder
// could not be read at all.
bool readFolder(int fd, FileNode& folder, ScanContext& context, NodeArena& arena, Scratch& scratch, Shown& shown) {
    scratch.children.clear();
    scratch.subfolders.clear();
    FolderFrame frame;
    frame.folder = &folder;
    frame.fd = fd;
    frame.childDepth = folder.depth + 1;
    std::atomic<bool> entryHidden{false}; // outlives every share: the shares are done before this returns
    frame.entryHidden = &entryHidden;
    // The folder's own path is built only when a subfolder might be left out by path.
    frame.testsPaths = context.testsSubfolderPaths &&
                       context.rootComponents + static_cast<std::size_t>(frame.childDepth) <= context.leftOutComponents;
    if (frame.testsPaths) {
        ScanPaths::pathInto(folder, scratch.folderPath);
        frame.folderPath = scratch.folderPath;
    }
    EntryCounts counts;
    std::size_t seen = 0;
    bool readAny = false;
    const auto keep = [&](FileNode* node) {
        if (!node) return;
        scratch.children.push_back(node);
        // A folder made unread (a mount that did not answer) is not to be opened either.
        if (node->isDirectory && !node->hasChildList() && !node->isDenied) scratch.subfolders.push_back(node);
    };

    for (bool reading = true; reading;) {
        const long got = ::syscall(SYS_getdents64, fd, scratch.entries, sizeof scratch.entries);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (!readAny) return false;
            break; // keep what was read
        }
        if (got == 0) break;
        readAny = true;
        for (long offset = 0; offset < got;) {
            const auto* record = reinterpret_cast<const DirectoryRecord*>(scratch.entries + offset);
            offset += record->length;
            // Looked at before every entry, so a cancel stops even a huge folder at once.
            if (context.progress.cancelled()) {
                reading = false;
                break;
            }
            ++seen;
            keep(makeEntry(frame, record->name, record->type, context, arena, scratch.childPath, counts));
        }
        // The live counts move as a large folder is read, not only once it is done.
        tally(context, scratch, counts);
        counts = {};
        shown.stillReading(folder, context, scratch);
        // A large folder, and threads with nothing to do, or threads still to start: they take
        // shares of what is left.
        if (reading && seen >= shareAfter &&
            ((context.queue.idleThreads() > 0 && context.threadsStarted.load(std::memory_order_relaxed) > 1) ||
             context.queue.isRamping())) {
            // A folder worth sharing out takes a while, its listing first: it is the one to show,
            // whichever thread reads it.
            if (!shown.current) shown.show(folder, context, scratch);
            shareRest(frame, context, arena, scratch, counts);
            break;
        }
    }

    keepChildren(folder, context, arena, scratch, counts, entryHidden);
    return true;
}

// Reads a folder on a mount that may stop answering through a gate helper, which lists it and looks
// at each entry; the subfolders still to be read are left in scratch.subfolders. False, with
// `error` set, when it could not be read (PathGate::notAnswering when its mount did not answer).
bool readRemoteFolder(FileNode& folder, ScanContext& context, NodeArena& arena, Scratch& scratch, int& error) {
    scratch.children.clear();
    scratch.subfolders.clear();
    ScanPaths::pathInto(folder, scratch.folderPath);
    context.remoteSlots.acquire();
    PathGate::Folder listing =
        PathGate::readFolder(scratch.folderPath, context.options.includeHidden, &context.progress.cancelFlag());
    context.remoteSlots.release();
    if (listing.error) {
        error = listing.error;
        return false;
    }
    FolderFrame frame;
    frame.folder = &folder;
    frame.childDepth = folder.depth + 1;
    std::atomic<bool> entryHidden{false};
    frame.entryHidden = &entryHidden;
    frame.testsPaths = context.testsSubfolderPaths &&
                       context.rootComponents + static_cast<std::size_t>(frame.childDepth) <= context.leftOutComponents;
    frame.folderPath = scratch.folderPath;
    EntryCounts counts;
    Looked looked;
    for (const PathGate::FolderEntry& entry : listing.entries) {
        if (context.progress.cancelled()) break;
        looked.error = entry.error;
        looked.info = {.type = entry.mode, .links = entry.links, .device = static_cast<dev_t>(entry.device),
                       .inode = static_cast<ino_t>(entry.inode), .size = entry.size, .allocated = entry.allocated,
                       .modified = entry.modified, .created = entry.created};
        FileNode* node = makeEntry(frame, entry.name.c_str(), entry.type, context, arena, scratch.childPath, counts, &looked);
        if (!node) continue;
        scratch.children.push_back(node);
        if (node->isDirectory && !node->hasChildList() && !node->isDenied) scratch.subfolders.push_back(node);
    }
    keepChildren(folder, context, arena, scratch, counts, entryHidden);
    return true;
}

void helpWithShares(SplitFolder& split, ScanContext& context, NodeArena& arena, Scratch& scratch) {
    EntryCounts counts;
    makeShares(split, context, arena, scratch.childPath, counts);
    tally(context, scratch, counts);
}

} // namespace

Scratch::Scratch() {
    // Room for most folders and paths; each page of it that a thread never uses costs no memory.
    children.reserve(1024);
    subfolders.reserve(256);
    tasks.reserve(256);
    childPath.reserve(1024);
    folderPath.reserve(1024);
    currentPath.reserve(1024);
}

void work(ScanContext& context, NodeArena& arena, Scratch& scratch, int index) {
    Shown shown;
    shown.mine = index == 0;
    std::optional<Task> taken = context.queue.take();
    while (taken) {
        Task task = *taken;
        if (task.split) {
            shown.takeUpShare(*task.split->frame.folder, context, scratch);
            helpWithShares(*task.split, context, arena, scratch);
            releaseShare(task.split);
            taken = context.queue.finishAndTake({});
            continue;
        }
        if (context.progress.cancelled()) {
            context.release(task.parent);
            context.queue.finish();
            for (const Task& dropped : context.queue.abandon()) {
                context.release(dropped.parent);
                if (dropped.split) releaseShare(dropped.split);
            }
            break;
        }
        FileNode* folder = task.folder;
        shown.takeUp(*folder, context, scratch);
        scratch.tasks.clear();
        if (task.remote || context.isRemoteRoot(folder)) {
            int error = 0;
            if (readRemoteFolder(*folder, context, arena, scratch, error)) {
                const std::size_t count = scratch.subfolders.size();
                folder->folderCount = static_cast<std::int32_t>(count);
                for (FileNode* subfolder : scratch.subfolders) scratch.tasks.push_back({subfolder, nullptr, nullptr, true});
                if (count == 0) finishFolder(*folder, context);
            } else if (error == PathGate::notAnswering && !context.progress.cancelled()) {
                // Its mount stopped answering: a folder not read, as every other of that mount now
                // is at once, and the rest of the scan goes on.
                folder->isDenied = true;
                context.progress.addUnanswered();
                finishFolder(*folder, context);
            } else {
                markUnread(*folder, error, context);
            }
            taken = context.queue.finishAndTake(scratch.tasks);
            continue;
        }
        // The root is read through the descriptor the scan holds for it: a process with a single
        // descriptor to spare still reads the root.
        const bool isRoot = folder == context.root;
        int error = 0;
        bool crossed = false;
        const int fd = isRoot ? context.rootFd : openTask(task, context, scratch, error, crossed);
        context.release(task.parent);
        if (fd >= 0 && crossed && isMountedBoundary(fd, context)) {
            // A virtual or network file system mounted there since the folder was listed: left
            // out, as it would have been had it been there then.
            context.closeDescriptor(fd);
            arena.setChildren(*folder, {});
            finishFolder(*folder, context);
        } else if (fd < 0) {
            markUnread(*folder, error, context);
        } else if (!readFolder(fd, *folder, context, arena, scratch, shown)) {
            error = errno;
            if (!isRoot) context.closeDescriptor(fd);
            markUnread(*folder, error, context);
        } else {
            const std::size_t count = scratch.subfolders.size();
            // Until its subfolders are finished, the folder counts those still outstanding.
            folder->folderCount = static_cast<std::int32_t>(count);
            ScanQueue::OpenFolder* kept = count > 0 && !isRoot ? context.keep(fd, count) : nullptr;
            if (!kept && !isRoot) context.closeDescriptor(fd);
            // Published only now: the children's parent links are set before another thread sees them.
            for (FileNode* subfolder : scratch.subfolders) scratch.tasks.push_back({subfolder, kept});
            if (count == 0) finishFolder(*folder, context);
        }
        taken = context.queue.finishAndTake(scratch.tasks);
    }
    flushTally(context, scratch);
}

} // namespace tallymere::ScanWorker
