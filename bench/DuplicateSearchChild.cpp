// The duplicate benchmark's measured process: scans PATH and searches it for duplicates with the
// program's own scanner and search, prints the groups (one path a line, a blank line after each
// group), then a blank line and "figures scanSeconds searchSeconds candidates peakKB beforeSearchKB".
//
//   DuplicateSearchChild PATH
//
// A program of its own, apart from the benchmark that races it: the peers it is raced against
// hold only their own search, so this process holds only the scan and the search, not the
// harness's tree builder, process starter and output parsing, nor the libraries they use.
#include "core/DiskScanner.h"
#include "services/DuplicateFinder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace tallymere;

namespace {

// Read with system calls: a file stream would add the stream and locale machinery that the
// search itself does not use.
std::int64_t statusKilobytes(const char* field) {
    char text[8192];
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return 0;
    text[n] = '\0';
    for (const char* line = text; line && *line; line = std::strchr(line, '\n'), line = line ? line + 1 : nullptr)
        if (std::strncmp(line, field, std::strlen(field)) == 0) return std::atoll(line + std::strlen(field));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: DuplicateSearchChild PATH\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    ScanProgress scanProgress;
    ScanOptions options;
    options.includeHidden = true;
    auto root = DiskScanner::scan(argv[1], options, scanProgress);
    if (!root) return 1;
    const auto scanned = std::chrono::steady_clock::now();
    const std::int64_t beforeSearch = statusKilobytes("VmRSS:");
    DuplicateFinder::Progress progress;
    const auto groups = DuplicateFinder::find(root, 1, progress);
    const auto searched = std::chrono::steady_clock::now();
    for (const auto& group : groups) {
        for (const auto& file : group.files) {
            const std::string line = file->path() + '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
        std::fputc('\n', stdout);
    }
    // Candidates of the sampling stage: the files that share their size with another. Counted by
    // sorting, so the measuring adds no hash table code to what is measured.
    std::vector<std::int64_t> sizes;
    root->walk([&](const FileNode& node) {
        if (!node.isDirectory) sizes.push_back(node.size);
        return node.isDirectory;
    });
    std::sort(sizes.begin(), sizes.end());
    std::int64_t candidates = 0;
    for (std::size_t i = 0, j = 0; i < sizes.size(); i = j) {
        while (j < sizes.size() && sizes[j] == sizes[i]) ++j;
        if (j - i > 1) candidates += static_cast<std::int64_t>(j - i);
    }
    std::printf("\nfigures %.6f %.6f %lld %lld %lld\n", std::chrono::duration<double>(scanned - start).count(),
                std::chrono::duration<double>(searched - scanned).count(), static_cast<long long>(candidates),
                static_cast<long long>(statusKilobytes("VmHWM:")), static_cast<long long>(beforeSearch));
    std::fflush(stdout);
    // Ends without taking the tree apart, which only the exit would wait for.
    _exit(0);
}
