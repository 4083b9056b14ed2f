// Times `tallymere --scan TREE` (a whole process: start-up, scan, summary, exit) against
// DiskScanner::scan of the same tree called in this process. The command line should cost the scan
// plus a small constant.
//
//   CliBench [TREE] [BINARY] [RUNS]
//
// TREE defaults to the scanner benchmark's tree, /tmp/tallymere-bench-tree, and when that is missing
// to a tree of this program's own (built once, deterministic, 512,000 files in 2,080 folders).
// BINARY defaults to the tallymere program beside this one.
#include "Stats.h"
#include "core/DiskScanner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using tallymere::bench::median;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* sharedTree = "/tmp/tallymere-bench-tree";
constexpr const char* ownTree = "/tmp/tallymere-cli-bench-tree";

// 32 top folders, 64 subfolders each, 250 files each; sizes set by truncation, so no blocks are used.
void buildOwnTree(const fs::path& root) {
    if (fs::exists(root / ".complete")) return;
    std::fprintf(stderr, "building %s ...\n", root.c_str());
    fs::remove_all(root);
    for (int top = 0; top < 32; ++top) {
        for (int sub = 0; sub < 64; ++sub) {
            const fs::path folder = root / ("t" + std::to_string(top)) / ("s" + std::to_string(sub));
            fs::create_directories(folder);
            for (int file = 0; file < 250; ++file) {
                const std::string name = folder / ("f" + std::to_string(file) + (file % 3 ? ".txt" : ".jpg"));
                const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (fd < 0) {
                    std::perror(name.c_str());
                    std::exit(1);
                }
                if (::ftruncate(fd, (top * 7919 + sub * 104729 + file * 1299709) % 5000000) != 0) std::perror("ftruncate");
                ::close(fd);
            }
        }
    }
    std::fclose(std::fopen((root / ".complete").c_str(), "w"));
}

double scanInProcess(const std::string& tree) {
    tallymere::ScanProgress progress;
    tallymere::ScanOptions options;
    options.includeHidden = true;
    options.useAllocatedSize = true;
    const auto start = Clock::now();
    auto root = tallymere::DiskScanner::scan(tree, options, progress);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!root) {
        std::fprintf(stderr, "cannot scan %s\n", tree.c_str());
        std::exit(1);
    }
    return seconds;
}

double scanByCommand(const std::string& binary, const std::string& tree) {
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execl(binary.c_str(), binary.c_str(), "--scan", tree.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s --scan %s failed (status %d)\n", binary.c_str(), tree.c_str(), status);
        std::exit(1);
    }
    return seconds;
}

// The scanner's time in a fresh process: the first scan there pays for touching new memory, as the
// command's scan does.
double scanInFreshProcess(const std::string& tree) {
    int channel[2];
    if (::pipe(channel) != 0) std::exit(1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const double seconds = scanInProcess(tree);
        if (::write(channel[1], &seconds, sizeof seconds) != sizeof seconds) ::_exit(1);
        ::_exit(0);
    }
    ::close(channel[1]);
    double seconds = 0;
    if (::read(channel[0], &seconds, sizeof seconds) != sizeof seconds) std::exit(1);
    ::close(channel[0]);
    ::waitpid(pid, nullptr, 0);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    std::string tree = argc > 1 ? argv[1] : "";
    if (tree.empty()) {
        tree = fs::exists(sharedTree) ? sharedTree : ownTree;
        if (tree == ownTree) buildOwnTree(ownTree);
    }
    std::string binary = argc > 2 ? argv[2] : "";
    if (binary.empty()) binary = (fs::read_symlink("/proc/self/exe").parent_path() / "tallymere").string();
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

    // Warm the caches first: both sides then read from memory.
    scanInProcess(tree);
    scanByCommand(binary, tree);

    std::vector<double> direct, fresh, command;
    for (int i = 0; i < runs; ++i) { // interleaved, so a load change on the machine hits all three
        direct.push_back(scanInProcess(tree));
        fresh.push_back(scanInFreshProcess(tree));
        command.push_back(scanByCommand(binary, tree));
    }
    const double d = median(direct), f = median(fresh), c = median(command);
    std::printf("tree %s, %d runs, medians (warm cache)\n", tree.c_str(), runs);
    std::printf("  DiskScanner::scan       %.3f s\n", d);
    std::printf("  same, in a new process  %.3f s\n", f);
    std::printf("  tallymere --scan        %.3f s\n", c);
    std::printf("  ratio to the warm scan  %.3f (target at most 1.10)\n", c / d);
    std::printf("  ratio to the new-process scan %.3f\n", c / f);
    return 0;
}
