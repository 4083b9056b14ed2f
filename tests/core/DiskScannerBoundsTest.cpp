// The scanner at the edges of the file system: mounts it must not cross or read twice, descriptors
// and depth beyond the usual limits, and the whole-disk options.
#include "core/DiskScanner.h"
#include "core/ScanFileSystem.h"
#include "platform/PathGate.h"
#include "support/DeadFuse.h"
#include "support/EndsWithin.h"
#include "support/NoChildProcesses.h"
#include "support/ScanFixture.h"
#include "support/StallingFuse.h"
#include "support/TreeText.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>
#include <poll.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <functional>
#include <iterator>
#include <future>
#include <memory>
#include <string>
#include <thread>
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

// The scan counted `files` files of `size` bytes in all, live and in the tree.
void expectCounts(const Scanned& scanned, std::int64_t files, std::int64_t size) {
    EXPECT_EQ(scanned.files, files);
    EXPECT_EQ(scanned.root->fileCount, files);
    EXPECT_EQ(scanned.root->size, size);
}

// Why a mount a test needs was refused, with the system's reason.
std::string cannotMount(const char* what) { return std::string("cannot mount ") + what + " here (" + std::strerror(errno) + ")"; }

// A folder mounted a second time inside the scanned tree is read once: a bind mount of a folder,
// and a loop (a folder mounted inside itself, and the whole tree mounted inside itself with every
// mount below it, which showed one file four times).
TEST(ScanMounts, AFolderSeenThroughABindMountIsReadOnce) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    dir.file("tree/data/f", 1000);
    dir.file("tree/data/inner/g", 10);
    dir.folder("tree/data/inner/loop");
    dir.folder("tree/mirror");
    const bool ran = test::runInPrivateMounts([&] {
        if (::mount((tree + "/data").c_str(), (tree + "/data/inner/loop").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(tree.c_str(), (tree + "/mirror").c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
            test::cannotRunHere(cannotMount("a folder inside itself"));
        std::int64_t seenF = 0;
        DIR* probe = ::opendir((tree + "/mirror/data/inner/loop").c_str());
        while (const dirent* entry = probe ? ::readdir(probe) : nullptr) seenF += std::string_view(entry->d_name) == "f";
        if (probe) ::closedir(probe);
        if (seenF != 1) test::cannotRunHere("a folder mounted inside itself is not seen through a recursive bind mount here");

        const Scanned scanned = scan(tree);
        ASSERT_TRUE(scanned.root);
        expectCounts(scanned, 2, 1010); // each file once
        const auto isEmptyFolder = [](const FileNode* node) {
            return node && node->isDirectory && node->hasChildList() && !node->hasChildren() && !node->isDenied;
        };
        const FileNode* data = childNamed(*scanned.root, "data");
        ASSERT_TRUE(data);
        EXPECT_EQ(data->size, 1010);
        EXPECT_TRUE(isEmptyFolder(childNamed(*scanned.root, "mirror"))) << "a mounted folder was read twice";
        const FileNode* inner = childNamed(*data, "inner");
        ASSERT_TRUE(inner);
        EXPECT_TRUE(isEmptyFolder(childNamed(*inner, "loop"))) << "a mounted folder was read twice";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A virtual file system mounted below the root while the scan runs, after the mount table was
// read: the scan stays out of it as it does of one mounted before, rather than reading it (here a
// process table, whose files would count as the tree's). Mounted as the scan examines the folder
// above it, before the scan can have reached it.
TEST(ScanMounts, AVirtualFileSystemMountedDuringTheScanIsNotEntered) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    dir.folder("tree/hook/target");
    dir.file("tree/hook/f", 100);
    const bool ran = test::runInPrivateMounts([&] {
        bool mounted = false;
        beforeStatx = [&](const char* name) {
            if (std::string_view(name) == "hook" && !mounted)
                mounted = ::mount("proc", (tree + "/hook/target").c_str(), "proc", 0, nullptr) == 0;
        };
        ScanProgress progress;
        const std::shared_ptr<FileNode> root = DiskScanner::scan(tree, {}, progress);
        beforeStatx = nullptr;
        ASSERT_TRUE(mounted) << "the scan examined no entry through statx";
        bool entered = false;
        root->walk([&](const FileNode& node) {
            entered = entered || node.name() == "meminfo";
            return true;
        });
        EXPECT_FALSE(entered) << "the scan read a virtual file system mounted while it ran";
        expectCounts({root, progress.files(), progress.bytes(), 0}, 1, 100);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A file mounted onto another file's name shows one file twice, with one link: it counts once,
// whichever of its names the scan meets first, and a file mounted from outside the tree counts
// where it shows.
TEST(ScanMounts, AFileMountedOntoASecondNameIsCountedOnce) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    dir.file("tree/a/source", 1000);
    dir.file("tree/z/covered", 10);
    dir.file("tree/a/covered-too", 20);
    dir.file("tree/z/late-source", 300);
    dir.file("outside", 5000);
    dir.file("tree/z/from-outside", 1);
    const bool ran = test::runInPrivateMounts([&] {
        if (::mount((tree + "/a/source").c_str(), (tree + "/z/covered").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount((tree + "/z/late-source").c_str(), (tree + "/a/covered-too").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount((dir / "outside").c_str(), (tree + "/z/from-outside").c_str(), nullptr, MS_BIND, nullptr) != 0)
            test::cannotRunHere(cannotMount("a file onto another"));
        const Scanned scanned = scan(tree);
        ASSERT_TRUE(scanned.root);
        expectCounts(scanned, 3, 1000 + 300 + 5000); // a mounted file under one of its names only
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A local FUSE file system whose server stopped answering, mounted below the root: every look at
// its mount point blocks in the kernel. The scan gives it a bounded wait, counts it as a folder not
// read for that reason, and ends with everything else read; a second scan that meets it while the
// first look is still blocked does not wait again, nor look again. A scan that would hang is given
// up after a while here (the mount taken down releases it), so the test fails instead of hanging.
TEST(ScanMounts, AMountThatNeverAnswersIsAFolderNotReadAndTheScanEnds) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    dir.file("tree/a/f", 1000);
    dir.folder("tree/dead");
    dir.file("tree/z/g", 10);
    const bool ran = test::runInPrivateMounts([&] {
        auto fuse = std::make_unique<test::DeadFuse>(tree + "/dead");
        if (!fuse->isMounted()) test::cannotRunHere(fuse->whyNotMounted());
        const auto scanInTime = [&](ScanProgress& progress) {
            auto scanned = std::async(std::launch::async, [&] { return DiskScanner::scan(tree, {}, progress); });
            if (scanned.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return scanned.get();
            ADD_FAILURE() << "the scan did not end while the mount hung";
            fuse.reset();
            scanned.wait();
            return std::shared_ptr<FileNode>();
        };
        ScanProgress first, second;
        const std::shared_ptr<FileNode> root = scanInTime(first);
        ASSERT_TRUE(root);
        const std::shared_ptr<FileNode> again = scanInTime(second);
        ASSERT_TRUE(again);
        const FileNode* dead = childNamed(*root, "dead");
        ASSERT_TRUE(dead);
        EXPECT_TRUE(dead->isDenied);
        EXPECT_FALSE(dead->hasChildList());
        EXPECT_EQ(fuse->requests(), 1) << "looks at the mount";
        expectCounts({root, first.files(), first.bytes(), 0}, 2, 1010);
        EXPECT_EQ(first.unreadFolders(), 1);
        EXPECT_EQ(first.unreadWithoutAnswer(), 1);
        EXPECT_EQ(second.unreadWithoutAnswer(), 1);
        expectCounts({again, second.files(), second.bytes(), 0}, 2, 1010);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A scan of a folder on a mount that never answers, the mount point itself, a folder below it, a
// link to it or a relative path onto it, ends with its root not read, where resolving or looking
// at the root would wait for ever.
TEST(ScanMounts, ARootOnAMountThatNeverAnswersIsCountedNotRead) {
    ScanFolder dir;
    const std::string dead = dir / "dead";
    dir.folder("dead");
    const bool ran = test::runInPrivateMounts([&] {
        auto fuse = std::make_unique<test::DeadFuse>(dead);
        if (!fuse->isMounted()) ::_exit(77);
        ASSERT_EQ(::symlink(dead.c_str(), (dir / "link").c_str()), 0);
        ASSERT_EQ(::chdir(dir.path().c_str()), 0);
        for (const std::string& root : {dead, dead + "/inside/", dir / "link", std::string("dead/inside")}) {
            ScanProgress progress;
            auto scanned = std::async(std::launch::async, [&] { return DiskScanner::scan(root, {}, progress); });
            if (scanned.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
                ADD_FAILURE() << "the scan of " << root << " waited on the mount";
                fuse.reset();
            }
            const std::shared_ptr<FileNode> tree = scanned.get();
            ASSERT_TRUE(tree) << root;
            EXPECT_TRUE(tree->isDenied);
            EXPECT_EQ(tree->path(), root.ends_with("/inside/") ? dead + "/inside" : root.front() == '/' ? root : dir / root);
            EXPECT_EQ(progress.unreadWithoutAnswer(), 1);
        }
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A process whose scan met a mount that never answers can still end: the look that stays blocked
// is not one of its threads (a thread waiting on a FUSE request its server has read cannot be
// killed, and a process ends only with its last thread). Given up after a while here, with the
// mount taken down, so the test fails instead of hanging.
TEST(ScanMounts, AProcessThatMetAMountThatNeverAnswersCanEnd) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "under the thread sanitizer the look is made from a thread, not a child process";
#endif
    ScanFolder dir;
    const std::string tree = dir / "tree";
    dir.folder("tree/dead");
    dir.file("tree/f", 10);
    const bool ran = test::runInPrivateMounts([&] {
        test::DeadFuse fuse(tree + "/dead");
        if (!fuse.isMounted()) test::cannotRunHere(fuse.whyNotMounted());
        const pid_t scanner = ::fork();
        if (scanner == 0) {
            ScanProgress progress;
            const std::shared_ptr<FileNode> root = DiskScanner::scan(tree, {}, progress);
            ::_exit(root && progress.unreadWithoutAnswer() == 1 ? 0 : 1);
        }
        int scanned = -1;
        bool ended = false;
        for (int wait = 0; wait < 600 && !ended; ++wait) {
            ended = ::waitpid(scanner, &scanned, WNOHANG) == scanner;
            if (!ended) ::usleep(100 * 1000);
        }
        // Otherwise the mount goes down with `fuse`, and the scanning process with it.
        ASSERT_TRUE(ended) << "the process that scanned could not end while the mount hung";
        EXPECT_TRUE(WIFEXITED(scanned) && WEXITSTATUS(scanned) == 0);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// A root on a FUSE mount is read by gate helpers: counted whole while its server answers, and when
// the server stops in the middle of the walk (reading requests and answering none, or reading none),
// the scan ends within the bound, what was not read counted as not answering, and the process can
// end while the server stays stopped.
TEST(ScanMounts, ARootOnAMountThatStopsDuringTheWalkEndsWithinTheBound) {
    for (const bool stopsReading : {false, true}) {
        SCOPED_TRACE(stopsReading ? "a server that stops reading" : "a server that reads and never answers");
        ScanFolder dir;
        const std::string mount = dir.folder("net");
        const bool ran = test::runInPrivateMounts([&] {
            test::StallingFuse fuse(mount);
            if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
            fuse.growTree(300, 4);
            ScanProgress whole;
            const std::shared_ptr<FileNode> root = DiskScanner::scan(mount, {}, whole);
            ASSERT_TRUE(root);
            EXPECT_EQ(root->fileCount, 2 + 300 * 4);
            EXPECT_EQ(whole.unreadFolders(), 0);
            fuse.delayEvery(2);
            const bool ended = test::endsWithin(30, [&] {
                std::thread stopper([&] {
                    ::usleep(1000 * 1000);
                    if (stopsReading) fuse.stopReading();
                    else fuse.stall();
                });
                ScanProgress progress;
                const auto start = std::chrono::steady_clock::now();
                const std::shared_ptr<FileNode> cut = DiskScanner::scan(mount, {}, progress);
                const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                stopper.join();
                ASSERT_TRUE(cut);
                EXPECT_LT(took, 1.0 + std::chrono::duration<double>(PathGate::answerLimit).count() + 1.0);
                EXPECT_GT(progress.unreadWithoutAnswer(), 0);
                EXPECT_LT(cut->fileCount, 2 + 300 * 4);
            });
            EXPECT_TRUE(ended) << "the scan or its process waited on the stopped server";
        });
        if (!ran) GTEST_SKIP() << test::whyNotRun();
    }
}

// Where this process may make no child process (a sandbox's filter, a limit on processes), the
// mounts below the root are still looked at, from the scan's own thread: a limit is never taken for
// a mount that does not answer, and every file of a mount that does is counted.
TEST(ScanMounts, WithoutAChildProcessMountsThatAnswerAreReadWhole) {
    ScanFolder dir;
    const std::string tree = dir / "tree";
    dir.folder("tree/one");
    dir.folder("tree/two");
    dir.file("tree/f", 10);
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(std::vector<std::string>{tree + "/one", tree + "/two"});
        if (!fuse.isMounted() || !test::forbidChildProcesses()) ::_exit(77);
        ScanProgress progress;
        const std::shared_ptr<FileNode> root = DiskScanner::scan(tree, {}, progress);
        ASSERT_TRUE(root);
        EXPECT_EQ(progress.unreadFolders(), 0);
        EXPECT_EQ(root->fileCount, 5) << "the file, and both files of each mount";
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace, or no filter of system calls, here";
}

// Two thousand mounts that answer, under a limit of 30 processes for the user that scans (threads
// count against it): every one is looked at and read, none taken for a mount that does not answer.
TEST(ScanMounts, TwoThousandMountsUnderALimitOfThirtyProcessesAreAllRead) {
    constexpr int mounts = 2000;
    ScanFolder dir;
    const std::string tree = dir / "tree";
    std::vector<std::string> points;
    for (int i = 0; i < mounts; ++i) points.push_back(dir.folder("tree/m" + std::to_string(i)));
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const bool ran = test::runInPrivateMounts([&] {
        rlimit descriptors{};
        ::getrlimit(RLIMIT_NOFILE, &descriptors);
        descriptors.rlim_cur = descriptors.rlim_max;
        if (descriptors.rlim_max < mounts + 100 || ::setrlimit(RLIMIT_NOFILE, &descriptors) != 0) ::_exit(77);
        test::StallingFuse fuse(points);
        if (!fuse.isMounted()) ::_exit(77);
        const pid_t scanner = ::fork();
        if (scanner == 0) {
            // The limit binds an ordinary user, never root.
            rlimit processes{30, 30};
            if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                ::setresuid(65534, 65534, 65534) != 0 || ::setrlimit(RLIMIT_NPROC, &processes) != 0)
                ::_exit(77);
            ScanProgress progress;
            const std::shared_ptr<FileNode> root = DiskScanner::scan(tree, {}, progress);
            ::_exit(root && progress.unreadFolders() == 0 && root->fileCount == 2 * mounts ? 0 : 1);
        }
        int status = 0;
        ::waitpid(scanner, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77) ::_exit(77);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a mount was not read, or a file not counted";
    });
    if (!ran) GTEST_SKIP() << "no FUSE mounts in a private mount namespace, or no other user to scan as, here";
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
    const auto tinyLimit = [] {
        const rlimit tiny{16, 16};
        return ::setrlimit(RLIMIT_NOFILE, &tiny) == 0 ? std::string() : "cannot lower the descriptor limit: " + std::string(std::strerror(errno));
    };
    const bool ran = test::runInFreshChild(tinyLimit, [&] {
        const Scanned limited = scan(dir.path());
        bool denied = false;
        limited.root->walk([&](const FileNode& node) {
            denied = denied || node.isDenied;
            return true;
        });
        EXPECT_FALSE(denied) << "a folder was called unreadable for lack of a descriptor";
        EXPECT_EQ(limited.root->size, full.root->size);
        EXPECT_EQ(limited.root->fileCount, full.root->fileCount);
        EXPECT_EQ(limited.root->folderCount, full.root->folderCount);
        EXPECT_EQ(limited.files, full.files);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
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
