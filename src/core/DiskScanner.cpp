#include "core/DiskScanner.h"

#include "base/InodeTag.h"
#include "base/PathText.h"
#include "core/FileCategory.h"
#include "core/PlaceMarks.h"
#include "core/ScanContext.h"
#include "core/ScanFileSystem.h"
#include "platform/PathGate.h"
#include "core/ScanWorker.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tallymere {

namespace {

using ScanFileSystem::EntryInfo;
using ScanWorker::ScanContext;
using ScanWorker::Scratch;

constexpr std::size_t workerStackBytes = 1024 * 1024;
// How often the calling thread looks at the scan while it runs.
constexpr auto watchEvery = std::chrono::milliseconds(4);
// Below this share of their time on a processor, the running threads are waiting: for the disk
// (a cold cache) or for a processor other programs hold (a loaded machine). More threads then get
// more reads in flight, or a fairer share of the machine.
constexpr double busyShare = 0.6;

std::size_t componentCount(std::string_view path) {
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), '/')) - (path == "/" ? 1 : 0);
}

double clockSeconds(clockid_t clock) {
    timespec now{};
    if (::clock_gettime(clock, &now) != 0) return 0;
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The scan threads. Up to one per processor starts as soon as there is work for it: on a warm
// cache they keep every processor busy, and more would only take turns on them; a small tree
// needs a few, and each costs a stack and buffers. Then the calling thread watches: while folders
// wait and no thread is idle but the threads spend much of their time off the processors, it
// starts more, up to the scan's limit.
class ScanThreads {
public:
    ScanThreads(ScanContext& context, NodeRegion* region, int limit, int processors)
        : m_context(context), m_arenas(limit), m_workers(limit), m_processors(processors) {
        for (NodeArena& arena : m_arenas) arena.useRegion(region);
        m_scratches.reserve(limit);
        m_threads.reserve(limit);
    }

    // Runs the scan to its end.
    void run() {
        const int atOnce = std::min(static_cast<int>(m_arenas.size()), m_processors);
        if (atOnce > 1) m_context.queue.beginRamp();
        start(1);
        if (m_threads.empty()) {
            m_context.queue.endRamp();
            // The system refused every thread: the calling thread does the work.
            m_scratches.push_back(std::make_unique<Scratch>());
            m_context.threadsStarted.store(1, std::memory_order_relaxed);
            ScanWorker::work(m_context, m_arenas[0], *m_scratches[0], 0);
            return;
        }
        ramp(atOnce);
        watch();
        for (pthread_t thread : m_threads) ::pthread_join(thread, nullptr);
    }

    // Every arena, whose nodes now belong to the tree.
    std::vector<NodeArena>& arenas() { return m_arenas; }

private:
    struct Worker {
        ScanThreads* owner = nullptr;
        int index = 0;
    };

    static void* runWorker(void* argument) {
        const Worker& worker = *static_cast<Worker*>(argument);
        ScanThreads& owner = *worker.owner;
        ScanWorker::work(owner.m_context, owner.m_arenas[worker.index], *owner.m_scratches[worker.index], worker.index);
        {
            std::lock_guard lock(owner.m_lock);
            --owner.m_running;
        }
        owner.m_ended.notify_one();
        return nullptr;
    }

    void start(int count) {
        pthread_attr_t attributes;
        ::pthread_attr_init(&attributes);
        ::pthread_attr_setstacksize(&attributes, workerStackBytes);
        for (int i = 0; i < count; ++i) {
            const int index = static_cast<int>(m_threads.size());
            // The buffers are made here, so the new thread allocates nothing of its own.
            m_scratches.push_back(std::make_unique<Scratch>());
            m_workers[index] = {this, index};
            {
                std::lock_guard lock(m_lock);
                ++m_running;
            }
            m_context.threadsStarted.fetch_add(1, std::memory_order_relaxed);
            pthread_t thread;
            if (::pthread_create(&thread, &attributes, runWorker, &m_workers[index]) != 0) {
                m_context.threadsStarted.fetch_sub(1, std::memory_order_relaxed);
                std::lock_guard lock(m_lock);
                --m_running;
                m_scratches.pop_back();
                break;
            }
            const std::string name = "tmscan." + std::to_string(index);
            ::pthread_setname_np(thread, name.c_str());
            m_threads.push_back(thread);
        }
        ::pthread_attr_destroy(&attributes);
    }

    // Starts a thread each time more work waits than the threads can take, until `atOnce` run
    // or the scan ends.
    void ramp(int atOnce) {
        while (static_cast<int>(m_threads.size()) < atOnce) {
            {
                std::lock_guard lock(m_lock);
                if (m_running == 0) break;
            }
            bool over = false;
            if (!m_context.queue.awaitWork(watchEvery, over)) {
                if (over) break;
                continue;
            }
            const std::size_t before = m_threads.size();
            start(1);
            if (m_threads.size() == before) break; // the system refuses more threads
        }
        m_context.queue.endRamp();
    }

    // Processor time of the scan threads so far, from each thread's own clock: the process's clock
    // counts a thread's running time only at the scheduler's ticks, far too coarse for a look every
    // few milliseconds.
    double threadSeconds() const {
        double total = 0;
        for (pthread_t thread : m_threads) {
            clockid_t clock;
            if (::pthread_getcpuclockid(thread, &clock) == 0) total += clockSeconds(clock);
        }
        return total;
    }

    void watch() {
        auto lastWall = std::chrono::steady_clock::now();
        double lastCpu = threadSeconds();
        std::unique_lock lock(m_lock);
        while (m_running > 0) {
            if (m_threads.size() == m_arenas.size()) {
                m_ended.wait(lock, [&] { return m_running == 0; });
                break;
            }
            m_ended.wait_for(lock, watchEvery, [&] { return m_running == 0; });
            if (m_running == 0) break;
            lock.unlock();
            const auto now = std::chrono::steady_clock::now();
            const double cpu = threadSeconds();
            const double wall = std::chrono::duration<double>(now - lastWall).count();
            const double onProcessors = std::min<double>(static_cast<double>(m_threads.size()), m_processors);
            if (wall > 0 && m_context.queue.pendingCount() > 0 && m_context.queue.idleThreads() == 0 &&
                (cpu - lastCpu) < busyShare * wall * onProcessors)
                start(std::min(m_processors, static_cast<int>(m_arenas.size() - m_threads.size())));
            lastWall = now;
            lastCpu = cpu;
            lock.lock();
        }
    }

    ScanContext& m_context;
    std::vector<NodeArena> m_arenas;
    std::vector<Worker> m_workers;
    std::vector<std::unique_ptr<Scratch>> m_scratches;
    std::vector<pthread_t> m_threads;
    const int m_processors;
    std::mutex m_lock;
    std::condition_variable m_ended;
    int m_running = 0;
};

// How many threads a scan may use: its limit, and no more than the process's file descriptors
// allow (each thread reading a folder holds one, and one of its parent while it opens it).
int threadLimit(const ScanOptions& options, int processors, int rootFd) {
    int limit = options.threads > 0 ? options.threads : DiskScanner::threadCount(processors);
    struct rlimit descriptors {};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) != 0 || descriptors.rlim_cur == RLIM_INFINITY) return limit;
    // The lowest free number tells roughly how many the process holds already.
    const int lowestFree = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    if (lowestFree >= 0) ::close(lowestFree);
    const long long spare = static_cast<long long>(descriptors.rlim_cur) - (lowestFree >= 0 ? lowestFree : rootFd + 1);
    return static_cast<int>(std::clamp<long long>(spare / 2, 1, limit));
}

// How many folder descriptors a scan keeps open: a share of the process's limit, leaving room for
// the threads' own and the rest of the program. The descriptor table is grown to that size once,
// now, rather than by the kernel under load while every opening thread waits for it.
std::size_t keepLimitFor(int threads, int anyOpenFd) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    const auto soft = static_cast<long long>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
    const long long budget = std::min<long long>(1024, (soft - 2 * threads - 64) / 2);
    if (budget <= 0) return 0;
    const int highest = static_cast<int>(std::min<long long>(soft - 1, budget + 2 * threads + 64 + 256));
    // A duplicate at the highest number grows the table; closing it keeps the size.
    const int probe = ::fcntl(anyOpenFd, F_DUPFD_CLOEXEC, highest);
    if (probe >= 0) ::close(probe);
    return static_cast<std::size_t>(budget);
}

} // namespace

ScanOptions ScanOptions::fullMac() { return fullMac(*MountTable::current()); }

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
    // Read before the root is opened: a process with a single descriptor free still reads both.
    const auto mountTable = MountTable::current();
    const std::vector<MountEntry>& mounts = *mountTable;
    // The way to the root is followed through the gate: a link or a relative path may lead onto a
    // mount that does not answer, where resolving or looking at the root would hold the scan, and
    // the program's end, for ever.
    const PathGate::Text resolved = PathGate::realPath(std::string(rootArgument));
    const PathGate::Status rootLook = resolved.error ? PathGate::Status{resolved.error, {}} : PathGate::lstat(resolved.text);
    const int rootError = rootLook.error;
    if (rootError == PathGate::notAnswering) {
        auto tree = std::make_shared<FileTree>();
        FileNode* root = tree->arena.makeNode(PathText::standardized(rootArgument), true, FileCategory::folder);
        root->isDenied = true;
        tree->root = root;
        progress.addUnanswered();
        return shareRoot(tree);
    }
    if (rootError) return nullptr;
    const std::string& rootPath = resolved.text;
    // A root on a mount whose server may stop answering is read, with everything below it, by gate
    // helpers: no thread of the scan waits on that server.
    const bool rootIsRemote = PathGate::needsHelper(rootPath);
    ScanFileSystem::Capabilities probe;
    EntryInfo info;
    if (rootIsRemote) info = ScanFileSystem::entryInfoOf(rootLook.info);
    else if (!ScanFileSystem::examine(AT_FDCWD, rootPath.c_str(), info, probe)) return nullptr;

    auto tree = std::make_shared<FileTree>();
    const bool isDirectory = info.type == S_IFDIR;
    FileNode* root = tree->arena.makeNode(rootPath, isDirectory, FileCategory::folder);
    root->modified = info.modified;
    root->created = info.created;
    root->hasIdentity = true;
    root->inodeTag = inodeTag(info.inode);
    tree->root = root;
    if (!options.places.empty()) {
        PlaceMarks::mark(*root, options.places.at(info.device, info.inode), false, {});
        // What lies above the root is no part of the tree: a root in a Trash is marked as one.
        if (Places::isInTrash(options.places, rootPath)) root->isTrash = true;
    }
    if (!isDirectory) {
        // A single file (or anything else) is its own one-node tree.
        root->size = info.size;
        root->allocated = info.allocated;
        root->fileCount = 1;
        return shareRoot(tree);
    }

    // No link is followed on the way to the root either: it was resolved a moment ago.
    bool crossed = false;
    const int rootFd = rootIsRemote ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)
                                    : ScanFileSystem::openFolder(AT_FDCWD, rootPath, probe, crossed);
    if (rootFd < 0) {
        root->isDenied = true;
        progress.addUnread(errno == EMFILE || errno == ENFILE);
        return shareRoot(tree);
    }
    const int processors = activeProcessors();
    const int threads = threadLimit(options, processors, rootFd);
    ScanContext context(options, progress, root, keepLimitFor(threads, rootFd));
    context.rootFd = rootFd;
    context.boundaries = ScanFileSystem::boundaries(mounts, rootPath, info.device);
    ScanFileSystem::MountPoints mountPoints =
        ScanFileSystem::lookAtMountPoints(mounts, rootPath, context.boundaries, options.excludedPaths);
    context.mountedFiles = std::move(mountPoints.files);
    context.unanswered = std::move(mountPoints.unanswered);
    context.remoteMountPoints = std::move(mountPoints.remote);
    if (rootIsRemote) context.addRemoteRoot(root);
    context.repeatedMounts = ScanFileSystem::repeatedMounts(mounts);
    context.rootDevice = info.device;
    for (const MountEntry& mount : mounts) context.listedDevices.push_back(static_cast<dev_t>(MountTable::deviceOf(mount)));
    std::sort(context.listedDevices.begin(), context.listedDevices.end());
    if (context.repeatedMounts.tracksAny()) {
        context.folderIdentities = std::make_unique<ScanIdentity::IdentitySet>(8192);
        context.isFirstSighting(info.device, info.inode); // the root is met first
    }
    context.testsSubfolderPaths = !options.excludedPaths.empty() || !context.boundaries.mountPoints.empty() ||
                                  !context.unanswered.empty() || !context.remoteMountPoints.empty();
    for (const std::string& path : options.excludedPaths)
        context.leftOutComponents = std::max(context.leftOutComponents, componentCount(path));
    for (const std::string& path : context.boundaries.mountPoints)
        context.leftOutComponents = std::max(context.leftOutComponents, componentCount(path));
    for (const std::string& path : context.unanswered)
        context.leftOutComponents = std::max(context.leftOutComponents, componentCount(path));
    for (const auto& [path, looked] : context.remoteMountPoints)
        context.leftOutComponents = std::max(context.leftOutComponents, componentCount(path));
    // Helpers kept ready for the scan's run while it reads such folders: starting one costs far more
    // than a folder's reading.
    std::optional<PathGate::HelperReserve> helpers;
    if (context.anyRemote.load()) helpers.emplace(ScanContext::remoteAtOnce);
    context.rootComponents = componentCount(rootPath);

    // One thread takes memory from the heap undisturbed; many share one reservation.
    if (threads > 1) tree->region = NodeRegion::forThisMachine();
    context.threadsAtOnce = std::min(threads, processors);
    ScanThreads workers(context, tree->region.get(), threads, processors);
    workers.run();
    ::close(rootFd);
    for (NodeArena& arena : workers.arenas()) tree->arena.absorb(std::move(arena));
    for (const FileNode* node : context.marked) PlaceMarks::markHolders(*node);
    // The threads summed every folder as it finished, unless a cancel left some unread: then the
    // sums are made again over what was read.
    if (!context.rootFinished.load(std::memory_order_acquire)) rollup(*root);
    return shareRoot(tree);
}

} // namespace DiskScanner

} // namespace tallymere
