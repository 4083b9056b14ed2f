#include "core/DiskScanner.h"
#include "core/ScanFileSystem.h"
#include "support/ScanFixture.h"
#include "support/Unprivileged.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tallymere {
namespace {

using namespace test::scan;
using test::childNamed;


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
    bool crossed = false;
    const int rootFd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_LT(ScanFileSystem::openFolder(rootFd, "a/b", capabilities, crossed), 0);
    const int inner = ScanFileSystem::openFolder(rootFd, "a", capabilities, crossed);
    EXPECT_GE(inner, 0);
    EXPECT_FALSE(crossed);
    EXPECT_LT(ScanFileSystem::openChild(inner, "b", capabilities, crossed), 0);
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
    // Listed but not searchable: its names can be read, nothing about them can.
    makeDir(dir / "listed");
    makeDir(dir / "listed/inner");
    writeFile(dir / "listed/inner/g", 50);
    ASSERT_EQ(::chmod((dir / "listed").c_str(), 0644), 0);
    // The same with files alone in it: they are unknown, so it counts as unread.
    makeDir(dir / "shut");
    writeFile(dir / "shut/a", 70);
    ASSERT_EQ(::chmod((dir / "shut").c_str(), 0644), 0);

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
        EXPECT_EQ(scanned.root->folderCount, 6);
        const FileNode* listed = childNamed(*scanned.root, "listed");
        const FileNode* inner = listed ? childNamed(*listed, "inner") : nullptr;
        ASSERT_TRUE(inner) << "a folder that cannot be looked at is no folder that vanished";
        EXPECT_TRUE(inner->isDenied);
        EXPECT_FALSE(listed->isDenied) << "what it holds is known: one folder, counted as unread itself";
        const FileNode* shut = childNamed(*scanned.root, "shut");
        ASSERT_TRUE(shut);
        EXPECT_TRUE(shut->isDenied);
        EXPECT_EQ(shut->size, 0);
        EXPECT_EQ(scanned.unread, 4) << "closed, locked-root, listed/inner and shut, counted as the scan met them";

        const Scanned locked = scan(dir / "locked-root");
        ASSERT_TRUE(locked.root);
        EXPECT_TRUE(locked.root->isDenied);
        EXPECT_FALSE(locked.root->hasChildList());
        EXPECT_EQ(locked.unread, 1);
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
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

    // While the folder is read, the live counts move and the folder shows as the one under way:
    // a scan cancelled as soon as either shows has read only part of it.
    const std::string manyPath = dir / "many";
    const auto cancelledOnceSeen = [&](const std::function<bool(const ScanProgress&)>& seen) {
        ScanProgress progress;
        std::atomic<bool> done{false};
        std::thread canceller([&] {
            while (!done.load() && !seen(progress)) std::this_thread::yield();
            progress.cancel();
        });
        auto root = DiskScanner::scan(dir.path(), {}, progress);
        done = true;
        canceller.join();
        const FileNode* folder = root ? childNamed(*root, "many") : nullptr;
        return folder ? folder->childCount() : std::size_t(0);
    };
    const std::size_t counted = cancelledOnceSeen([](const ScanProgress& p) { return p.files() > 0; });
    EXPECT_GT(counted, 0u);
    EXPECT_LT(counted, 100000u) << "the files were counted only once the folder was almost done";
    const std::size_t shown = cancelledOnceSeen([&](const ScanProgress& p) { return p.current() == manyPath; });
    EXPECT_GT(shown, 0u);
    EXPECT_LT(shown, 100000u) << "the folder was not shown while it was read";
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

} // namespace
} // namespace tallymere
