// Snapshot tab benchmark: what the tab does when it appears and when it pairs. Loads a folder of
// 200 stored snapshots of 5,000 entries each (target at most 300 ms) and compares two of them
// (target at most 20 ms); then, in a process of its own, lists a folder holding one hostile file:
// a snapshot of 5,000 entries followed by an unknown key holding 60 MB of empty objects, its time
// and the memory it took above the process's before (target at most three times the file). The
// folders are written once under /tmp and reused.
//
//   SnapshotTabBench [runs]   median of `runs` (5) warm loads and comparisons
#include "Stats.h"
#include "services/SnapshotCodec.h"
#include "services/SnapshotStore.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
const std::string hostileFolder = "/tmp/tallymere-snapshot-bench/Hostile";
constexpr std::size_t hostileBytes = 60'000'000;
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

// The hostile file: a real snapshot, then "junk" holding empty objects up to hostileBytes.
void writeHostileFile() {
    const std::string file = hostileFolder + "/hostile.json";
    if (std::filesystem::exists(file)) return;
    std::filesystem::create_directories(hostileFolder);
    std::string text = SnapshotCodec::encode(make(0));
    text.pop_back(); // the closing brace
    text += ",\"junk\":[";
    while (text.size() + 4 < hostileBytes) text += "{},";
    text += "{}]}";
    std::ofstream(file, std::ios::binary) << text;
}

// Peak resident kilobytes of this process so far.
long peakKilobytes() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Lists the hostile folder in a child, so its peak is the listing's own; prints time and memory.
void listHostileFolder() {
    writeHostileFile();
    const auto fileBytes = static_cast<double>(std::filesystem::file_size(hostileFolder + "/hostile.json"));
    int report[2];
    if (::pipe(report) != 0) return;
    const pid_t child = ::fork();
    if (child == 0) {
        const long before = peakKilobytes();
        const auto start = std::chrono::steady_clock::now();
        const std::size_t listed = SnapshotStore::load(hostileFolder).size();
        const double figures[3] = {millisecondsSince(start), static_cast<double>(peakKilobytes() - before) * 1024,
                                   static_cast<double>(listed)};
        [[maybe_unused]] const ssize_t sent = ::write(report[1], figures, sizeof figures);
        ::_exit(0);
    }
    ::close(report[1]);
    double figures[3] = {};
    const bool got = ::read(report[0], figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
    ::close(report[0]);
    ::waitpid(child, nullptr, 0);
    if (!got) return;
    std::printf("hostile   %8.1f ms  a %.0f MB file listed as %.0f snapshot; %.0f MB above the process before, "
                "%.2f times the file (target at most 3)\n",
                figures[0], fileBytes / 1e6, figures[2], figures[1] / 1e6, figures[1] / fileBytes);
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
    listHostileFolder();
    return 0;
}
