#include "core/DiskScanner.h"

#include "core/FileCategory.h"
#include "base/PathText.h"
#include "core/ScanFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <span>

namespace tallymere {

namespace {

using ScanFileSystem::EntryInfo;

constexpr std::size_t workerStackBytes = 1024 * 1024;
// Live counters move in steps of this many files, so the shared lock is taken rarely.
constexpr std::int64_t progressBatch = 2000;

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

// Folders waiting to be read, last in first out (depth first keeps the list short), and the number
// of threads reading one. Both only with the lock held.
class WorkQueue {
public:
    explicit WorkQueue(FileNode* root) : m_pending{root} {}

    // The next folder; null once nothing is pending and no thread is reading (nothing more can come).
    FileNode* take() {
        std::unique_lock lock(m_lock);
        m_wake.wait(lock, [&] { return !m_pending.empty() || m_active == 0; });
        if (m_pending.empty()) return nullptr;
        FileNode* folder = m_pending.back();
        m_pending.pop_back();
        ++m_active;
        return folder;
    }

    void push(std::span<FileNode* const> folders) {
        {
            std::lock_guard lock(m_lock);
            m_pending.insert(m_pending.end(), folders.begin(), folders.end());
        }
        m_wake.notify_all();
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
    void abandon() {
        {
            std::lock_guard lock(m_lock);
            m_pending.clear();
        }
        m_wake.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<FileNode*> m_pending;
    int m_active = 0;
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
    // Whether each subfolder's full path is needed (exclusions or mount points below the root).
    bool testsSubfolderPaths = false;

    std::mutex inodeLock;
    std::unordered_set<InodeKey, InodeKeyHash> seenInodes;

    std::mutex flushLock;
    std::int64_t pendingFiles = 0;
    std::int64_t pendingBytes = 0;

    // True the first time a (device, inode) pair is met.
    bool isFirstLink(dev_t device, ino_t inode) {
        std::lock_guard lock(inodeLock);
        return seenInodes.insert({device, inode}).second;
    }

    void tally(std::int64_t files, std::int64_t bytes) {
        std::int64_t takenFiles = 0, takenBytes = 0;
        {
            std::lock_guard lock(flushLock);
            pendingFiles += files;
            pendingBytes += bytes;
            if (pendingFiles < progressBatch) return;
            std::swap(takenFiles, pendingFiles);
            std::swap(takenBytes, pendingBytes);
        }
        progress.add(takenFiles, takenBytes);
    }

    void flush() {
        std::int64_t takenFiles = 0, takenBytes = 0;
        {
            std::lock_guard lock(flushLock);
            std::swap(takenFiles, pendingFiles);
            std::swap(takenBytes, pendingBytes);
        }
        if (takenFiles != 0 || takenBytes != 0) progress.add(takenFiles, takenBytes);
    }
};

// Per-thread buffers reused from folder to folder.
struct Scratch {
    std::vector<FileNode*> children;
    std::vector<FileNode*> subfolders;
    std::string childPath;
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

// Reads the open folder `fd` (taken over and closed) into `folder`'s children; its subfolders are
// left in scratch.subfolders. The entries read before a cancel stay in the tree.
void readEntries(int fd, FileNode& folder, const std::string& folderPath, ScanContext& context, NodeArena& arena,
                 Scratch& scratch) {
    scratch.children.clear();
    scratch.subfolders.clear();
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        folder.isDenied = true;
        return;
    }
    const int dirFd = ::dirfd(dir);
    const bool includeHidden = context.options.includeHidden;
    const bool useAllocated = context.options.useAllocatedSize;
    std::int64_t files = 0, bytes = 0;

    while (const dirent* entry = ::readdir(dir)) {
        // Looked at before every entry, so a cancel stops even a huge folder at once.
        if (context.progress.cancelled()) break;
        const char* rawName = entry->d_name;
        if (rawName[0] == '.') {
            if (rawName[1] == '\0' || (rawName[1] == '.' && rawName[2] == '\0')) continue;
            if (!includeHidden) continue;
        }
        const unsigned char type = entry->d_type;
        if (type == DT_FIFO || type == DT_CHR || type == DT_BLK || type == DT_SOCK) continue;
        const std::string_view name(rawName, std::strlen(rawName));

        // Tested before examining the entry, so a left-out network mount is never waited on.
        bool leftOut = false;
        if (context.testsSubfolderPaths && (type == DT_DIR || type == DT_UNKNOWN)) {
            leftOut = isLeftOut(context, scratch, folderPath, name);
            if (leftOut && type == DT_DIR) continue;
        }

        EntryInfo info;
        if (!ScanFileSystem::examine(dirFd, rawName, info, context.capabilities)) continue; // vanished

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
            bytes += useAllocated ? info.allocated : info.size;
        } else {
            continue;
        }
        setDates(*node, info);
        scratch.children.push_back(node);
    }

    arena.setChildren(folder, scratch.children);
    context.tally(files, bytes);
    ::closedir(dir);
}

struct Worker {
    ScanContext* context;
    NodeArena* arena;
    int index;
};

void work(ScanContext& context, NodeArena& arena, int index) {
    Scratch scratch;
    const std::size_t rootLength = context.rootPath == "/" ? 1 : context.rootPath.size() + 1;
    while (FileNode* folder = context.queue.take()) {
        if (context.progress.cancelled()) {
            context.queue.finish();
            context.queue.abandon();
            return;
        }
        const std::string path = folder->path();
        if (index == 0) context.progress.setCurrent(path);
        const std::string_view relative =
            path.size() > rootLength ? std::string_view(path).substr(rootLength) : std::string_view();
        const int fd = ScanFileSystem::openFolder(context.rootFd, relative, context.capabilities);
        if (fd < 0) {
            folder->isDenied = true;
        } else {
            readEntries(fd, *folder, path, context, arena, scratch);
            // Published only now: the children's parent links are set before another thread sees them.
            if (!scratch.subfolders.empty()) context.queue.push(scratch.subfolders);
        }
        context.queue.finish();
    }
}

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
    context.rootFd = ::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (context.rootFd < 0) {
        root->isDenied = true;
    } else {
        std::vector<NodeArena> arenas(threadCount(activeProcessors()));
        runWorkers(context, arenas);
        ::close(context.rootFd);
        for (NodeArena& arena : arenas) tree->arena.absorb(std::move(arena));
    }
    context.flush();
    rollup(*root);
    assignDepth(*root, 0);
    return shareRoot(tree);
}

} // namespace DiskScanner

} // namespace tallymere
