// The floor a scanner is measured against: a parallel walk that reads every folder and examines
// every entry, and builds nothing. Threads share a stack of open folder descriptors; each folder is
// read with getdents64, each entry examined with statx, each subfolder opened relative to its
// parent. Counts what the scanner counts (regular files once per inode, bytes of files and links).
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace tallymere::bench {

struct BareTotals {
    std::int64_t files = 0;
    std::int64_t allocated = 0;
};

inline BareTotals bareWalk(const char* rootPath, int threadCount) {
    std::mutex lock;
    std::condition_variable wake;
    std::vector<int> stack;
    int active = 0;
    std::mutex linkLock;
    std::set<std::pair<std::uint64_t, std::uint64_t>> links;
    BareTotals totals;

    const int rootFd = ::open(rootPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) return totals;
    stack.push_back(rootFd);

    auto worker = [&] {
        alignas(8) char buffer[32768];
        std::vector<int> found;
        BareTotals mine;
        for (;;) {
            int fd;
            {
                std::unique_lock guard(lock);
                wake.wait(guard, [&] { return !stack.empty() || active == 0; });
                if (stack.empty()) break;
                fd = stack.back();
                stack.pop_back();
                ++active;
            }
            found.clear();
            for (;;) {
                const long got = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
                if (got <= 0) break;
                for (long offset = 0; offset < got;) {
                    const auto length = *reinterpret_cast<const unsigned short*>(buffer + offset + 16);
                    const char* name = buffer + offset + 19;
                    offset += length;
                    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
                    struct statx sx;
                    if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC,
                                STATX_TYPE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_MTIME |
                                    STATX_BTIME,
                                &sx) != 0)
                        continue;
                    const auto type = sx.stx_mode & S_IFMT;
                    if (type == S_IFDIR) {
                        const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                        if (sub >= 0) found.push_back(sub);
                    } else if (type == S_IFREG) {
                        if (sx.stx_nlink >= 2) {
                            std::lock_guard guard(linkLock);
                            const std::uint64_t device = (std::uint64_t(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
                            if (!links.insert({device, sx.stx_ino}).second) continue;
                        }
                        mine.files += 1;
                        mine.allocated += static_cast<std::int64_t>(sx.stx_blocks) * 512;
                    } else if (type == S_IFLNK) {
                        mine.files += 1; // a link counts as a file of its own size, as in the scanner's tree
                        mine.allocated += static_cast<std::int64_t>(sx.stx_blocks) * 512;
                    }
                }
            }
            ::close(fd);
            bool idle;
            {
                std::lock_guard guard(lock);
                stack.insert(stack.end(), found.begin(), found.end());
                --active;
                idle = stack.empty() && active == 0;
            }
            if (idle) wake.notify_all();
            else if (!found.empty()) wake.notify_all();
        }
        std::lock_guard guard(lock);
        totals.files += mine.files;
        totals.allocated += mine.allocated;
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) threads.emplace_back(worker);
    for (std::thread& thread : threads) thread.join();
    return totals;
}

} // namespace tallymere::bench
