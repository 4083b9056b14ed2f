// Duplicate benchmark: scan plus search against `jdupes -r`, `rmlint` and `fdupes -r` on two warm
// generated trees, every tool reporting the same groups:
//   mixed  over 100,000 files, about 2.9 GB: groups of 2 to 10 copies from 1 KiB to 64 MiB,
//          same-size files that differ, some only in their middle, and files of sizes of their own;
//   large  24 files of 50 to 200 MB, four of each size, all four sharing their first and last
//          megabytes: two or three identical copies, and the others differing from them in the
//          middle or just before the last megabyte.
// Every tool runs as a whole process, ours this program started again with --child: the window's
// scan and search code, linked with the engine libraries as the window links them, the search run
// on a thread of its own as the window runs it. The figures are medians of the processes run in
// turn (ours, then each peer, round after round): wall time and processor time (user and system) of
// each whole process, and the medians of each round's ratios ours/theirs. Memory is the peers'
// whole peak resident size beside what our search adds to the process it runs in: its peak
// resident size while it runs less the resident size before it (the scanned tree, the libraries).
//
//   DuplicateBench [runs]        build the trees once (cached), then time each tool `runs` times (3)
//   DuplicateBench --child PATH  the measured process alone: scans PATH, searches it, prints the
//                                groups (one path a line, a blank line after each group), then a
//                                blank line and "figures scanSeconds searchSeconds candidates
//                                searchPeakKB beforeSearchKB"
//
// The trees live under /tmp/tallymere-dup-bench and /tmp/tallymere-dup-bench-large and are rebuilt
// only when their marker is missing.
#include "Stats.h"
#include "core/DiskScanner.h"
#include "services/DuplicateFinder.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
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
#include <thread>
#include <vector>

using namespace tallymere;
using tallymere::bench::median;

namespace {

struct TreePlace {
    std::string folder; // removed and made again when the marker is missing
    std::string tree;
    std::string marker;
};
const TreePlace mixedPlace{"/tmp/tallymere-dup-bench", "/tmp/tallymere-dup-bench/tree",
                           "/tmp/tallymere-dup-bench/complete-v1"};
const TreePlace largePlace{"/tmp/tallymere-dup-bench-large", "/tmp/tallymere-dup-bench-large/tree",
                           "/tmp/tallymere-dup-bench-large/complete-v1"};

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
                const std::string folder = mixedPlace.tree + "/d" + std::to_string(a) + "/s" + std::to_string(b);
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

// Four files of each of six sizes from 50 to 200 MB, each size with its own content. All four
// share their first and last megabytes (so their samples agree); two (three for the largest) are
// identical, one differs in its middle and one a byte before its last megabyte.
bool buildLarge(std::int64_t& files, std::int64_t& bytes, std::int64_t& groups) {
    std::filesystem::create_directories(largePlace.tree + "/a/b");
    std::vector<char> data;
    std::uint64_t seed = 500;
    const char* folders[] = {"", "/a", "/a/b"};
    int family = 0;
    for (double mb : {200.0, 150.0, 110.0, 80.0, 60.0, 50.0}) {
        const auto size = static_cast<std::size_t>(mb * 1e6) + static_cast<std::size_t>(family);
        fill(data, size, seed++);
        const std::string stem = "/s" + std::to_string(family);
        auto put = [&](const std::string& name) {
            const std::string path = largePlace.tree + folders[files % 3] + stem + name;
            ++files;
            bytes += static_cast<std::int64_t>(size);
            return writeFile(path, data);
        };
        const int copies = family == 0 ? 3 : 2;
        for (int c = 0; c < copies; ++c)
            if (!put("-copy" + std::to_string(c) + ".bin")) return false;
        ++groups;
        const std::size_t lastMegabyte = size - 1048576;
        data[size / 2] ^= 1;
        if (!put("-middle.bin")) return false;
        data[size / 2] ^= 1;
        if (family != 0) {
            data[lastMegabyte - 1] ^= 1;
            if (!put("-late.bin")) return false;
        }
        ++family;
    }
    return true;
}

bool ensureTree(const TreePlace& place) {
    if (std::filesystem::exists(place.marker)) return true;
    std::error_code error;
    std::filesystem::remove_all(place.folder, error);
    std::fprintf(stderr, "building the duplicate tree under %s ...\n", place.tree.c_str());
    std::int64_t files = 0, bytes = 0, groups = 0;
    if (&place == &mixedPlace) {
        TreeWriter writer;
        if (!writer.build()) return false;
        files = writer.files;
        bytes = writer.bytes;
        groups = writer.groups;
    } else if (!buildLarge(files, bytes, groups)) {
        return false;
    }
    std::ofstream(place.marker) << files << " files, " << bytes << " bytes, " << groups << " duplicate groups\n";
    return true;
}

double loadAverage() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

// Groups as the tools print them: one path a line, a blank line between groups. Lines that are not
// paths of the tree (headers, summaries) are ignored.
using GroupSet = std::set<std::set<std::string>>;
GroupSet parseGroups(const std::string& text, const std::string& treeFolder) {
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

// What one finished run of a tool cost.
struct Timed {
    double wall = 0;    // seconds
    double cpu = 0;     // user and system seconds
    double peakMiB = 0; // largest resident set
};

// Starts the tools from a small process forked before this one grew. A started process's peak
// resident size counts the address space its exec replaced (the kernel keeps the larger), so the
// tools are started by a process that never holds the trees' lists or outputs, and through fork,
// whose copy holds only the starter's own written pages: posix_spawn shares the starter's whole
// address space until the exec, and with it every library page the starter ever touched, which
// would lift a small program's figure to the starter's.
class Spawner {
public:
    Spawner() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            serve(fds[1]);
            _exit(0);
        }
        ::close(fds[1]);
        m_socket = fds[0];
    }
    ~Spawner() {
        if (m_socket >= 0) ::close(m_socket);
        if (m_pid > 0) ::waitpid(m_pid, nullptr, 0);
    }

    // Runs the program (looked up on PATH) to its end, standard error discarded and standard
    // output into `output` when given; nothing when it could not run or did not exit with 0.
    std::optional<Timed> run(const std::vector<std::string>& arguments, std::string* output = nullptr) {
        std::string request = output ? outputPath : std::string("/dev/null");
        for (const std::string& argument : arguments) request += '\0' + argument;
        const auto length = static_cast<std::uint32_t>(request.size());
        if (!sendAll(m_socket, &length, sizeof length) || !sendAll(m_socket, request.data(), request.size()))
            return std::nullopt;
        Timed timed;
        char ok = 0;
        if (!receiveAll(m_socket, &ok, 1) || !receiveAll(m_socket, &timed, sizeof timed) || !ok) return std::nullopt;
        if (output) {
            std::ifstream in(outputPath, std::ios::binary);
            output->assign(std::istreambuf_iterator<char>(in), {});
        }
        return timed;
    }

private:
    static inline const std::string outputPath = "/tmp/tallymere-dup-bench-output.txt";

    static bool sendAll(int fd, const void* data, std::size_t size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd, p, size);
            if (n <= 0) return false;
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }
    static bool receiveAll(int fd, void* data, std::size_t size) {
        char* p = static_cast<char*>(data);
        while (size > 0) {
            const ssize_t n = ::read(fd, p, size);
            if (n <= 0) return false;
            p += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    static void serve(int socket) {
        std::uint32_t length = 0;
        while (receiveAll(socket, &length, sizeof length)) {
            std::string request(length, '\0');
            if (!receiveAll(socket, request.data(), length)) return;
            std::vector<char*> argv;
            for (std::size_t at = request.find('\0'); at != std::string::npos; at = request.find('\0', at + 1))
                argv.push_back(request.data() + at + 1);
            argv.push_back(nullptr);
            const auto start = std::chrono::steady_clock::now();
            const pid_t pid = ::fork();
            if (pid == 0) {
                const int out = ::open(request.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                const int err = ::open("/dev/null", O_WRONLY);
                if (out < 0 || err < 0 || ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0) _exit(127);
                ::execvp(argv[0], argv.data());
                _exit(127);
            }
            const int spawned = pid > 0 ? 0 : -1;
            int status = 0;
            struct rusage usage {};
            if (spawned == 0) ::wait4(pid, &status, 0, &usage);
            const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
            Timed timed{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                        seconds(usage.ru_utime) + seconds(usage.ru_stime), static_cast<double>(usage.ru_maxrss) / 1024.0};
            const char ok = spawned == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
            if (!sendAll(socket, &ok, 1) || !sendAll(socket, &timed, sizeof timed)) return;
        }
    }

    pid_t m_pid = -1;
    int m_socket = -1;
};

struct Tool {
    std::string name;
    std::vector<std::string> command;
    std::vector<Timed> runs;
    bool available = true;
};

double medianOf(const std::vector<Timed>& runs, double Timed::*field) {
    std::vector<double> values;
    for (const Timed& run : runs) values.push_back(run.*field);
    return median(values);
}

// Ours against each peer round by round: the median of the ratios of runs made next to each other.
double medianRatio(const Tool& ours, const Tool& peer, double Timed::*field) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(ours.runs.size(), peer.runs.size()); ++i)
        if (peer.runs[i].*field > 0) ratios.push_back(ours.runs[i].*field / (peer.runs[i].*field));
    return median(ratios);
}

// What our measured process reports of itself, run by run.
struct OwnFigures {
    std::vector<double> scan, search; // seconds
    std::vector<double> searchAddsMiB; // peak resident during the search less resident before it
    std::vector<double> beforeMiB;     // resident when the search starts
    long long candidates = 0;
};

void readOwnFigures(const std::string& output, OwnFigures& figures) {
    const auto at = output.rfind("figures ");
    if (at == std::string::npos) return;
    double scan = 0, search = 0;
    long long peak = 0, before = 0;
    std::istringstream(output.substr(at + 8)) >> scan >> search >> figures.candidates >> peak >> before;
    figures.scan.push_back(scan);
    figures.search.push_back(search);
    figures.searchAddsMiB.push_back(static_cast<double>(peak - before) / 1024.0);
    figures.beforeMiB.push_back(static_cast<double>(before) / 1024.0);
}

// Runs each tool once to warm the page cache and compare what they find; false when ours failed or
// a peer's groups differ from ours.
bool warmAndCompare(Spawner& spawner, const TreePlace& place, std::vector<Tool>& tools) {
    std::vector<GroupSet> found(tools.size());
    for (std::size_t t = 0; t < tools.size(); ++t) {
        std::string output;
        tools[t].available = spawner.run(tools[t].command, &output).has_value();
        if (tools[t].available) found[t] = parseGroups(output, place.tree);
    }
    if (!tools[0].available) {
        std::fprintf(stderr, "the measured process failed\n");
        return false;
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
    return agree;
}

void printFigures(const std::vector<Tool>& tools, const OwnFigures& own, int runs) {
    std::printf("processors %d, load average %.1f, runs %d (medians, whole processes, warm cache)\n",
                DiskScanner::activeProcessors(), loadAverage(), runs);
    std::printf("%-10s %8s %8s %9s   %s\n", "", "wall s", "cpu s", "peak MiB", "ours/theirs: wall, cpu");
    const Tool& ours = tools[0];
    std::printf("%-10s %8.3f %8.3f %9.1f   scan %.3f s + search %.3f s; the search adds %.1f MiB to %.1f MiB\n",
                "tallymere", medianOf(ours.runs, &Timed::wall), medianOf(ours.runs, &Timed::cpu),
                medianOf(ours.runs, &Timed::peakMiB), median(own.scan), median(own.search), median(own.searchAddsMiB),
                median(own.beforeMiB));
    double fastestWall = 0, wallToFastest = 0;
    for (std::size_t t = 1; t < tools.size(); ++t) {
        const Tool& peer = tools[t];
        if (!peer.available || peer.runs.empty()) {
            std::printf("%-10s not available\n", peer.name.c_str());
            continue;
        }
        const double wall = medianOf(peer.runs, &Timed::wall);
        std::printf("%-10s %8.3f %8.3f %9.1f   %.2f, %.2f\n", peer.name.c_str(), wall, medianOf(peer.runs, &Timed::cpu),
                    medianOf(peer.runs, &Timed::peakMiB), medianRatio(ours, peer, &Timed::wall),
                    medianRatio(ours, peer, &Timed::cpu));
        if (fastestWall == 0 || wall < fastestWall) {
            fastestWall = wall;
            wallToFastest = medianRatio(ours, peer, &Timed::wall);
        }
    }
    if (fastestWall > 0) std::printf("wall against the fastest peer %.2f (target at most 0.5)\n", wallToFastest);
    if (tools[1].available && !tools[1].runs.empty())
        std::printf("processor time against jdupes %.2f (target at most 1.5)\n", medianRatio(ours, tools[1], &Timed::cpu));
    const double candidates = static_cast<double>(std::max(1LL, own.candidates));
    std::printf("memory     the search adds %.1f MiB, %.0f bytes per candidate (%lld candidates)\n",
                median(own.searchAddsMiB), median(own.searchAddsMiB) * 1048576.0 / candidates, own.candidates);
}

// Times every tool on one tree; false when the tools disagree or ours failed.
bool race(Spawner& spawner, const TreePlace& place, const std::string& self, int runs) {
    {
        std::ifstream marker(place.marker);
        std::string description;
        std::getline(marker, description);
        std::printf("\ntree: %s (%s)\n", place.tree.c_str(), description.c_str());
    }
    std::vector<Tool> tools = {
        {"tallymere", {self, "--child", place.tree}},
        {"jdupes -r", {"jdupes", "-r", "-q", place.tree}},
        {"rmlint", {"rmlint", "-T", "df", "-o", "fdupes", "--no-hidden", place.tree}},
        {"fdupes -r", {"fdupes", "-r", "-q", place.tree}},
    };
    const bool agree = warmAndCompare(spawner, place, tools);
    if (!tools[0].available) return false;
    OwnFigures own;
    for (int run = 0; run < runs; ++run) {
        for (std::size_t t = 0; t < tools.size(); ++t) {
            if (!tools[t].available) continue;
            std::string output;
            auto timed = spawner.run(tools[t].command, t == 0 ? &output : nullptr);
            if (!timed) continue;
            tools[t].runs.push_back(*timed);
            if (t == 0) readOwnFigures(output, own);
        }
    }
    printFigures(tools, own, runs);
    std::printf("groups     %s\n", agree ? "all tools agree" : "tools DISAGREE");
    return agree;
}

// A field of /proc/self/status in kilobytes; 0 when it cannot be read.
long long statusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(field)) return std::atoll(line.c_str() + field.size());
    return 0;
}

// The measured process: the scan and the search as the window runs them.
int runChild(const char* path) {
    const auto start = std::chrono::steady_clock::now();
    ScanProgress scanProgress;
    ScanOptions options;
    options.includeHidden = true;
    auto root = DiskScanner::scan(path, options, scanProgress);
    if (!root) return 1;
    const auto scanned = std::chrono::steady_clock::now();
    // The peak resident size starts again from the present one (the kernel's "5" of clear_refs),
    // so the peak read after the search is the search's own.
    if (!(std::ofstream("/proc/self/clear_refs") << "5" << std::flush))
        std::fprintf(stderr, "the peak resident size cannot be reset: the figure is the whole process's\n");
    const long long beforeSearch = statusKilobytes("VmRSS:");
    DuplicateFinder::Progress progress;
    std::vector<DuplicateFinder::Group> groups;
    std::thread search([&] { groups = DuplicateFinder::find(root, 1, progress); });
    search.join();
    const long long searchPeak = statusKilobytes("VmHWM:");
    const auto searched = std::chrono::steady_clock::now();

    std::string text;
    for (const auto& group : groups) {
        for (const auto& file : group.files) text += file->path() + '\n';
        text += '\n';
    }
    // Candidates of the sampling stage: the files that share their size with another.
    std::vector<std::int64_t> sizes;
    root->walk([&](const FileNode& node) {
        if (!node.isDirectory) sizes.push_back(node.size);
        return node.isDirectory;
    });
    std::sort(sizes.begin(), sizes.end());
    long long candidates = 0;
    for (std::size_t i = 0, j = 0; i < sizes.size(); i = j) {
        while (j < sizes.size() && sizes[j] == sizes[i]) ++j;
        if (j - i > 1) candidates += static_cast<long long>(j - i);
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::printf("\nfigures %.6f %.6f %lld %lld %lld\n", std::chrono::duration<double>(scanned - start).count(),
                std::chrono::duration<double>(searched - scanned).count(), candidates, searchPeak, beforeSearch);
    std::fflush(stdout);
    // Ends without taking the tree apart, as the window's exit does not wait for it either.
    _exit(0);
}

// This program, which runs the measured process when started with --child.
std::string selfPath() {
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return {};
    return self;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return runChild(argv[2]);
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 3;
    Spawner spawner; // first, while this process is small
    for (const TreePlace* place : {&mixedPlace, &largePlace})
        if (!ensureTree(*place)) {
            std::fprintf(stderr, "cannot build the duplicate tree under %s\n", place->folder.c_str());
            return 1;
        }
    const std::string self = selfPath();
    if (self.empty()) {
        std::fprintf(stderr, "cannot find this program's own path\n");
        return 1;
    }
    bool agree = true;
    for (const TreePlace* place : {&mixedPlace, &largePlace}) agree = race(spawner, *place, self, runs) && agree;
    return agree ? 0 : 2;
}
