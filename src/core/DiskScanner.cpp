#include "core/DiskScanner.h"

#include "core/FileCategory.h"
#include "base/PathText.h"
#include "core/ScanFileSystem.h"
#include "core/ScanQueue.h"
#include "base/Saturating.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <span>

namespace tallymere {

namespace {

using ScanFileSystem::EntryInfo;
using ScanQueue::OpenFolder;
using ScanQueue::Task;
using ScanQueue::WorkQueue;

constexpr std::size_t workerStackBytes = 1024 * 1024;
// Each thread hands its live counts over in steps of this many files, so the shared lock is taken
// rarely.
constexpr std::int64_t threadProgressBatch = 500;

// A hard-linked file is known by its exact (device, inode) pair.
struct InodeKey {
    dev_t device;
    ino_t inode;
    friend bool operator==(const InodeKey&, const InodeKey&) = default;
};
struct InodeKeyHash {
    std::size_t operator()(const InodeKey& key) const noexcept {
        return std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(key.inode) * 0x9E3779B97F4A7C15ull ^
                                          static_cast<std::uint64_t>(key.device));
    }
};

// Everything the threads of one scan share.
struct ScanContext {
    ScanContext(const ScanOptions& options, ScanProgress& progress, FileNode* root)
        : options(options), progress(progress), queue(root) {
        seenInodes.reserve(4096);
    }

    const ScanOptions& options;
    ScanProgress& progress;
    WorkQueue queue;
    ScanFileSystem::Capabilities capabilities;
    std::string rootPath;
    int rootFd = -1;
    ScanFileSystem::Boundaries boundaries;
    // Whether subfolder paths are tested against left-out paths (exclusions or mount points below
    // the root), and below how many path components a subfolder can no longer be one of them.
    bool testsSubfolderPaths = false;
    std::size_t leftOutComponents = 0;
    std::size_t rootComponents = 0;

    // Descriptors kept open for subfolders, and how many may be: well below the process's limit.
    std::atomic<int> keptOpen{0};
    int keepLimit = 0;
    // Set when the process ran out of descriptors: from then on none is kept.
    std::atomic<bool> shortOfDescriptors{false};

    std::mutex inodeLock;
    std::unordered_set<InodeKey, InodeKeyHash> seenInodes;

    // True the first time a (device, inode) pair is met.
    bool isFirstLink(dev_t device, ino_t inode) {
        std::lock_guard lock(inodeLock);
        return seenInodes.insert({device, inode}).second;
    }

    // One subfolder no longer needs its parent's descriptor; the last one closes it.
    void release(OpenFolder* parent) {
        if (!parent) return;
        if (parent->waiting.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
        ::close(parent->fd);
        keptOpen.fetch_sub(1, std::memory_order_relaxed);
        std::unique_ptr<OpenFolder> owned(parent); // made by keep()
    }

    // Keeps `fd` open for `count` subfolders when the budget allows; null when it does not (the
    // caller closes it and the subfolders are opened from the root).
    OpenFolder* keep(int fd, std::size_t count) {
        if (shortOfDescriptors.load(std::memory_order_relaxed)) return nullptr;
        if (keptOpen.fetch_add(1, std::memory_order_relaxed) >= keepLimit) {
            keptOpen.fetch_sub(1, std::memory_order_relaxed);
            return nullptr;
        }
        auto kept = std::make_unique<OpenFolder>();
        kept->fd = fd;
        kept->waiting.store(static_cast<std::uint32_t>(count), std::memory_order_relaxed);
        return kept.release(); // freed by the last release()
    }
};

// Per-thread buffers reused from folder to folder.
struct Scratch {
    std::vector<FileNode*> children;
    std::vector<FileNode*> subfolders;
    std::vector<Task> tasks;
    std::string childPath;
    std::string folderPath;
    // Counts not yet added to the live progress: handed over in batches, not once a folder.
    std::int64_t files = 0;
    std::int64_t bytes = 0;

    void tally(ScanProgress& progress, std::int64_t newFiles, std::int64_t newBytes) {
        files += newFiles;
        bytes = saturatingAdd(bytes, newBytes);
        if (files >= threadProgressBatch) flushTally(progress);
    }
    void flushTally(ScanProgress& progress) {
        if (files != 0 || bytes != 0) progress.add(files, bytes);
        files = 0;
        bytes = 0;
    }
    // getdents64 fills this; aligned for the records it holds.
    alignas(8) char entries[16384];
};

void setDates(FileNode& node, const EntryInfo& info) {
    node.modified = info.modified;
    node.created = info.created;
}

// Whether a directory entry of the folder at `folderPath` is a folder the scan leaves out.
bool isLeftOut(ScanContext& context, Scratch& scratch, const std::string& folderPath, std::string_view name) {
    scratch.childPath.assign(folderPath == "/" ? std::string_view() : std::string_view(folderPath));
    scratch.childPath += '/';
    scratch.childPath.append(name);
    return context.options.excludedPaths.contains(scratch.childPath) ||
           context.boundaries.mountPoints.contains(scratch.childPath);
}

std::size_t componentCount(std::string_view path) {
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), '/')) - (path == "/" ? 1 : 0);
}

// The kernel's directory record, as getdents64 lays it out.
struct DirectoryRecord {
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

// Reads the open folder `fd` into `folder`'s children; its subfolders are left in
// scratch.subfolders. The entries read before a cancel stay in the tree. False when the folder
// could not be read at all.
bool readEntries(int fd, FileNode& folder, ScanContext& context, NodeArena& arena, Scratch& scratch) {
    scratch.children.clear();
    scratch.subfolders.clear();
    const bool includeHidden = context.options.includeHidden;
    const bool useAllocated = context.options.useAllocatedSize;
    const std::int32_t childDepth = folder.depth + 1;
    // The folder's own path is built only when a subfolder might be left out by path.
    const bool testsPaths = context.testsSubfolderPaths &&
                            context.rootComponents + static_cast<std::size_t>(childDepth) <= context.leftOutComponents;
    bool havePath = false;
    std::int64_t files = 0, bytes = 0;
    bool readAny = false;

    for (;;) {
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
                arena.setChildren(folder, scratch.children);
                scratch.tally(context.progress, files, bytes);
                return true;
            }
            const char* rawName = record->name;
            if (rawName[0] == '.') {
                if (rawName[1] == '\0' || (rawName[1] == '.' && rawName[2] == '\0')) continue;
                if (!includeHidden) continue;
            }
            const unsigned char type = record->type;
            if (type == DT_FIFO || type == DT_CHR || type == DT_BLK || type == DT_SOCK) continue;
            const std::string_view name(rawName, std::strlen(rawName));

            // Tested before examining the entry, so a left-out network mount is never waited on.
            bool leftOut = false;
            if (testsPaths && (type == DT_DIR || type == DT_UNKNOWN)) {
                if (!havePath) {
                    scratch.folderPath = folder.path();
                    havePath = true;
                }
                leftOut = isLeftOut(context, scratch, scratch.folderPath, name);
                if (leftOut && type == DT_DIR) continue;
            }

            EntryInfo info;
            if (!ScanFileSystem::examine(fd, rawName, info, context.capabilities)) continue; // vanished

            FileNode* node = nullptr;
            if (info.type == S_IFLNK) {
                node = arena.makeNode(name, false, FileCategory::data);
                node->isSymlink = true;
                node->size = info.size;
                node->allocated = info.allocated;
                node->fileCount = 1;
            } else if (info.type == S_IFDIR) {
                if (leftOut || context.boundaries.devices.contains(info.device)) continue;
                bool isPackage = false;
                const FileCategory category = classifyDirectory(name, isPackage);
                node = arena.makeNode(name, true, category);
                node->isPackage = isPackage;
                scratch.subfolders.push_back(node);
            } else if (info.type == S_IFREG) {
                // A file met under another name already is in the tree once.
                if (info.links >= 2 && !context.isFirstLink(info.device, info.inode)) continue;
                node = arena.makeNode(name, false, classifyFile(name));
                node->size = info.size;
                node->allocated = info.allocated;
                node->fileCount = 1;
                files += 1;
                bytes = saturatingAdd(bytes, useAllocated ? info.allocated : info.size);
            } else {
                continue;
            }
            node->depth = childDepth;
            setDates(*node, info);
            scratch.children.push_back(node);
        }
    }

    arena.setChildren(folder, scratch.children);
    scratch.tally(context.progress, files, bytes);
    return true;
}

bool isShortOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

// Opens a folder: relative to its parent's kept descriptor when there is one, else by its path
// from the root. Running out of descriptors is temporary (other threads are about to close
// theirs): the thread lets go of what it holds, waits a moment and tries again, and from then on
// the scan keeps no descriptors. -1 only for a folder that really cannot be opened, or a cancel.
int openTask(Task& task, ScanContext& context, Scratch& scratch) {
    constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
    for (int attempt = 0;; ++attempt) {
        int fd = -1;
        if (task.parent) {
            // One name: O_NOFOLLOW alone refuses a folder swapped for a link.
            fd = ::openat(task.parent->fd, std::string(task.folder->name()).c_str(), folderFlags);
        } else {
            scratch.childPath.clear();
            for (const FileNode* node = task.folder; node->parent; node = node->parent) {
                const std::string_view name = node->name();
                scratch.childPath.insert(0, name);
                if (node->parent->parent) scratch.childPath.insert(0, 1, '/');
            }
            fd = ScanFileSystem::openFolder(context.rootFd, scratch.childPath, context.capabilities);
        }
        if (fd >= 0 || !isShortOfDescriptors(errno)) return fd;
        context.shortOfDescriptors.store(true, std::memory_order_relaxed);
        context.release(task.parent);
        task.parent = nullptr;
        if (context.progress.cancelled()) return -1;
        ::usleep(attempt < 10 ? 200 : 2000);
    }
}

// Throttles the folder shown as under way: building its path walks every level above it.
constexpr auto currentEvery = std::chrono::milliseconds(20);

void work(ScanContext& context, NodeArena& arena, int index) {
    auto scratch = std::make_unique<Scratch>();
    auto lastShown = std::chrono::steady_clock::time_point{};
    std::optional<Task> taken = context.queue.take();
    while (taken) {
        Task task = *taken;
        if (context.progress.cancelled()) {
            context.release(task.parent);
            context.queue.finish();
            for (const Task& dropped : context.queue.abandon()) context.release(dropped.parent);
            break;
        }
        FileNode* folder = task.folder;
        if (index == 0) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastShown >= currentEvery) {
                lastShown = now;
                context.progress.setCurrent(folder->path());
            }
        }
        scratch->tasks.clear();
        const int fd = openTask(task, context, *scratch);
        context.release(task.parent);
        if (fd < 0 || !readEntries(fd, *folder, context, arena, *scratch)) {
            if (fd >= 0) ::close(fd);
            if (!context.progress.cancelled()) folder->isDenied = true;
        } else {
            // Published only now: the children's parent links are set before another thread sees them.
            const std::size_t count = scratch->subfolders.size();
            OpenFolder* kept = count > 0 ? context.keep(fd, count) : nullptr;
            if (!kept) ::close(fd);
            for (FileNode* subfolder : scratch->subfolders) scratch->tasks.push_back({subfolder, kept});
        }
        taken = context.queue.finishAndTake(scratch->tasks);
    }
    scratch->flushTally(context.progress);
}

struct Worker {
    ScanContext* context;
    NodeArena* arena;
    int index;
};

void* runWorker(void* argument) {
    const Worker& worker = *static_cast<Worker*>(argument);
    work(*worker.context, *worker.arena, worker.index);
    return nullptr;
}

// Runs the workers on their own threads and waits for every one. Should the system refuse every
// thread, the calling thread does the work.
void runWorkers(ScanContext& context, std::vector<NodeArena>& arenas) {
    const int count = static_cast<int>(arenas.size());
    std::vector<Worker> workers(count);
    std::vector<pthread_t> threads;
    threads.reserve(count);
    pthread_attr_t attributes;
    ::pthread_attr_init(&attributes);
    ::pthread_attr_setstacksize(&attributes, workerStackBytes);
    for (int i = 0; i < count; ++i) {
        workers[i] = {&context, &arenas[i], static_cast<int>(threads.size())};
        pthread_t thread;
        if (::pthread_create(&thread, &attributes, runWorker, &workers[i]) != 0) continue;
        const std::string name = "tmscan." + std::to_string(workers[i].index);
        ::pthread_setname_np(thread, name.c_str());
        threads.push_back(thread);
    }
    ::pthread_attr_destroy(&attributes);
    if (threads.empty()) work(context, arenas[0], 0);
    for (pthread_t thread : threads) ::pthread_join(thread, nullptr);
}

// How many folder descriptors a scan keeps open: a share of the process's limit, leaving room for
// the threads' own and the rest of the program. The descriptor table is grown to that size once,
// now, rather than by the kernel under load while every opening thread waits for it.
int keepLimitFor(int threads, int anyOpenFd) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    const auto soft = static_cast<long long>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
    const long long budget = std::min<long long>(1024, (soft - 2 * threads - 64) / 2);
    if (budget <= 0) return 0;
    const int highest = static_cast<int>(std::min<long long>(soft - 1, budget + 2 * threads + 64 + 256));
    // A duplicate at the highest number grows the table; closing it keeps the size.
    const int probe = ::fcntl(anyOpenFd, F_DUPFD_CLOEXEC, highest);
    if (probe >= 0) ::close(probe);
    return static_cast<int>(budget);
}

} // namespace

ScanOptions ScanOptions::fullMac() { return fullMac(MountTable::read()); }

ScanOptions ScanOptions::fullMac(const std::vector<MountEntry>& mounts) {
    ScanOptions options;
    options.includeHidden = true;
    options.useAllocatedSize = true;
    options.excludedPaths = {"/System/Volumes/Data", "/System/Volumes/Update/mnt1", "/Volumes", "/dev", "/net",
                             "/Network", "/.vol", "/.fseventsd", "/.Spotlight-V100", "/proc", "/sys", "/run"};
    // Besides virtual and network file systems: RAM is not disk (tmpfs, ramfs), and the contents
    // of a mounted image (squashfs, any loop device) are already counted as the image file.
    for (const MountEntry& mount : mounts) {
        if (mount.mountPoint == "/") continue;
        if (MountTable::isVirtualOrNetwork(mount.fsType) || mount.fsType == "tmpfs" || mount.fsType == "ramfs" ||
            mount.fsType == "squashfs" || mount.source.starts_with("/dev/loop"))
            options.excludedPaths.insert(mount.mountPoint);
    }
    return options;
}

namespace DiskScanner {

int threadCount(int processors) { return std::clamp(processors * 5, 8, 48); }

int activeProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

std::shared_ptr<FileNode> scan(std::string_view rootArgument, const ScanOptions& options, ScanProgress& progress) {
    const std::string rootPath = PathText::standardized(rootArgument);
    if (rootPath.empty()) return nullptr;
    ScanFileSystem::Capabilities probe;
    EntryInfo info;
    if (!ScanFileSystem::examine(AT_FDCWD, rootPath.c_str(), info, probe)) return nullptr;

    auto tree = std::make_shared<FileTree>();
    const bool isDirectory = info.type == S_IFDIR;
    FileNode* root = tree->arena.makeNode(rootPath, isDirectory, FileCategory::folder);
    setDates(*root, info);
    tree->root = root;
    if (!isDirectory) {
        // A single file (or a link, or anything else) is its own one-node tree.
        root->size = info.size;
        root->allocated = info.allocated;
        root->fileCount = 1;
        return shareRoot(tree);
    }

    ScanContext context(options, progress, root);
    context.rootPath = rootPath;
    context.boundaries = ScanFileSystem::boundaries(MountTable::read(), rootPath, info.device);
    context.testsSubfolderPaths = !options.excludedPaths.empty() || !context.boundaries.mountPoints.empty();
    for (const std::string& path : options.excludedPaths)
        context.leftOutComponents = std::max(context.leftOutComponents, componentCount(path));
    for (const std::string& path : context.boundaries.mountPoints)
        context.leftOutComponents = std::max(context.leftOutComponents, componentCount(path));
    context.rootComponents = componentCount(rootPath);
    context.rootFd = ::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (context.rootFd < 0) {
        root->isDenied = true;
    } else {
        std::vector<NodeArena> arenas(options.threads > 0 ? options.threads : threadCount(activeProcessors()));
        context.keepLimit = keepLimitFor(static_cast<int>(arenas.size()), context.rootFd);
        runWorkers(context, arenas);
        ::close(context.rootFd);
        for (NodeArena& arena : arenas) tree->arena.absorb(std::move(arena));
    }
    // Depths were set as the nodes were made; only the sums remain.
    rollup(*root);
    return shareRoot(tree);
}

} // namespace DiskScanner

} // namespace tallymere
