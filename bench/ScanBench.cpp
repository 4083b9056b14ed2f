// Scan benchmark: `tallymere --scan` as a user runs it (a whole process: start-up, scan, summary,
// exit) against a bare parallel walk in a process of its own (the floor: it reads and examines every
// entry and builds nothing), `gdu -n -p` and `du -s`, on the same warm tree of over half a million
// entries and on /usr, wall and CPU time; and, from the scanner called in a process of its own, its
// peak memory per node and its totals checked against the walk's to the byte, every folder's sums
// (made by the scan threads as folders finish) checked against its children's.
//
//   ScanBench [runs]             build the tree once (cached), then time each tool `runs` times (5)
//   ScanBench --cold [runs] [OTHER]  the same with the page cache dropped before every run (needs
//                                root), against the walk and, when given, another tallymere binary
//   ScanBench --fuse [runs] [OTHER]  the tree through a FUSE mount (bindfs, which needs root), which the
//                                program reads through its gate's helpers, against the walk of the
//                                same mount and, when given, another tallymere binary
//   ScanBench --child PATH       scan PATH in this process and print node count, time and memory
//   ScanBench --bare PATH        walk PATH bare and print its totals
//
// The tree lives under /tmp/tallymere-bench-tree and is rebuilt only when its marker is missing; its
// FUSE view is mounted on /tmp/tallymere-bench-fuse for the run and taken down after it.
#include "BareWalk.h"
#include "ProcessTimer.h"
#include "core/DiskScanner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>


using namespace tallymere;
using tallymere::bench::median;
using tallymere::bench::runTimed;
using tallymere::bench::Timed;

namespace {

const std::string benchFolder = "/tmp/tallymere-bench-tree";
const std::string treeFolder = benchFolder + "/tree";
const std::string markerPath = benchFolder + "/complete-v2";
constexpr std::int64_t targetEntries = 520000;

// Deterministic generator (splitmix64), so every machine builds the same tree.
struct Random {
    std::uint64_t state = 0x7A11E3E5EEDull;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
};

class TreeBuilder {
public:
    std::int64_t entries = 0;
    std::int64_t hardLinks = 0;
    std::int64_t symlinks = 0;
    int deepest = 0;

    void fill(int dirFd, int depth) {
        deepest = std::max(deepest, depth);
        const int files = 3 + m_random.below(34);
        std::string previousFile;
        for (int i = 0; i < files && entries < targetEntries; ++i) {
            const std::string name = uniqueName(i, true);
            const int roll = m_random.below(100);
            if (roll == 0 && !previousFile.empty()) {
                if (::linkat(dirFd, previousFile.c_str(), dirFd, name.c_str(), 0) == 0) ++hardLinks, ++entries;
                continue;
            }
            if (roll == 1) {
                const std::string target = previousFile.empty() ? "../missing" : previousFile;
                if (::symlinkat(target.c_str(), dirFd, name.c_str()) == 0) ++symlinks, ++entries;
                continue;
            }
            const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) continue;
            if (roll < 7) {
                // A few files with real blocks; the rest keep a logical size only, to spare the disk.
                static const std::string data(16384, 'd');
                [[maybe_unused]] ssize_t written = ::write(fd, data.data(), 1 + m_random.below(16384));
            } else {
                const int magnitude = m_random.below(24);
                [[maybe_unused]] int result = ::ftruncate(fd, static_cast<off_t>(m_random.next() % (1ull << magnitude)));
            }
            ::close(fd);
            previousFile = name;
            ++entries;
        }
        const int folders = branching(depth);
        for (int i = 0; i < folders && entries < targetEntries; ++i) {
            const std::string name = uniqueName(i, false);
            if (::mkdirat(dirFd, name.c_str(), 0755) != 0) continue;
            ++entries;
            const int child = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (child < 0) continue;
            fill(child, depth + 1);
            ::close(child);
        }
    }

private:
    int branching(int depth) {
        static constexpr int spread[] = {31, 10, 8, 6, 5, 4, 3, 3, 2, 2, 2};
        if (depth == 0) return 30;
        if (depth >= static_cast<int>(std::size(spread))) return m_random.below(3) == 0 ? 1 : 0;
        return (depth == 1 ? 2 : 0) + m_random.below(spread[depth]);
    }

    // Varied lengths (3 to about 60 bytes), unique within the folder by their index prefix.
    std::string uniqueName(int index, bool isFile) {
        static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789_-";
        static constexpr const char* extensions[] = {"txt", "jpg", "mp4", "cpp", "h", "js", "json",
                                                     "log", "pdf", "zip", "png", "o", "py", "md"};
        std::string name = std::to_string(index) + (isFile ? "f" : "d");
        const int length = m_random.below(8) == 0 ? 20 + m_random.below(40) : 2 + m_random.below(12);
        for (int i = 0; i < length; ++i) name += letters[m_random.below(sizeof letters - 1)];
        if (isFile && m_random.below(5) != 0) {
            name += '.';
            name += extensions[m_random.below(std::size(extensions))];
        }
        return name;
    }

    Random m_random;
};

bool ensureTree() {
    if (::access(markerPath.c_str(), F_OK) == 0) return true;
    std::printf("building the benchmark tree under %s (once)...\n", treeFolder.c_str());
    std::fflush(stdout);
    [[maybe_unused]] int removed = std::system(("rm -rf '" + benchFolder + "'").c_str());
    if (::mkdir(benchFolder.c_str(), 0755) != 0 || ::mkdir(treeFolder.c_str(), 0755) != 0) return false;
    const int root = ::open(treeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return false;
    TreeBuilder builder;
    builder.fill(root, 0);
    ::close(root);
    std::ofstream(markerPath) << builder.entries << " entries, " << builder.hardLinks << " hard links, "
                              << builder.symlinks << " symbolic links, " << builder.deepest << " levels\n";
    return true;
}


std::int64_t statusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(field)) return std::atoll(line.c_str() + std::strlen(field));
    return 0;
}

// The child: one scan in a fresh process, so its peak resident size is the scan's alone.
int scanChild(const char* path) {
    const std::int64_t baseline = statusKilobytes("VmRSS:");
    ScanProgress progress;
    ScanOptions options;
    options.includeHidden = true;
    // As the window scans: the places looked at first, and the tree marked with them.
    options.places = Places::lookAt(Places::Sources::current());
    const auto start = std::chrono::steady_clock::now();
    auto root = DiskScanner::scan(path, options, progress);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!root) return 1;
    const std::int64_t peak = statusKilobytes("VmHWM:");
    // Every folder's sums, made by the scan threads as the folders finished, against its children's.
    std::int64_t nodes = 0, wrongSums = 0;
    root->walk([&](const FileNode& node) {
        ++nodes;
        if (!node.isDirectory || !node.hasChildList()) return true;
        std::int64_t size = 0, allocated = 0, files = 0, folders = 0;
        for (const FileNode* child : node.children()) {
            size += child->size;
            allocated += child->allocated;
            files += child->fileCount;
            if (child->isDirectory) folders += 1 + child->folderCount;
        }
        wrongSums += size != node.size || allocated != node.allocated || files != node.fileCount ||
                     folders != node.folderCount;
        return true;
    });
    std::printf("%lld %.6f %lld %lld %lld %lld %lld\n", static_cast<long long>(nodes), seconds,
                static_cast<long long>(peak), static_cast<long long>(baseline), static_cast<long long>(root->allocated),
                static_cast<long long>(root->fileCount), static_cast<long long>(wrongSums));
    std::fflush(stdout);
    _exit(0); // the tree is freed with the process
}

int bareChild(const char* path) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    const bench::BareTotals totals =
        bench::bareWalk(path, DiskScanner::threadCount(DiskScanner::activeProcessors()));
    std::printf("%lld %lld\n", static_cast<long long>(totals.allocated), static_cast<long long>(totals.files));
    std::fflush(stdout);
    _exit(0);
}

struct Figures {
    std::vector<double> wall, cpu;
    void add(const Timed& timed) {
        wall.push_back(timed.wall);
        cpu.push_back(timed.cpu);
    }
};

// The scanner called in a process of its own: nodes, memory and totals.
struct ChildReport {
    long long nodes = 0, allocated = -1, files = -1, wrongSums = -1;
    double seconds = 0, bytesPerNode = 0, bytesPerNodeAboveBaseline = 0;
};

std::optional<ChildReport> runChild(const std::string& self, const std::string& tree) {
    std::string report;
    if (!runTimed({self, "--child", tree}, &report)) return std::nullopt;
    ChildReport child;
    long long peak = 0, baseline = 0;
    std::istringstream(report) >> child.nodes >> child.seconds >> peak >> baseline >> child.allocated >> child.files >>
        child.wrongSums;
    if (child.nodes <= 0) return std::nullopt;
    child.bytesPerNode = static_cast<double>(peak) * 1024.0 / static_cast<double>(child.nodes);
    child.bytesPerNodeAboveBaseline = static_cast<double>(peak - baseline) * 1024.0 / static_cast<double>(child.nodes);
    return child;
}

void dropCaches() {
    ::sync();
    std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
}

void printRatio(const char* label, const Figures& ours, const Figures& other, const char* target) {
    std::printf("%-20s %8.3f s wall %7.3f s CPU  ratio tallymere/this: wall %.2f, CPU %.2f%s\n", label,
                median(other.wall), median(other.cpu), median(ours.wall) / median(other.wall),
                median(ours.cpu) / median(other.cpu), target);
}

// Races `tallymere --scan` against the bare walk and the peers on one tree, run by run in turn;
// prints the medians and ratios, then the in-process scanner's figures. Cold: the page cache is
// dropped before every run of every program, and `other` (another tallymere) joins the race.
void race(const std::string& self, const std::string& tallymere, const std::string& tree, int runs, bool cold,
          const std::string& other, const char* bareTarget = "  (targets: wall at most 1.25, CPU at most 1.2)") {
    const std::vector<std::string> ours = {tallymere, "--scan", tree};
    const std::vector<std::string> bare = {self, "--bare", tree};
    const std::vector<std::string> previous = {other, "--scan", tree};
    const std::vector<std::string> gdu = {"gdu", "-n", "-p", tree};
    const std::vector<std::string> du = {"du", "-s", tree};

    // Warm the caches with one run of each, then alternate the programs run by run.
    const bool peers = !cold && other.empty();
    const bool haveGdu = peers && runTimed(gdu).has_value();
    const bool haveDu = peers && runTimed(du).has_value();
    const bool haveOther = !other.empty() && runTimed(previous).has_value();
    runTimed(ours);
    runTimed(bare);
    Figures oursTimes, bareTimes, otherTimes, gduTimes, duTimes;
    const auto timeOne = [&](const std::vector<std::string>& command, Figures& figures, std::string* output) {
        if (cold) dropCaches();
        if (auto timed = runTimed(command, output)) figures.add(*timed);
    };
    long long bareAllocated = -2, bareFiles = -2;
    for (int run = 0; run < runs; ++run) {
        timeOne(ours, oursTimes, nullptr);
        std::string bareReport;
        timeOne(bare, bareTimes, &bareReport);
        std::istringstream(bareReport) >> bareAllocated >> bareFiles;
        if (haveOther) timeOne(previous, otherTimes, nullptr);
        if (haveGdu) timeOne(gdu, gduTimes, nullptr);
        if (haveDu) timeOne(du, duTimes, nullptr);
    }
    if (oursTimes.wall.empty() || bareTimes.wall.empty()) {
        std::printf("%s: tallymere --scan or the bare walk failed\n", tree.c_str());
        return;
    }
    std::printf("== %s, %s cache, runs %d (medians of whole processes)\n", tree.c_str(), cold ? "cold" : "warm", runs);
    std::printf("%-20s %8.3f s wall %7.3f s CPU\n", "tallymere --scan", median(oursTimes.wall), median(oursTimes.cpu));
    printRatio("bare walk", oursTimes, bareTimes, bareTarget);
    if (haveOther) printRatio(other.c_str(), oursTimes, otherTimes, "");
    if (!gduTimes.wall.empty()) printRatio("gdu -n -p", oursTimes, gduTimes, "  (target: wall at most 0.70)");
    if (!duTimes.wall.empty()) printRatio("du -s", oursTimes, duTimes, "");
    if (cold) return;

    // The scanner in a process of its own: speed of the call, memory, and every total exact.
    std::vector<double> seconds, perNode, perNodeAboveBaseline;
    ChildReport last;
    for (int run = 0; run < std::max(3, runs / 2); ++run) {
        const auto child = runChild(self, tree);
        if (!child) continue;
        last = *child;
        seconds.push_back(child->seconds);
        perNode.push_back(child->bytesPerNode);
        perNodeAboveBaseline.push_back(child->bytesPerNodeAboveBaseline);
        if (child->wrongSums != 0 || child->allocated != bareAllocated || child->files != bareFiles) break;
    }
    if (seconds.empty()) {
        std::printf("the scanner in a process of its own failed\n");
        return;
    }
    std::printf("scan call alone      %8.3f s (%.0f nodes/s, %lld nodes)\n", median(seconds),
                static_cast<double>(last.nodes) / median(seconds), last.nodes);
    std::printf("totals               %s (allocated %lld / %lld bytes, files %lld / %lld); folder sums made by the "
                "scan threads: %s\n",
                last.allocated == bareAllocated && last.files == bareFiles ? "equal" : "DIFFER", last.allocated,
                bareAllocated, last.files, bareFiles,
                last.wrongSums == 0 ? "all exact" : (std::to_string(last.wrongSums) + " WRONG").c_str());
    std::printf("memory               %.1f bytes/node peak resident (target at most 112); %.1f above the process's "
                "resident size before the scan\n",
                median(perNode), median(perNodeAboveBaseline));
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return scanChild(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "--bare") == 0) return bareChild(argv[2]);
    const bool cold = argc >= 2 && std::strcmp(argv[1], "--cold") == 0;
    const bool fuse = argc >= 2 && std::strcmp(argv[1], "--fuse") == 0;
    const int first = cold || fuse ? 2 : 1;
    const int runs = argc > first ? std::max(1, std::atoi(argv[first])) : 5;
    const std::string other = (cold || fuse) && argc > first + 1 ? argv[first + 1] : "";
    if (cold && ::geteuid() != 0) {
        std::fprintf(stderr, "dropping the page cache needs root\n");
        return 1;
    }
    if (!ensureTree()) {
        std::fprintf(stderr, "cannot build the benchmark tree under %s\n", benchFolder.c_str());
        return 1;
    }
    {
        std::ifstream marker(markerPath);
        std::string description;
        std::getline(marker, description);
        std::printf("tree: %s (%s)\n", treeFolder.c_str(), description.c_str());
    }
    char selfPath[4096] = {};
    if (::readlink("/proc/self/exe", selfPath, sizeof selfPath - 1) <= 0) return 1;
    const std::string self = selfPath;
    const std::string tallymere = self.substr(0, self.rfind('/')) + "/tallymere";
    double load[3] = {};
    ::getloadavg(load, 3);
    std::printf("processors %d, scan threads at most %d, load average %.1f %.1f %.1f; %s\n",
                DiskScanner::activeProcessors(), DiskScanner::threadCount(DiskScanner::activeProcessors()), load[0],
                load[1], load[2], tallymere.c_str());
    if (fuse) {
        const std::string view = "/tmp/tallymere-bench-fuse";
        ::mkdir(view.c_str(), 0755);
        const std::vector<std::string> mount = {"bindfs", treeFolder, view};
        if (!runTimed(mount)) {
            std::fprintf(stderr, "cannot mount the tree through bindfs on %s (install bindfs; needs root)\n", view.c_str());
            return 1;
        }
        race(self, tallymere, view, runs, false, other, "  (target: wall at most 1.5)");
        runTimed({"umount", view});
        return 0;
    }
    race(self, tallymere, treeFolder, runs, cold, other);
    race(self, tallymere, "/usr", runs, cold, other);
    return 0;
}
