// Snapshot tab benchmark: what the tab does on the main thread when it appears and when it pairs.
// Loads a folder of 200 stored snapshots of 5,000 entries each (target at most 300 ms) and compares
// two of them (target at most 20 ms). The folder is written once under /tmp and reused.
//
//   SnapshotTabBench [runs]   median of `runs` (5) warm loads and comparisons
#include "Stats.h"
#include "services/SnapshotStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace tallymere;

namespace {

using tallymere::bench::median;

const std::string folder = "/tmp/tallymere-snapshot-bench/Snapshots";
const std::string marker = "/tmp/tallymere-snapshot-bench/complete-v1";
constexpr int snapshotCount = 200;
constexpr int entryCount = 5000;

// One scan shape: a root, 50 folders of 99 files, sizes drifting from snapshot to snapshot so that
// comparisons find changes on every level.
Snapshot make(int index) {
    Snapshot snapshot;
    snapshot.id = Uuid::random();
    snapshot.createdAt = 1.7e9 + index * 86400.0;
    snapshot.rootPath = "/home/user";
    snapshot.title = "user";
    snapshot.entries.reserve(entryCount);
    snapshot.entries.push_back({"/home/user", 0, 0, true});
    std::int64_t total = 0;
    for (int folderIndex = 0; folderIndex < 50; ++folderIndex) {
        const std::string parent = "/home/user/Projects/folder-" + std::to_string(folderIndex);
        const std::size_t folderEntry = snapshot.entries.size();
        snapshot.entries.push_back({parent, 0, 99, true});
        std::int64_t folderSize = 0;
        for (int file = 0; file < 99; ++file) {
            const std::int64_t size = 5000000 + (static_cast<std::int64_t>(file * 7919 + folderIndex * 104729) % 50000000) +
                                      static_cast<std::int64_t>(index) * (file % 5) * 3000000;
            snapshot.entries.push_back({parent + "/file-" + std::to_string(file) + ".bin", size, 1, false});
            folderSize += size;
        }
        snapshot.entries[folderEntry].size = folderSize;
        total += folderSize;
    }
    snapshot.entries.front().size = total;
    snapshot.entries.front().files = 50 * 99;
    snapshot.totalSize = total;
    snapshot.totalFiles = 50 * 99;
    return snapshot;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
    if (!std::filesystem::exists(marker)) {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
        for (int i = 0; i < snapshotCount; ++i) SnapshotStore::save(make(i), folder);
        std::ofstream(marker) << snapshotCount << " snapshots of " << entryCount << " entries\n";
    }

    std::vector<double> loads, compares;
    std::size_t loaded = 0, changes = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        const auto snapshots = SnapshotStore::load(folder);
        loads.push_back(millisecondsSince(start));
        loaded = snapshots.size();
        if (snapshots.size() < 2) return 1;
        start = std::chrono::steady_clock::now();
        const auto deltas = SnapshotStore::diff(snapshots[1], snapshots[0], 10000000);
        compares.push_back(millisecondsSince(start));
        changes = deltas.size();
    }
    std::printf("load      %8.1f ms  %zu snapshots of %d entries (target at most 300 ms)\n", median(loads), loaded,
                entryCount);
    std::printf("compare   %8.2f ms  %zu changes of at least 10 MB between two of them (target at most 20 ms)\n",
                median(compares), changes);
    return 0;
}
