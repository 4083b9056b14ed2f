// Trash benchmark: TrashService::trashScanned moving 1,000 files of a scanned folder to the home
// Trash, as the cleanup bar's Move to Trash does (each item checked against what the scan saw, its
// folder reached without a link, its info file claimed, then renamed), and the same files looked at
// once each through the gate (a stat, as the preview and the opener begin).
//
//   TrashBench [runs]   median of `runs` (default 9) rounds of 1,000 moves; the files are made
//                       anew before each round, outside the time
#include "Stats.h"

#include "core/DiskScanner.h"
#include "platform/PathGate.h"
#include "services/TrashService.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

using namespace tallymere;
namespace fs = std::filesystem;

namespace {

constexpr int items = 1000;

double secondsOf(const auto& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const fs::path root = fs::temp_directory_path() / "tallymere-trash-bench";
    fs::remove_all(root);
    fs::create_directories(root / "data");
    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    std::printf("moving %d files of a scanned folder to the home Trash; median of %d rounds\n", items, runs);

    std::vector<double> moves, looks;
    for (int run = 0; run < runs; ++run) {
        fs::remove_all(root / "items");
        fs::remove_all(root / "data" / "Trash");
        fs::create_directories(root / "items");
        for (int i = 0; i < items; ++i) std::ofstream(root / "items" / ("f" + std::to_string(i))) << "x";
        ScanProgress progress;
        const std::shared_ptr<FileNode> tree = DiskScanner::scan((root / "items").string(), {}, progress);
        std::vector<std::string> paths;
        std::unordered_map<std::string, FreedesktopTrash::Identity> identities;
        for (const FileNode* child : tree->children()) {
            paths.push_back(child->path());
            identities.emplace(paths.back(), *TrashService::identityOf(*child));
        }
        looks.push_back(secondsOf([&] {
            for (const std::string& path : paths)
                if (PathGate::stat(path).error) std::abort();
        }));
        TrashService::Outcome outcome;
        moves.push_back(secondsOf([&] { outcome = TrashService::trashScanned(paths, {}, identities); }));
        if (outcome.trashed.size() != paths.size()) {
            std::fprintf(stderr, "only %zu of %zu moved\n", outcome.trashed.size(), paths.size());
            return 1;
        }
    }
    const double move = bench::median(moves), look = bench::median(looks);
    std::printf("%-34s %8.1f ms  %8.1f us an item\n", "Move to Trash (1,000 files)", move * 1e3, move * 1e6 / items);
    std::printf("%-34s %8.2f ms  %8.2f us an item\n", "a look through the gate (1,000)", look * 1e3, look * 1e6 / items);
    fs::remove_all(root);
    return 0;
}
