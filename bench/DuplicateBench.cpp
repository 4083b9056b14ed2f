// Duplicate benchmark: scan plus search against `jdupes -r`, `rmlint` and `fdupes -r` on one warm
// generated tree (over 100,000 files, about 2 GiB: groups of 2 to 10 copies from 1 KiB to 64 MiB,
// same-size files that differ, some only in their middle, and files of sizes of their own). Every
// tool must report the same groups; the figures are median wall times of whole processes.
//
//   DuplicateBench [runs]        build the tree once (cached), then time each tool `runs` times (3)
//   DuplicateBench --child PATH  scan and search PATH in this process; print the groups and figures
//
// The tree lives under /tmp/tallymere-dup-bench and is rebuilt only when its marker is missing.
#include "ProcessTimer.h"
#include "core/DiskScanner.h"
#include "services/DuplicateFinder.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>


using namespace tallymere;
using tallymere::bench::median;
using tallymere::bench::runTimed;

namespace {

const std::string benchFolder = "/tmp/tallymere-dup-bench";
const std::string treeFolder = benchFolder + "/tree";
const std::string markerPath = benchFolder + "/complete-v1";

struct Random {
    std::uint64_t state = 0xD0B1E5ull;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    // Log-uniform between lo and hi bytes.
    std::int64_t logSize(double lo, double hi) {
        const double u = static_cast<double>(next() >> 11) / 9007199254740992.0;
        return static_cast<std::int64_t>(lo * std::pow(hi / lo, u));
    }
};

void fill(std::vector<char>& buffer, std::size_t bytes, std::uint64_t seed) {
    buffer.resize(bytes);
    Random random{seed * 0x9E3779B97F4A7C15ull + 7};
    std::size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        const std::uint64_t word = random.next();
        std::memcpy(buffer.data() + i, &word, 8);
    }
    for (; i < bytes; ++i) buffer[i] = static_cast<char>(random.next());
}

bool writeFile(const std::string& path, const std::vector<char>& data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return done == data.size();
}

class TreeWriter {
public:
    std::int64_t files = 0, bytes = 0, groups = 0;

    TreeWriter() {
        for (int a = 0; a < 20; ++a)
            for (int b = 0; b < 20; ++b) {
                const std::string folder = treeFolder + "/d" + std::to_string(a) + "/s" + std::to_string(b);
                std::filesystem::create_directories(folder);
                m_folders.push_back(folder);
            }
    }

    // One content written `copies` times, each copy in a random folder.
    bool place(const std::vector<char>& data, int copies) {
        for (int c = 0; c < copies; ++c) {
            const std::string path =
                m_folders[m_random.below(m_folders.size())] + "/f" + std::to_string(files) + ".bin";
            if (!writeFile(path, data)) return false;
            ++files;
            bytes += static_cast<std::int64_t>(data.size());
        }
        return true;
    }

    bool build() {
        std::vector<char> data;
        std::uint64_t seed = 1;
        // Large groups, 1 to 64 MiB.
        for (double mib : {64.0, 48.0, 32.0, 24.0, 16.0, 12.0, 8.0, 6.0, 4.0, 3.0, 2.0, 1.5, 1.0}) {
            fill(data, static_cast<std::size_t>(mib * 1048576), seed++);
            if (!place(data, 2 + static_cast<int>(m_random.below(3)))) return false;
            ++groups;
        }
        // Large same-size files that differ only in their middle: same sample, other content.
        for (int pair = 0; pair < 3; ++pair) {
            fill(data, 20 * 1048576 + static_cast<std::size_t>(pair), seed++);
            if (!place(data, 1)) return false;
            data[data.size() / 2] ^= 1;
            if (!place(data, 1)) return false;
        }
        // Small groups of 2 to 10 copies, 1 KiB to 64 KiB.
        for (int g = 0; g < 9000; ++g) {
            fill(data, static_cast<std::size_t>(m_random.logSize(1024, 65536)), seed++);
            if (!place(data, 2 + static_cast<int>(m_random.below(9)))) return false;
            ++groups;
        }
        // Same-size non-duplicates: pairs of one size, other content.
        for (int pair = 0; pair < 8000; ++pair) {
            const auto size = static_cast<std::size_t>(m_random.logSize(1024, 262144));
            fill(data, size, seed++);
            if (!place(data, 1)) return false;
            data[m_random.below(size)] ^= 0x5A;
            if (!place(data, 1)) return false;
        }
        // Files of a size of their own.
        while (files < 102000) {
            fill(data, static_cast<std::size_t>(m_random.logSize(1024, 65536)), seed++);
            if (!place(data, 1)) return false;
        }
        return true;
    }

private:
    Random m_random;
    std::vector<std::string> m_folders;
};

bool ensureTree() {
    if (std::filesystem::exists(markerPath)) return true;
    std::error_code error;
    std::filesystem::remove_all(benchFolder, error);
    TreeWriter writer;
    std::fprintf(stderr, "building the duplicate tree under %s ...\n", treeFolder.c_str());
    if (!writer.build()) return false;
    std::ofstream(markerPath) << writer.files << " files, " << writer.bytes << " bytes, " << writer.groups
                              << " duplicate groups\n";
    return true;
}


std::int64_t statusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(field)) return std::atoll(line.c_str() + std::strlen(field));
    return 0;
}

// Groups as the tools print them: one path a line, a blank line between groups. Lines that are not
// paths of the tree (headers, summaries) are ignored.
using GroupSet = std::set<std::set<std::string>>;
GroupSet parseGroups(const std::string& text) {
    GroupSet groups;
    std::set<std::string> current;
    std::istringstream lines(text);
    std::string line;
    auto flush = [&] {
        if (current.size() > 1) groups.insert(current);
        current.clear();
    };
    while (std::getline(lines, line)) {
        if (line.empty()) {
            flush();
            continue;
        }
        if (line.starts_with(treeFolder + "/")) current.insert(line);
    }
    flush();
    return groups;
}

// The child: scan and search in a fresh process; the groups first, then a blank line and
// "figures scanSeconds searchSeconds candidates peakKB beforeSearchKB".
int searchChild(const char* path) {
    const auto start = std::chrono::steady_clock::now();
    ScanProgress scanProgress;
    ScanOptions options;
    options.includeHidden = true;
    auto root = DiskScanner::scan(path, options, scanProgress);
    if (!root) return 1;
    const auto scanned = std::chrono::steady_clock::now();
    const std::int64_t beforeSearch = statusKilobytes("VmRSS:");
    DuplicateFinder::Progress progress;
    const auto groups = DuplicateFinder::find(root, 1, progress);
    const auto searched = std::chrono::steady_clock::now();
    std::string out;
    for (const auto& group : groups) {
        for (const auto& file : group.files) out += file->path() + '\n';
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    // Candidates of the sampling stage: the files that share their size with another.
    std::unordered_map<std::int64_t, int> sizes;
    root->walk([&](const FileNode& node) {
        if (!node.isDirectory) ++sizes[node.size];
        return node.isDirectory;
    });
    std::int64_t candidates = 0;
    for (const auto& [size, count] : sizes)
        if (count > 1) candidates += count;
    std::printf("\nfigures %.6f %.6f %lld %lld %lld\n", std::chrono::duration<double>(scanned - start).count(),
                std::chrono::duration<double>(searched - scanned).count(), static_cast<long long>(candidates),
                static_cast<long long>(statusKilobytes("VmHWM:")), static_cast<long long>(beforeSearch));
    std::fflush(stdout);
    _exit(0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return searchChild(argv[2]);
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
    if (!ensureTree()) {
        std::fprintf(stderr, "cannot build the duplicate tree under %s\n", benchFolder.c_str());
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

    struct Tool {
        std::string name;
        std::vector<std::string> command;
        std::vector<double> times;
        bool available = true;
    };
    std::vector<Tool> tools = {
        {"tallymere", {selfPath, "--child", treeFolder}},
        {"jdupes -r", {"jdupes", "-r", "-q", treeFolder}},
        {"rmlint", {"rmlint", "-T", "df", "-o", "fdupes", "--no-hidden", treeFolder}},
        {"fdupes -r", {"fdupes", "-r", "-q", treeFolder}},
    };

    // Warm run of each: fills the page cache and gives the groups to compare.
    std::vector<GroupSet> found(tools.size());
    std::string oursReport;
    for (std::size_t t = 0; t < tools.size(); ++t) {
        std::string output;
        tools[t].available = runTimed(tools[t].command, &output).has_value();
        if (t == 0) oursReport = output;
        if (tools[t].available) found[t] = parseGroups(output);
    }
    if (!tools[0].available) {
        std::fprintf(stderr, "the search child failed\n");
        return 1;
    }
    bool agree = true;
    for (std::size_t t = 1; t < tools.size(); ++t) {
        if (!tools[t].available) continue;
        const bool same = found[t] == found[0];
        agree = agree && same;
        std::printf("%-10s finds %zu groups: %s\n", tools[t].name.c_str(), found[t].size(),
                    same ? "the same as ours" : "DIFFERENT from ours");
    }
    std::printf("tallymere  finds %zu groups\n", found[0].size());

    std::vector<double> scanTimes, searchTimes, perCandidate;
    long long candidates = 0;
    for (int run = 0; run < runs; ++run) {
        for (std::size_t t = 0; t < tools.size(); ++t) {
            if (!tools[t].available) continue;
            std::string output;
            auto seconds = runTimed(tools[t].command, t == 0 ? &output : nullptr);
            if (!seconds) continue;
            tools[t].times.push_back(seconds->wall);
            if (t == 0) {
                const auto at = output.rfind("figures ");
                double scan = 0, search = 0;
                long long peak = 0, before = 0;
                std::istringstream(output.substr(at + 8)) >> scan >> search >> candidates >> peak >> before;
                scanTimes.push_back(scan);
                searchTimes.push_back(search);
                if (candidates > 0)
                    perCandidate.push_back(static_cast<double>(peak - before) * 1024.0 / static_cast<double>(candidates));
            }
        }
    }

    const double ours = median(tools[0].times);
    double fastest = 0;
    std::printf("processors %d, runs %d (median wall time of the whole process, warm cache)\n",
                DiskScanner::activeProcessors(), runs);
    std::printf("%-10s %8.3f s  (scan %.3f s + search %.3f s)\n", "tallymere", ours, median(scanTimes),
                median(searchTimes));
    for (std::size_t t = 1; t < tools.size(); ++t) {
        if (!tools[t].available || tools[t].times.empty()) {
            std::printf("%-10s not available\n", tools[t].name.c_str());
            continue;
        }
        const double theirs = median(tools[t].times);
        fastest = fastest == 0 ? theirs : std::min(fastest, theirs);
        std::printf("%-10s %8.3f s  ratio tallymere/%s %.2f\n", tools[t].name.c_str(), theirs,
                    tools[t].name.c_str(), ours / theirs);
    }
    if (fastest > 0) std::printf("ratio to the fastest peer %.2f (target below 1)\n", ours / fastest);
    std::printf("memory     %.0f bytes per candidate of peak resident growth during the search "
                "(%lld candidates sampled; includes one 4 MiB read buffer per worker)\n",
                median(perCandidate), candidates);
    std::printf("groups     %s\n", agree ? "all tools agree" : "tools DISAGREE");
    return agree ? 0 : 2;
}
