#include "core/DiskScanner.h"
#include "core/ScanFileSystem.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tallymere {
namespace {

// A scratch folder reachable by every user. In memory (/dev/shm) where there is one, so the large
// fixtures are quick to make.
class ScanFolder : public test::TempFolder {
public:
    ScanFolder() : TempFolder("tm-scan", ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "") {
        ::chmod(path().c_str(), 0755);
    }
};

void writeFile(const std::string& path, std::size_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    const std::string data(bytes, 'x');
    ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(bytes));
    ::close(fd);
}

void makeDir(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

using test::childNamed;

struct Scanned {
    std::shared_ptr<FileNode> root;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    std::int64_t unread = 0;
};

Scanned scan(const std::string& path, const ScanOptions& options = {}) {
    ScanProgress progress;
    auto root = DiskScanner::scan(path, options, progress);
    return {root, progress.files(), progress.bytes(), progress.unreadFolders()};
}

// What every finished tree promises, cancelled or not: parent links and depths, folder sums equal
// to their children's, and live counters equal to the regular files in the tree.
void expectConsistent(const FileNode& root, std::int64_t files, std::int64_t bytes, bool useAllocated) {
    std::int64_t regularFiles = 0, regularBytes = 0;
    root.walk([&](const FileNode& node) {
        if (!node.isDirectory && !node.isSymlink) {
            ++regularFiles;
            regularBytes += useAllocated ? node.allocated : node.size;
        }
        if (!node.isDirectory) {
            EXPECT_FALSE(node.hasChildList()) << node.path();
        }
        std::int64_t size = 0, allocated = 0, count = 0, folders = 0;
        for (const FileNode* c : node.children()) {
            EXPECT_EQ(c->parent, &node);
            EXPECT_EQ(c->depth, node.depth + 1);
            size += c->size;
            allocated += c->allocated;
            count += c->fileCount;
            if (c->isDirectory) folders += 1 + c->folderCount;
        }
        if (node.isDirectory) {
            EXPECT_EQ(node.size, size) << node.path();
            EXPECT_EQ(node.allocated, allocated) << node.path();
            EXPECT_EQ(node.fileCount, count) << node.path();
            EXPECT_EQ(node.folderCount, folders) << node.path();
        }
        return true;
    });
    EXPECT_EQ(files, regularFiles);
    EXPECT_EQ(bytes, regularBytes);
}

TEST(ScanRoot, MissingFileAndLinkRoots) {
    ScanFolder dir;
    EXPECT_EQ(scan(dir / "absent").root, nullptr);
    writeFile(dir / "movie.mp4", 5000);
    makeDir(dir / "target");
    writeFile(dir / "target/inside", 100);
    ASSERT_EQ(::symlink("target", (dir / "link").c_str()), 0);

    const Scanned file = scan(dir / "movie.mp4");
    ASSERT_TRUE(file.root);
    EXPECT_EQ(file.root->category, FileCategory::folder);
    EXPECT_EQ(file.root->size, 5000);
    EXPECT_EQ(file.root->fileCount, 1);
    EXPECT_EQ(file.files, 0) << "a single file leaves the live counters alone";

    // A root given through a link is resolved once, and the folder it leads to is scanned under
    // its physical path; a link that leads nowhere cannot be examined.
    const Scanned link = scan(dir / "link");
    ASSERT_TRUE(link.root);
    EXPECT_EQ(link.root->name(), dir / "target");
    EXPECT_EQ(link.root->size, 100);
    ASSERT_EQ(::symlink("absent", (dir / "dangling").c_str()), 0);
    EXPECT_EQ(scan(dir / "dangling").root, nullptr);
}

TEST(ScanRoot, LinksOnTheWayAreResolvedSoEveryPathIsPhysical) {
    ScanFolder dir;
    makeDir(dir / "real");
    makeDir(dir / "real/data");
    makeDir(dir / "real/data/sub");
    writeFile(dir / "real/data/sub/f", 3);
    ASSERT_EQ(::symlink("real", (dir / "alias").c_str()), 0);
    ASSERT_EQ(::symlink("data", (dir / "real/data-link").c_str()), 0);

    const Scanned scanned = scan(dir / "alias/data-link/");
    ASSERT_TRUE(scanned.root);
    EXPECT_EQ(scanned.root->name(), dir / "real/data");
    const FileNode* sub = childNamed(*scanned.root, "sub");
    ASSERT_TRUE(sub);
    ASSERT_EQ(sub->childCount(), 1u);
    EXPECT_EQ(sub->children()[0]->path(), dir / "real/data/sub/f");
    EXPECT_EQ(scanned.root->size, 3);
}

TEST(ScanRoot, PathIsStandardized) {
    ScanFolder dir;
    makeDir(dir / "a");
    EXPECT_EQ(scan(dir.path() + "/a/./../a/").root->name(), dir / "a");
}

TEST(ScanTree, SizesCountsDepthsAndCategories) {
    ScanFolder dir;
    makeDir(dir / "docs");
    writeFile(dir / "docs/a.pdf", 3000);
    writeFile(dir / "docs/b.ts", 10);
    makeDir(dir / "docs/empty");
    makeDir(dir / "Tool.app");
    writeFile(dir / "Tool.app/binary", 20);
    makeDir(dir / "backup.zip");
    writeFile(dir / "clip.mov", 7);
    ASSERT_EQ(::symlink("docs/a.pdf", (dir / "link.mp4").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);

    const Scanned scanned = scan(dir.path());
    ASSERT_TRUE(scanned.root);
    const FileNode& root = *scanned.root;
    expectConsistent(root, scanned.files, scanned.bytes, false);
    EXPECT_EQ(root.childCount(), 5u) << "the pipe is not part of the tree";
    EXPECT_EQ(root.fileCount, 5) << "four files, one of them inside the package, and the link";
    EXPECT_EQ(root.folderCount, 4);
    EXPECT_EQ(scanned.files, 4) << "links are not counted as files";
    EXPECT_EQ(scanned.bytes, 3000 + 10 + 20 + 7);

    const FileNode* docs = childNamed(root, "docs");
    ASSERT_TRUE(docs);
    EXPECT_EQ(childNamed(*docs, "b.ts")->category, FileCategory::code);
    const FileNode* empty = childNamed(*docs, "empty");
    EXPECT_TRUE(empty->hasChildList());
    EXPECT_EQ(empty->depth, 2);

    const FileNode* tool = childNamed(root, "Tool.app");
    EXPECT_TRUE(tool->isPackage);
    EXPECT_EQ(tool->category, FileCategory::app);
    EXPECT_EQ(tool->size, 20) << "packages are scanned inside";
    EXPECT_FALSE(childNamed(root, "backup.zip")->isPackage);

    const FileNode* link = childNamed(root, "link.mp4");
    EXPECT_TRUE(link->isSymlink);
    EXPECT_EQ(link->category, FileCategory::data);
    EXPECT_EQ(link->size, 10) << "the link itself, not its target";
    EXPECT_GT(childNamed(root, "clip.mov")->modified, 1.6e9);
}

TEST(ScanTree, ChildrenKeepDirectoryOrderAndScansRepeat) {
    ScanFolder dir;
    for (int i = 0; i < 40; ++i) {
        makeDir(dir / ("d" + std::to_string(i)));
        writeFile(dir / ("d" + std::to_string(i)) + "/f", static_cast<std::size_t>(i));
        writeFile(dir / ("f" + std::to_string(i)), 1);
    }
    std::vector<std::string> listed;
    DIR* stream = ::opendir(dir.path().c_str());
    while (const dirent* entry = ::readdir(stream))
        if (entry->d_name[0] != '.') listed.emplace_back(entry->d_name);
    ::closedir(stream);

    const Scanned first = scan(dir.path());
    std::vector<std::string> names;
    for (const FileNode* node : first.root->children()) names.emplace_back(node->name());
    EXPECT_EQ(names, listed);
    EXPECT_EQ(test::dumpTree(*first.root), test::dumpTree(*scan(dir.path()).root));
}

TEST(ScanTree, HiddenAndExcludedEntriesFollowTheOptions) {
    ScanFolder dir;
    makeDir(dir / ".git");
    writeFile(dir / ".git/HEAD", 5);
    writeFile(dir / "seen", 7);
    makeDir(dir / "skip");
    writeFile(dir / "skip/big", 1000);
    EXPECT_EQ(scan(dir.path()).root->childCount(), 2u);

    ScanOptions options;
    options.includeHidden = true;
    // The root itself and files are never excluded, only folders below the root.
    options.excludedPaths = {dir / "skip", dir / "seen", dir.path()};
    const Scanned scanned = scan(dir.path(), options);
    EXPECT_EQ(scanned.root->childCount(), 2u);
    EXPECT_TRUE(childNamed(*scanned.root, ".git") && childNamed(*scanned.root, "seen"));
    EXPECT_EQ(scanned.root->size, 12);
}

TEST(ScanHardLinks, SecondLinkAddsNothing) {
    ScanFolder dir;
    makeDir(dir / "a");
    makeDir(dir / "b");
    writeFile(dir / "a/one", 4096);
    ASSERT_EQ(::link((dir / "a/one").c_str(), (dir / "b/two").c_str()), 0);
    ASSERT_EQ(::link((dir / "a/one").c_str(), (dir / "three").c_str()), 0);
    writeFile(dir / "other", 10);

    const Scanned scanned = scan(dir.path());
    expectConsistent(*scanned.root, scanned.files, scanned.bytes, false);
    EXPECT_EQ(scanned.root->size, 4096 + 10);
    EXPECT_EQ(scanned.root->fileCount, 2);
    EXPECT_EQ(scanned.files, 2);
}

TEST(ScanSizes, SparseFileHasFewBlocks) {
    ScanFolder dir;
    const std::string path = dir / "sparse.img";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 64 * 1024 * 1024), 0);
    ASSERT_EQ(::pwrite(fd, "x", 1, 0), 1);
    ::close(fd);

    ScanOptions allocated;
    allocated.useAllocatedSize = true;
    const Scanned scanned = scan(dir.path(), allocated);
    const FileNode* sparse = childNamed(*scanned.root, "sparse.img");
    ASSERT_TRUE(sparse);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(sparse->size, 64 * 1024 * 1024);
    EXPECT_EQ(sparse->allocated, static_cast<std::int64_t>(st.st_blocks) * 512);
    EXPECT_LT(sparse->allocated, sparse->size);
    EXPECT_EQ(scanned.bytes, sparse->allocated);
    EXPECT_EQ(scan(dir.path()).bytes, 64 * 1024 * 1024) << "logical bytes without the option";
}

TEST(ScanNames, NonUtf8FolderIsScannedUnderItsRawName) {
    ScanFolder dir;
    const std::string raw = "caf\xe9-\xff";
    makeDir(dir / raw);
    writeFile(dir / raw + "/inner\x80.txt", 12);
    const Scanned scanned = scan(dir.path());
    const FileNode* folder = childNamed(*scanned.root, raw);
    ASSERT_TRUE(folder);
    EXPECT_FALSE(folder->isDenied);
    ASSERT_EQ(folder->childCount(), 1u);
    EXPECT_EQ(folder->children()[0]->path(), dir / raw + "/inner\x80.txt");
    EXPECT_EQ(folder->displayName(), "caf\xEF\xBF\xBD-\xEF\xBF\xBD");
}

TEST(ScanNames, FolderSwappedForALinkIsNotFollowed) {
    // Opening by path refuses links on the way, so a swapped folder cannot lead outside the root.
    ScanFolder dir;
    ScanFolder outside;
    makeDir(dir / "a");
    writeFile(outside / "secret", 5);
    ASSERT_EQ(::symlink(outside.path().c_str(), (dir / "a/b").c_str()), 0);
    ScanFileSystem::Capabilities capabilities;
    const int rootFd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_LT(ScanFileSystem::openFolder(rootFd, "a/b", capabilities), 0);
    const int inner = ScanFileSystem::openFolder(rootFd, "a", capabilities);
    EXPECT_GE(inner, 0);
    ::close(inner);
    ::close(rootFd);
}

TEST(ScanDenied, UnreadableFolderIsMarkedAndTheScanGoesOn) {
    ScanFolder dir;
    makeDir(dir / "open");
    writeFile(dir / "open/f", 9);
    makeDir(dir / "closed");
    writeFile(dir / "closed/hidden", 100);
    ASSERT_EQ(::chmod((dir / "closed").c_str(), 0), 0);
    makeDir(dir / "locked-root");
    ASSERT_EQ(::chmod((dir / "locked-root").c_str(), 0), 0);

    const bool ran = test::runUnprivileged([&] {
        const Scanned scanned = scan(dir.path());
        ASSERT_TRUE(scanned.root);
        expectConsistent(*scanned.root, scanned.files, scanned.bytes, false);
        const FileNode* closed = childNamed(*scanned.root, "closed");
        ASSERT_TRUE(closed);
        EXPECT_TRUE(closed->isDenied);
        EXPECT_FALSE(closed->hasChildList());
        EXPECT_EQ(closed->size, 0);
        EXPECT_EQ(scanned.root->size, 9);
        EXPECT_EQ(scanned.root->folderCount, 3);
        EXPECT_EQ(scanned.unread, 2) << "closed and locked-root, counted as the scan met them";

        const Scanned locked = scan(dir / "locked-root");
        ASSERT_TRUE(locked.root);
        EXPECT_TRUE(locked.root->isDenied);
        EXPECT_FALSE(locked.root->hasChildList());
        EXPECT_EQ(locked.unread, 1);
    });
    if (!ran) GTEST_SKIP() << "running as root and cannot switch to an unprivileged user";
}

TEST(ScanLimits, ThousandLevelsBeyondThePathLimit) {
    // Level names of 12 bytes make the deepest path longer than PATH_MAX.
    ScanFolder dir;
    int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 1000; ++level) {
        ASSERT_EQ(::mkdirat(fd, "level-folder", 0755), 0);
        const int next = ::openat(fd, "level-folder", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        ASSERT_GE(fd, 0);
    }
    const int file = ::openat(fd, "bottom.bin", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(file, "abcd", 4), 4);
    ::close(file);
    ::close(fd);

    const Scanned scanned = scan(dir.path());
    ASSERT_TRUE(scanned.root);
    EXPECT_EQ(scanned.root->folderCount, 1000);
    EXPECT_EQ(scanned.files, 1);
    const FileNode* node = scanned.root.get();
    while (node->hasChildren()) node = node->children()[0];
    EXPECT_EQ(node->name(), "bottom.bin");
    EXPECT_EQ(node->depth, 1001);
    EXPECT_GT(node->path().size(), 12000u);
}

TEST(ScanLimits, FolderOfTwoHundredThousandEntries) {
    ScanFolder dir;
    makeDir(dir / "many");
    const int fd = ::open((dir / "many").c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 200000; ++i) {
        const int file = ::openat(fd, ("entry-" + std::to_string(i) + ".log").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(file, 0);
        if (i % 1000 == 0) {
            ASSERT_EQ(::write(file, "z", 1), 1);
        }
        ::close(file);
    }
    ::close(fd);
    const Scanned scanned = scan(dir.path());
    ASSERT_TRUE(scanned.root);
    const FileNode* many = childNamed(*scanned.root, "many");
    EXPECT_EQ(many->childCount(), 200000u);
    EXPECT_EQ(many->size, 200);
    EXPECT_EQ(scanned.files, 200000);
}

// A folder far larger than most is shared out among the threads with nothing to do; the tree is the
// same as one thread would make: the directory's order, every subfolder read, a file under two
// names once, every sum exact.
TEST(ScanLimits, LargeFolderSharedAmongThreadsKeepsItsOrderAndSums) {
    ScanFolder dir;
    const std::string big = dir / "big";
    makeDir(big);
    for (int i = 0; i < 6000; ++i) {
        const std::string name = big + "/e" + std::to_string(i);
        if (i % 97 == 0) {
            makeDir(name);
            writeFile(name + "/inside.txt", static_cast<std::size_t>(i % 13));
        } else if (i % 101 == 0) {
            ASSERT_EQ(::symlink("elsewhere", name.c_str()), 0);
        } else {
            writeFile(name, static_cast<std::size_t>(i % 7));
        }
    }
    ASSERT_EQ(::link((big + "/e1").c_str(), (big + "/second-name").c_str()), 0);
    ASSERT_EQ(::link((big + "/e1").c_str(), (big + "/e97/third-name").c_str()), 0);
    writeFile(big + "/.hidden", 5);
    std::vector<std::string> listed;
    DIR* stream = ::opendir(big.c_str());
    while (const dirent* entry = ::readdir(stream))
        if (entry->d_name[0] != '.') listed.emplace_back(entry->d_name);
    ::closedir(stream);

    for (int round = 0; round < 3; ++round) {
        const Scanned scanned = scan(dir.path());
        ASSERT_TRUE(scanned.root);
        expectConsistent(*scanned.root, scanned.files, scanned.bytes, false);
        const FileNode* folder = childNamed(*scanned.root, "big");
        ASSERT_TRUE(folder);
        std::vector<std::string> names;
        for (const FileNode* node : folder->children()) names.emplace_back(node->name());
        // Of the names of e1, the first met stays: one of the two in this folder (the third, in a
        // subfolder, is met after both), whichever the threads met first.
        const auto has = [&](const char* name) { return std::find(names.begin(), names.end(), name) != names.end(); };
        EXPECT_NE(has("e1"), has("second-name"));
        std::vector<std::string> expected = listed;
        std::erase(expected, has("e1") ? "second-name" : "e1");
        EXPECT_EQ(names, expected);
        std::int64_t files = 0, bytes = 0;
        for (int i = 0; i < 6000; ++i) {
            if (i % 97 == 0) {
                files += 1, bytes += i % 13;
            } else if (i % 101 != 0) {
                files += 1, bytes += i % 7;
            }
        }
        EXPECT_EQ(scanned.files, files) << "every file once, the one with three names too";
        EXPECT_EQ(scanned.bytes, bytes);
        EXPECT_EQ(folder->folderCount, 62);
    }
}

// A tree of ~11,000 entries for the cancel and churn tests.
void buildWideTree(const ScanFolder& dir) {
    for (int a = 0; a < 20; ++a) {
        const std::string top = dir / ("top" + std::to_string(a));
        makeDir(top);
        for (int b = 0; b < 20; ++b) {
            const std::string mid = top + "/mid" + std::to_string(b);
            makeDir(mid);
            for (int c = 0; c < 25; ++c) writeFile(mid + "/file" + std::to_string(c) + ".txt", c);
        }
    }
}

TEST(ScanCancel, ImmediateCancelReturnsTheUnreadRoot) {
    ScanFolder dir;
    writeFile(dir / "f", 1);
    ScanProgress progress;
    progress.cancel();
    auto root = DiskScanner::scan(dir.path(), {}, progress);
    ASSERT_TRUE(root);
    EXPECT_FALSE(root->isDenied);
    EXPECT_FALSE(root->hasChildList());
    EXPECT_EQ(progress.files(), 0);
}

TEST(ScanCancel, CancelFromAnotherThreadLeavesAConsistentTree) {
    ScanFolder dir;
    buildWideTree(dir);
    // Cancel once the live counter shows a given number of files, from none to past the end.
    for (std::int64_t threshold : {0, 1, 2000, 4000, 8000, 20000}) {
        for (bool useAllocated : {false, true}) {
            ScanProgress progress;
            ScanOptions options;
            options.useAllocatedSize = useAllocated;
            std::atomic<bool> done{false};
            std::thread canceller([&] {
                while (!done.load() && progress.files() < threshold) std::this_thread::yield();
                progress.cancel();
            });
            auto root = DiskScanner::scan(dir.path(), options, progress);
            done = true;
            canceller.join();
            ASSERT_TRUE(root);
            EXPECT_FALSE(root->isDenied);
            expectConsistent(*root, progress.files(), progress.bytes(), useAllocated);
            root->walk([](const FileNode& node) {
                EXPECT_FALSE(node.isDenied) << "unread folders are not denied";
                return true;
            });
        }
    }
}

TEST(ScanChurn, EntriesVanishingDuringTheScanAreSkipped) {
    ScanFolder dir;
    buildWideTree(dir);
    std::atomic<bool> done{false};
    std::thread churn([&] {
        for (int round = 0; !done.load(); ++round) {
            for (int a = 0; a < 20; ++a) {
                const std::string mid = dir / ("top" + std::to_string(a)) + "/mid" + std::to_string(round % 20);
                const std::string file = mid + "/file" + std::to_string(round % 25) + ".txt";
                ::unlink(file.c_str());
                writeFile(file, 3);
                const std::string extra = dir / ("extra" + std::to_string(a));
                ::mkdir(extra.c_str(), 0755);
                ::rmdir(extra.c_str());
            }
        }
    });
    for (int i = 0; i < 5; ++i) {
        const Scanned scanned = scan(dir.path());
        ASSERT_TRUE(scanned.root);
        expectConsistent(*scanned.root, scanned.files, scanned.bytes, false);
        EXPECT_GE(scanned.root->folderCount, 420);
    }
    done = true;
    churn.join();
}

TEST(ScanBoundaries, VirtualAndNetworkMountsBelowTheRootOnly) {
    auto entry = [](unsigned minor, std::string point, std::string type) {
        MountEntry mount;
        mount.major = 0;
        mount.minor = minor;
        mount.mountPoint = std::move(point);
        mount.fsType = std::move(type);
        return mount;
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
    auto entry = [](unsigned minor, std::string point, std::string type) {
        MountEntry mount;
        mount.major = 8;
        mount.minor = minor;
        mount.mountPoint = std::move(point);
        mount.fsType = std::move(type);
        return mount;
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
        const bool ok = scanned.files == 2 && scanned.root->size == 1010 && scanned.root->fileCount == 2 &&
                        data && data->size == 1010 && isEmptyFolder(childNamed(*scanned.root, "mirror")) && inner &&
                        isEmptyFolder(childNamed(*inner, "loop"));
        if (!ok)
            std::fprintf(stderr, "files %lld, size %lld\n", static_cast<long long>(scanned.files),
                         static_cast<long long>(scanned.root->size));
        return ok;
    });
    if (status == 77) GTEST_SKIP() << "no private mount namespace here (needs the right to mount)";
    EXPECT_EQ(status, 0) << "a file was counted more than once, or a mounted folder was read twice";
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
