// The 1,000,000-node tree the filter and preset benchmarks walk, shared by both programs.
//
// On disk under /tmp/tallymere-bench-1m (built once, reused while its marker exists): 100 folders
// of 100 folders of 99 files, 990,000 files and 10,101 folders (1,000,101 nodes), with logical sizes given by
// ftruncate (no blocks), spread modification times and a realistic mix of extensions and the folder
// names cleanup presets look for. The scanner reads it back; the benchmarks then time their engine
// on the scanned tree against the scanner's own time for it.
#pragma once
#include "core/DiskScanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tallymere::bench {

inline const std::string millionFolder = "/tmp/tallymere-bench-1m";
inline const std::string millionTree = millionFolder + "/tree";

constexpr int topFolders = 100;
constexpr int subFolders = 100;
constexpr int filesPerFolder = 99;

inline std::string subFolderName(int j) {
    // A few of the names cleanup presets match, so the preset walk prunes and collects as it would
    // on a developer's disk.
    switch (j) {
    case 7: return "node_modules";
    case 13: return "build";
    case 21: return "Caches";
    case 34: return "Logs";
    case 55: return "Downloads";
    default: return "dir" + std::to_string(j);
    }
}

inline std::string fileName(int k) {
    static const char* const extensions[] = {"txt", "jpg", "mp4", "log", "js",  "pdf",  "json", "c",
                                             "png", "mp3", "zip", "h",   "iso", "html", "md",   "mov"};
    return (k % 9 == 0 ? "Photo_" : "file_") + std::to_string(k) + "." + extensions[k % 16];
}

inline std::int64_t fileSize(int i, int j, int k) {
    const std::uint64_t h = (static_cast<std::uint64_t>(i) * 1000003u + static_cast<std::uint64_t>(j) * 10007u +
                             static_cast<std::uint64_t>(k) * 101u) * 0x9E3779B97F4A7C15ull;
    const int magnitude = static_cast<int>((h >> 40) % 7); // 1 B .. 1 MB
    std::int64_t size = 1;
    for (int m = 0; m < magnitude; ++m) size *= 10;
    return size * static_cast<std::int64_t>(1 + (h >> 20) % 9);
}

inline double fileTime(int i, int j, int k) {
    return 1500000000.0 + ((i * 7919 + j * 104729 + k * 1299709) % 200000000);
}

// Builds the tree's shape with `tops` top folders as `folder`/tree, once: nothing is done while
// `folder`/complete-v2 exists.
inline bool buildTreeOnDisk(const std::string& folder, int tops) {
    const std::string treeFolder = folder + "/tree";
    const std::string marker = folder + "/complete-v2";
    struct stat info {};
    if (stat(marker.c_str(), &info) == 0) return true;
    std::fprintf(stderr, "building %s (once)...\n", treeFolder.c_str());
    std::string command = "rm -rf '" + folder + "'";
    if (std::system(command.c_str()) != 0) return false;
    if (mkdir(folder.c_str(), 0755) != 0 || mkdir(treeFolder.c_str(), 0755) != 0) return false;
    for (int i = 0; i < tops; ++i) {
        const std::string top = treeFolder + "/top" + std::to_string(i);
        if (mkdir(top.c_str(), 0755) != 0) return false;
        for (int j = 0; j < subFolders; ++j) {
            const std::string folder = top + "/" + subFolderName(j);
            if (mkdir(folder.c_str(), 0755) != 0) return false;
            const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dirFd < 0) return false;
            for (int k = 0; k < filesPerFolder; ++k) {
                const std::string name = fileName(k);
                const int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (fd < 0) {
                    close(dirFd);
                    return false;
                }
                [[maybe_unused]] int truncated = ftruncate(fd, fileSize(i, j, k));
                const double when = fileTime(i, j, k);
                const timespec times[2] = {{static_cast<time_t>(when), 0}, {static_cast<time_t>(when), 0}};
                futimens(fd, times);
                close(fd);
            }
            close(dirFd);
        }
    }
    const int done = open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (done < 0) return false;
    close(done);
    return true;
}

inline bool buildMillionTreeOnDisk() { return buildTreeOnDisk(millionFolder, topFolders); }

// The disk tree's shape in memory, `tops` top folders of it, named `rootName`. Sizes on disk are
// none, as ftruncate gives the disk tree, unless `withAllocated` rounds each size up to 4 KiB blocks.
inline std::shared_ptr<FileTree> buildTreeInMemory(const std::string& rootName, int tops, bool withAllocated) {
    auto tree = std::make_shared<FileTree>();
    NodeArena& arena = tree->arena;
    FileNode* root = arena.makeNode(rootName, true, FileCategory::folder);
    std::vector<FileNode*> topNodes, subs, files;
    for (int i = 0; i < tops; ++i) {
        FileNode* top = arena.makeNode("top" + std::to_string(i), true, FileCategory::folder);
        subs.clear();
        for (int j = 0; j < subFolders; ++j) {
            bool isPackage = false;
            const std::string name = subFolderName(j);
            FileNode* sub = arena.makeNode(name, true, classifyDirectory(name, isPackage));
            sub->isPackage = isPackage;
            files.clear();
            for (int k = 0; k < filesPerFolder; ++k) {
                const std::string fileNameText = fileName(k);
                FileNode* file = arena.makeNode(fileNameText, false, classifyFile(fileNameText));
                file->size = fileSize(i, j, k);
                file->allocated = withAllocated ? (file->size + 4095) / 4096 * 4096 : 0;
                file->modified = fileTime(i, j, k);
                file->fileCount = 1;
                files.push_back(file);
            }
            arena.setChildren(*sub, files);
            subs.push_back(sub);
        }
        arena.setChildren(*top, subs);
        topNodes.push_back(top);
    }
    arena.setChildren(*root, topNodes);
    rollup(*root);
    assignDepth(*root, 0);
    tree->root = root;
    return tree;
}

// The same shape in memory, for when the disk tree cannot be scanned.
inline std::shared_ptr<FileNode> buildMillionTreeInMemory() {
    return shareRoot(buildTreeInMemory(millionTree, topFolders, false));
}

inline double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best of `runs`: the least disturbed measurement on a shared machine.
inline double bestOf(int runs, const std::function<void()>& work) {
    double best = 1e30;
    for (int r = 0; r < runs; ++r) best = std::min(best, secondsOf(work));
    return best;
}

inline std::int64_t nodeCount(const FileNode& root) {
    std::int64_t count = 0;
    root.walk([&](const FileNode&) {
        ++count;
        return true;
    });
    return count;
}

struct MillionTree {
    std::shared_ptr<FileNode> root;
    std::int64_t nodes = 0;
    double scanSeconds = 0; // 0 when the tree was built in memory
};

// The number of runs a benchmark takes from its first argument (default 3).
inline int runsFrom(int argc, char** argv) {
    return argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
}

// Scans the disk tree (best of `runs` warm scans) or, failing that, builds it in memory, and prints
// its node count and the scan's time.
inline MillionTree loadMillionTree(int runs) {
    MillionTree result;
    if (buildMillionTreeOnDisk()) {
        ScanOptions options;
        options.includeHidden = true;
        options.useAllocatedSize = true;
        result.scanSeconds = bestOf(runs, [&] {
            ScanProgress progress;
            result.root = DiskScanner::scan(millionTree, options, progress);
        });
    }
    if (!result.root) {
        std::fprintf(stderr, "the disk tree could not be scanned; using the in-memory tree\n");
        result.scanSeconds = 0;
        result.root = buildMillionTreeInMemory();
    }
    result.nodes = nodeCount(*result.root);
    std::printf("tree: %lld nodes\n", static_cast<long long>(result.nodes));
    if (result.scanSeconds > 0) std::printf("%-34s %8.3f s\n", "scan (DiskScanner, warm)", result.scanSeconds);
    else std::printf("scan (DiskScanner): not measured, tree built in memory\n");
    return result;
}

// Prints how an engine's time compares with the scan's, when the scan was measured.
inline void compareWithScan(const char* engine, double seconds, const MillionTree& tree) {
    if (tree.scanSeconds > 0)
        std::printf("%s / scan: %.2f (%s)\n", engine, seconds / tree.scanSeconds,
                    seconds < tree.scanSeconds ? "under the scan" : "OVER the scan");
}

} // namespace tallymere::bench
