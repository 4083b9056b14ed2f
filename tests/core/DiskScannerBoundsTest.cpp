// The scanner at the edges of the file system: mounts it must not cross or read twice, descriptors
// and depth beyond the usual limits, and the whole-disk options.
#include "core/DiskScanner.h"
#include "core/ScanFileSystem.h"
#include "support/DeadFuse.h"
#include "support/ScanFixture.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <iterator>
#include <future>
#include <memory>
#include <string>
#include <string_view>

namespace tallymere {
namespace {

using namespace test::scan;
using test::childNamed;

// The moment a mount must land, made exact: this program defines the C library's statx itself
// (the scanner calls the program's own definition), which calls the hook a test set with the name
// examined, from the scan's thread, before the system call.
std::function<void(const char* name)> beforeStatx;

} // namespace
} // namespace tallymere

extern "C" int statx(int folder, const char* name, int flags, unsigned mask, struct statx* out) noexcept {
    if (tallymere::beforeStatx) tallymere::beforeStatx(name);
    return static_cast<int>(syscall(SYS_statx, folder, name, flags, mask, out));
}

namespace tallymere {
namespace {

// One line of the mount table: the file system `type` on device major:minor at `point`.
MountEntry mountEntry(unsigned major, unsigned minor, std::string point, std::string type) {
    MountEntry mount;
    mount.major = major;
    mount.minor = minor;
    mount.mountPoint = std::move(point);
    mount.fsType = std::move(type);
    return mount;
}

TEST(ScanBoundaries, VirtualAndNetworkMountsBelowTheRootOnly) {
    const auto entry = [](unsigned minor, std::string point, std::string type) {
        return mountEntry(0, minor, std::move(point), std::move(type));
    };
    const std::vector<MountEntry> mounts = {entry(1, "/", "overlay"), entry(2, "/proc", "proc"),
                                            entry(3, "/data/share", "nfs4"), entry(4, "/data", "ext4"),
                                            entry(5, "/database", "sshfs")};
    const auto below = ScanFileSystem::boundaries(mounts, "/data", makedev(0, 4));
    EXPECT_EQ(below.mountPoints.values(), (std::vector<std::string>{"/data/share"})) << "not /database";
    EXPECT_EQ(below.devices.size(), 4u);
    EXPECT_FALSE(below.devices.contains(makedev(0, 4)));

    // Scanning a container's overlay root still reads it; /proc is a boundary below it.
    const auto whole = ScanFileSystem::boundaries(mounts, "/", makedev(0, 1));
    EXPECT_FALSE(whole.devices.contains(makedev(0, 1)));
    EXPECT_EQ(whole.mountPoints.size(), 3u);
}

TEST(ScanBoundaries, FoldersAreRecordedOnlyOnFileSystemsShownTwice) {
    const auto entry = [](unsigned minor, std::string point, std::string type) {
        return mountEntry(8, minor, std::move(point), std::move(type));
    };
    const auto single = ScanFileSystem::repeatedMounts({entry(1, "/", "ext4"), entry(2, "/home", "ext4"),
                                                        entry(9, "/proc", "proc"), entry(9, "/other/proc", "proc")});
    EXPECT_FALSE(single.tracksAny()) << "each disk once; a virtual file system is never entered";
    EXPECT_FALSE(single.tracks(makedev(8, 1)));
    EXPECT_FALSE(single.tracks(makedev(0, 77)));

    const auto bound = ScanFileSystem::repeatedMounts({entry(1, "/", "ext4"), entry(2, "/home", "ext4"),
                                                       entry(2, "/srv/home-again", "ext4")});
    EXPECT_TRUE(bound.tracks(makedev(8, 2)));
    EXPECT_FALSE(bound.tracks(makedev(8, 1)));
    EXPECT_TRUE(bound.tracks(makedev(0, 77))) << "a device the table does not show cannot be told apart";

    EXPECT_TRUE(ScanFileSystem::repeatedMounts({}).tracks(makedev(8, 1))) << "no table: every folder is recorded";
}

TEST(ScanBoundaries, RealScanStopsAtPseudoMount) {
    // /dev is a device file system; /dev/pts, mounted on it, is another pseudo file system.
    bool hasPts = false;
    for (const MountEntry& mount : MountTable::read())
        if (mount.mountPoint == "/dev/pts" && mount.fsType == "devpts") hasPts = true;
    if (!hasPts) GTEST_SKIP() << "no devpts mount at /dev/pts here";
    const Scanned scanned = scan("/dev");
    ASSERT_TRUE(scanned.root);
    EXPECT_FALSE(childNamed(*scanned.root, "pts"));
}

// Runs `body` in a child process with a mount namespace of its own, so what it mounts is gone
// with it. The child's status: 0 when `body` returned true, 77 when no namespace could be made.
int inMountNamespace(const std::function<bool()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(77);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Whether the scan counted `files` files of `size` bytes in all, live and in the tree; says what it
// counted otherwise, from the child process the mount tests run in.
bool countsAre(const Scanned& scanned, std::int64_t files, std::int64_t size) {
    const bool ok = scanned.files == files && scanned.root->fileCount == files && scanned.root->size == size;
    if (!ok)
        std::fprintf(stderr, "files %lld, size %lld\n", static_cast<long long>(scanned.root->fileCount),
                     static_cast<long long>(scanned.root->size));
    return ok;
}

// A folder mounted a second time inside the scanned tree is read once: a bind mount of a folder,
// and a loop (a folder mounted inside itself, and the whole tree mounted inside itself with every
// mount below it, which showed one file four times).
TEST(ScanMounts, AFolderSeenThroughABindMountIsReadOnce) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    makeDir(tree);
    makeDir(tree + "/data");
    writeFile(tree + "/data/f", 1000);
    makeDir(tree + "/data/inner");
    writeFile(tree + "/data/inner/g", 10);
    makeDir(tree + "/data/inner/loop");
    makeDir(tree + "/mirror");
    const int status = inMountNamespace([&] {
        if (::mount((tree + "/data").c_str(), (tree + "/data/inner/loop").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(tree.c_str(), (tree + "/mirror").c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
            ::_exit(77);
        std::int64_t seenF = 0;
        DIR* probe = ::opendir((tree + "/mirror/data/inner/loop").c_str());
        while (const dirent* entry = probe ? ::readdir(probe) : nullptr) seenF += std::string_view(entry->d_name) == "f";
        if (probe) ::closedir(probe);
        if (seenF != 1) ::_exit(77); // the loop is not visible through the mirror: not the case under test

        const Scanned scanned = scan(tree);
        if (!scanned.root) return false;
        const auto isEmptyFolder = [](const FileNode* node) {
            return node && node->isDirectory && node->hasChildList() && !node->hasChildren() && !node->isDenied;
        };
        const FileNode* data = childNamed(*scanned.root, "data");
        const FileNode* inner = data ? childNamed(*data, "inner") : nullptr;
        return countsAre(scanned, 2, 1010) && data && data->size == 1010 &&
               isEmptyFolder(childNamed(*scanned.root, "mirror")) && inner && isEmptyFolder(childNamed(*inner, "loop"));
    });
    if (status == 77) GTEST_SKIP() << "no private mount namespace here (needs the right to mount)";
    EXPECT_EQ(status, 0) << "a file was counted more than once, or a mounted folder was read twice";
}

// A virtual file system mounted below the root while the scan runs, after the mount table was
// read: the scan stays out of it as it does of one mounted before, rather than reading it (here a
// process table, whose files would count as the tree's). Mounted as the scan examines the folder
// above it, before the scan can have reached it.
TEST(ScanMounts, AVirtualFileSystemMountedDuringTheScanIsNotEntered) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    makeDir(tree);
    makeDir(tree + "/hook");
    makeDir(tree + "/hook/target");
    writeFile(tree + "/hook/f", 100);
    const int status = inMountNamespace([&] {
        bool mounted = false;
        beforeStatx = [&](const char* name) {
            if (std::string_view(name) == "hook" && !mounted)
                mounted = ::mount("proc", (tree + "/hook/target").c_str(), "proc", 0, nullptr) == 0;
        };
        ScanProgress progress;
        const std::shared_ptr<FileNode> root = DiskScanner::scan(tree, {}, progress);
        beforeStatx = nullptr;
        if (!mounted) ::_exit(2);
        bool entered = false;
        root->walk([&](const FileNode& node) {
            entered = entered || node.name() == "meminfo";
            return true;
        });
        return !entered && countsAre({root, progress.files(), progress.bytes(), 0}, 1, 100);
    });
    if (status == 77) GTEST_SKIP() << "no private mount namespace here (needs the right to mount)";
    EXPECT_NE(status, 2) << "the scan examined no entry through statx";
    EXPECT_EQ(status, 0) << "the scan read a virtual file system mounted while it ran";
}

// A file mounted onto another file's name shows one file twice, with one link: it counts once,
// whichever of its names the scan meets first, and a file mounted from outside the tree counts
// where it shows.
TEST(ScanMounts, AFileMountedOntoASecondNameIsCountedOnce) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    makeDir(tree);
    makeDir(tree + "/a");
    makeDir(tree + "/z");
    writeFile(tree + "/a/source", 1000);
    writeFile(tree + "/z/covered", 10);
    writeFile(tree + "/a/covered-too", 20);
    writeFile(tree + "/z/late-source", 300);
    writeFile(dir / "outside", 5000);
    writeFile(tree + "/z/from-outside", 1);
    const int status = inMountNamespace([&] {
        if (::mount((tree + "/a/source").c_str(), (tree + "/z/covered").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount((tree + "/z/late-source").c_str(), (tree + "/a/covered-too").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount((dir / "outside").c_str(), (tree + "/z/from-outside").c_str(), nullptr, MS_BIND, nullptr) != 0)
            ::_exit(77);
        const Scanned scanned = scan(tree);
        if (!scanned.root) return false;
        return countsAre(scanned, 3, 1000 + 300 + 5000);
    });
    if (status == 77) GTEST_SKIP() << "no private mount namespace here (needs the right to mount)";
    EXPECT_EQ(status, 0) << "a mounted file was counted under both its names";
}

// A local FUSE file system whose server stopped answering, mounted below the root: every look at
// its mount point blocks in the kernel. The scan gives it a bounded wait, counts it as a folder not
// read for that reason, and ends with everything else read; a second scan that meets it while the
// first look is still blocked does not wait again, nor look again. A scan that would hang is given
// up after a while here (the mount taken down releases it), so the test fails instead of hanging.
TEST(ScanMounts, AMountThatNeverAnswersIsAFolderNotReadAndTheScanEnds) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    makeDir(tree);
    makeDir(tree + "/a");
    writeFile(tree + "/a/f", 1000);
    makeDir(tree + "/dead");
    makeDir(tree + "/z");
    writeFile(tree + "/z/g", 10);
    const int status = inMountNamespace([&] {
        auto fuse = std::make_unique<test::DeadFuse>(tree + "/dead");
        if (!fuse->isMounted()) ::_exit(77);
        const auto scanInTime = [&](ScanProgress& progress) {
            auto scanned = std::async(std::launch::async, [&] { return DiskScanner::scan(tree, {}, progress); });
            if (scanned.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return scanned.get();
            std::fprintf(stderr, "the scan did not end while the mount hung\n");
            fuse.reset();
            scanned.wait();
            return std::shared_ptr<FileNode>();
        };
        ScanProgress first, second;
        const std::shared_ptr<FileNode> root = scanInTime(first);
        const std::shared_ptr<FileNode> again = root ? scanInTime(second) : nullptr;
        if (!root || !again) return false;
        const FileNode* dead = childNamed(*root, "dead");
        const int looks = fuse->requests();
        if (!dead || !dead->isDenied || dead->hasChildList() || looks != 1)
            std::fprintf(stderr, "dead: %s, looks at the mount: %d\n", dead ? (dead->isDenied ? "denied" : "read") : "absent",
                         looks);
        return dead && dead->isDenied && !dead->hasChildList() && looks == 1 &&
               countsAre({root, first.files(), first.bytes(), 0}, 2, 1010) && first.unreadFolders() == 1 &&
               first.unreadWithoutAnswer() == 1 && second.unreadWithoutAnswer() == 1 &&
               countsAre({again, second.files(), second.bytes(), 0}, 2, 1010);
    });
    if (status == 77) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
    EXPECT_EQ(status, 0) << "the scan waited on a mount that never answers, or did not count it as unread";
}

// A process whose scan met a mount that never answers can still end: the look that stays blocked
// is not one of its threads (a thread waiting on a FUSE request its server has read cannot be
// killed, and a process ends only with its last thread). Given up after a while here, with the
// mount taken down, so the test fails instead of hanging.
TEST(ScanMounts, AProcessThatMetAMountThatNeverAnswersCanEnd) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    makeDir(tree);
    makeDir(tree + "/dead");
    writeFile(tree + "/f", 10);
    const int status = inMountNamespace([&] {
        test::DeadFuse fuse(tree + "/dead");
        if (!fuse.isMounted()) ::_exit(77);
        const pid_t scanner = ::fork();
        if (scanner == 0) {
            ScanProgress progress;
            const std::shared_ptr<FileNode> root = DiskScanner::scan(tree, {}, progress);
            ::_exit(root && progress.unreadWithoutAnswer() == 1 ? 0 : 1);
        }
        int scanned = -1;
        for (int wait = 0; wait < 600; ++wait) {
            if (::waitpid(scanner, &scanned, WNOHANG) == scanner) return WIFEXITED(scanned) && WEXITSTATUS(scanned) == 0;
            ::usleep(100 * 1000);
        }
        std::fprintf(stderr, "the process that scanned could not end while the mount hung\n");
        return false; // the mount goes down with `fuse`, and the scanning process with it
    });
    if (status == 77) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
    EXPECT_EQ(status, 0);
}

// Where this process may make no child process (a sandbox's filter, a limit on processes), a mount
// point is still looked at with the same bounded wait, only from a thread of its own: the scan ends
// without it, though the look that stays blocked keeps its process from ending while the mount hangs.
TEST(ScanMounts, WithoutAChildProcessAMountThatNeverAnswersIsStillWaitedOnNoLongerThanTheBound) {
#if !defined(__x86_64__)
    GTEST_SKIP() << "the filter below is written for x86-64";
#else
    ScanFolder dir;
    const std::string tree = dir / "tree";
    makeDir(tree);
    makeDir(tree + "/dead");
    writeFile(tree + "/f", 10);
    const int status = inMountNamespace([&] {
        test::DeadFuse fuse(tree + "/dead");
        if (!fuse.isMounted()) ::_exit(77);
        int told[2];
        if (::pipe(told) != 0) return false;
        const pid_t scanner = ::fork();
        if (scanner == 0) {
            // Every clone that would share this process's memory with a child fails, as a
            // process limit makes it fail; threads and forks are still made.
            sock_filter filter[] = {
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 4),
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 0, 2),
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
                BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_VM, 1, 0),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
            };
            const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
            char verdict = 'x';
            if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0) {
                ScanProgress progress;
                const std::shared_ptr<FileNode> root = DiskScanner::scan(tree, {}, progress);
                verdict = root && progress.unreadWithoutAnswer() == 1 && root->fileCount == 1 ? 'y' : 'n';
            }
            [[maybe_unused]] const ssize_t written = ::write(told[1], &verdict, 1);
            ::_exit(0);
        }
        ::close(told[1]);
        pollfd answer{told[0], POLLIN, 0};
        char verdict = 0;
        const bool ended = ::poll(&answer, 1, 60000) == 1 && ::read(told[0], &verdict, 1) == 1;
        if (!ended) std::fprintf(stderr, "the scan did not end while the mount hung\n");
        if (verdict == 'x') ::_exit(77);
        return ended && verdict == 'y'; // the mount goes down with `fuse`, and the scanning process with it
    });
    if (status == 77) GTEST_SKIP() << "no FUSE mount in a private mount namespace, or no filter of system calls, here";
    EXPECT_EQ(status, 0);
#endif
}

// Running out of descriptors is temporary: a scan under a tiny limit waits and retries, never calls
// a folder unreadable, and ends with the same tree. Run in a child, so the limit stays there.
TEST(ScanDescriptors, ATinyDescriptorLimitLosesNothing) {
    ScanFolder dir;
    for (int a = 0; a < 30; ++a) {
        const std::string outer = dir / ("d" + std::to_string(a));
        makeDir(outer);
        for (int b = 0; b < 12; ++b) {
            const std::string inner = outer + "/s" + std::to_string(b);
            makeDir(inner);
            makeDir(inner + "/leaf");
            writeFile(inner + "/leaf/f", 100 + static_cast<std::size_t>(b));
        }
    }
    const Scanned full = scan(dir.path());
    ASSERT_TRUE(full.root);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit tiny{16, 16};
        if (::setrlimit(RLIMIT_NOFILE, &tiny) != 0) ::_exit(77);
        const Scanned limited = scan(dir.path());
        bool denied = false;
        limited.root->walk([&](const FileNode& node) {
            denied = denied || node.isDenied;
            return true;
        });
        const bool same = limited.root->size == full.root->size && limited.root->fileCount == full.root->fileCount &&
                          limited.root->folderCount == full.root->folderCount && limited.files == full.files;
        ::_exit(same && !denied ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot lower the descriptor limit";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the limited scan lost folders or bytes";
}

// Each folder opens relative to its parent, so a chain far deeper than the path limit is read
// whole, every level at its depth.
TEST(ScanDescriptors, DeepChainIsReadWhole) {
    ScanFolder dir;
    constexpr int levels = 3000;
    int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < levels; ++i) {
        ASSERT_EQ(::mkdirat(fd, "level-with-a-longish-name", 0755), 0);
        const int next = ::openat(fd, "level-with-a-longish-name", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int file = ::openat(fd, "bottom", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(file, "12345", 5), 5);
    ::close(file);
    ::close(fd);
    const Scanned scanned = scan(dir.path());
    ASSERT_TRUE(scanned.root);
    EXPECT_EQ(scanned.root->folderCount, levels);
    EXPECT_EQ(scanned.root->fileCount, 1);
    EXPECT_EQ(scanned.root->size, 5);
    const FileNode* deepest = scanned.root.get();
    while (deepest->hasChildren()) deepest = deepest->children()[0];
    EXPECT_EQ(deepest->depth, levels + 1);
    EXPECT_EQ(deepest->name(), "bottom");
}

TEST(ScanOptionsFullMac, LinuxExclusions) {
    const ScanOptions options = ScanOptions::fullMac(
        {{.mountPoint = "/mnt/server", .fsType = "nfs"}, {.mountPoint = "/mnt/disk", .fsType = "ext4"},
         {.mountPoint = "/", .fsType = "overlay"}, {.mountPoint = "/tmp", .fsType = "tmpfs"},
         {.mountPoint = "/mnt/ram", .fsType = "ramfs"}, {.mountPoint = "/snap/core/1", .fsType = "squashfs"},
         {.mountPoint = "/mnt/image", .fsType = "ext4", .source = "/dev/loop3"}});
    EXPECT_TRUE(options.includeHidden);
    EXPECT_TRUE(options.useAllocatedSize);
    for (const char* path :
         {"/proc", "/sys", "/dev", "/run", "/Volumes", "/mnt/server", "/tmp", "/mnt/ram", "/snap/core/1", "/mnt/image"})
        EXPECT_TRUE(options.excludedPaths.contains(path)) << path;
    for (const char* path : {"/home", "/mnt/disk", "/"})
        EXPECT_FALSE(options.excludedPaths.contains(path)) << path;
}

TEST(ScanThreads, FivePerProcessorBetweenEightAndFortyEight) {
    EXPECT_EQ(DiskScanner::threadCount(1), 8);
    EXPECT_EQ(DiskScanner::threadCount(4), 20);
    EXPECT_EQ(DiskScanner::threadCount(12), 48);
    EXPECT_GE(DiskScanner::activeProcessors(), 1);
}

} // namespace
} // namespace tallymere
