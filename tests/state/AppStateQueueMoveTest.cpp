#include "state/AppState.h"
#include "base/InodeTag.h"
#include "core/ByteFormat.h"
#include "core/DiskScanner.h"
#include "core/NodeFilter.h"
#include "platform/PathGate.h"
#include "services/DuplicateFinder.h"
#include "state/AppStateTrashFixture.h"
#include "support/DeadFuse.h"
#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "support/TreeText.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <linux/magic.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

using namespace tallymere;
using namespace tallymere::test;

TEST_F(AppStateTrash, EmptyingMovesEveryItemAndReportsTheBytes) {
    state.setUseAllocatedSize(false);
    state.enqueue(node("one.bin"));
    state.enqueue(node("sub"));
    emptyQueueAndWait(state);

    EXPECT_TRUE(state.queue().empty());
    EXPECT_EQ(state.lastReclaim(), 7000);
    EXPECT_TRUE(inTrash("one.bin"));
    EXPECT_TRUE(inTrash("sub"));
    EXPECT_FALSE(std::filesystem::exists(scanRoot + "/one.bin"));
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::success);
    EXPECT_EQ(state.banner()->title, "Moved 2 items to Trash");
    EXPECT_EQ(state.banner()->detail,
              QString::fromStdString(ByteFormat::unbroken(7000) + " will be reclaimed when the Trash is emptied."));
    // The trees are left as they were until the next scan.
    EXPECT_TRUE(node("one.bin"));

    state.enqueue(node("two.bin"));
    const auto firstBanner = *state.banner();
    emptyQueueAndWait(state);
    EXPECT_EQ(state.banner()->title, "Moved 1 item to Trash");
    EXPECT_NE(state.banner()->id, firstBanner.id);
}

TEST_F(AppStateTrash, VanishedItemsStayStagedAndTheRestStillMove) {
    state.enqueue(node("one.bin"));
    state.enqueue(node("two.bin"));
    state.enqueue(node("keep.txt"));
    std::filesystem::remove(scanRoot + "/two.bin"); // gone behind the program's back
    const std::int64_t expected = node("one.bin")->allocated + node("keep.txt")->allocated;

    emptyQueueAndWait(state);
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{scanRoot + "/two.bin"}));
    EXPECT_EQ(state.lastReclaim(), expected);
    EXPECT_TRUE(inTrash("one.bin"));
    EXPECT_TRUE(inTrash("keep.txt"));
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::warning);
    EXPECT_EQ(state.banner()->title, "1 item could not be moved");
    // The system's message names no item: the detail does.
    EXPECT_EQ(state.banner()->detail, "two.bin: No such file or directory");

    // Even when the name is a word of the message.
    dir.file("scan/file", 10);
    ASSERT_TRUE(scanAndWait(state, scanRoot));
    state.setQueue({});
    state.enqueue(node("file"));
    std::filesystem::remove(scanRoot + "/file");
    emptyQueueAndWait(state);
    EXPECT_EQ(state.banner()->detail, "file: No such file or directory");
}

TEST_F(AppStateTrash, AFolderSwappedForALinkKeepsItsItemStagedAndTheLinksTargetUntouched) {
    state.enqueue(node("sub/three.bin"));
    // After the scan, sub becomes a link to a folder with a file of the same name.
    dir.file("elsewhere/three.bin", 77);
    std::filesystem::rename(scanRoot + "/sub", scanRoot + "/sub.real");
    std::filesystem::create_directory_symlink(dir / "elsewhere", scanRoot + "/sub");

    emptyQueueAndWait(state);
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{scanRoot + "/sub/three.bin"}));
    EXPECT_EQ(std::filesystem::file_size(dir / "elsewhere/three.bin"), 77u);
    EXPECT_TRUE(std::filesystem::exists(scanRoot + "/sub.real/three.bin"));
    EXPECT_FALSE(inTrash("three.bin"));
    EXPECT_EQ(state.lastReclaim(), 0);
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::warning);
    EXPECT_EQ(state.banner()->title, "1 item could not be moved");
    EXPECT_EQ(state.banner()->detail, QStringLiteral("three.bin changed since the scan"));
    EXPECT_EQ(state.trashFailure(node("sub/three.bin").get()), "three.bin changed since the scan");

    // Opening it would open the link's target, which was never scanned; what was, still opens.
    state.setDesktop(&desktop);
    state.openItem(node("sub/three.bin"));
    EXPECT_TRUE(desktop.opened.empty());
    EXPECT_EQ(state.banner()->title, QStringLiteral("Could not open three.bin"));
    EXPECT_EQ(state.banner()->detail, QStringLiteral("three.bin changed since the scan"));
    state.openItem(node("one.bin"));
    state.openItem(node("sub"));
    EXPECT_EQ(desktop.opened, (std::vector<std::string>{scanRoot + "/one.bin"}));
}

TEST_F(AppStateTrash, AnItemReplacedSinceTheScanStaysStagedAndNothingOfItsNameMoves) {
    struct statfs disk {};
    ASSERT_EQ(::statfs(scanRoot.c_str(), &disk), 0);
    if (disk.f_type == FUSE_SUPER_MAGIC) GTEST_SKIP() << "a FUSE folder keeps no inode numbers to tell items apart";
    dir.file("scan/gone/inner.bin", 100);
    dir.file("scan/file.bin", 100);
    dir.file("scan/stays.bin", 100);
    ASSERT_TRUE(scanAndWait(state, scanRoot));
    const std::vector<std::string> replaced{"one.bin", "two.bin", "keep.txt", "sub", "gone", "file.bin"};
    for (const std::string& name : replaced) state.enqueue(node(name));
    state.enqueue(node("stays.bin"));

    // Another file or folder in its place, whose inode tells it apart (rename() keeps the newcomer's).
    const auto tagOf = [](const std::string& path) {
        struct stat info {};
        ::lstat(path.c_str(), &info);
        return inodeTag(info.st_ino);
    };
    const auto replaceWithAnother = [&](const std::string& name, bool folder) {
        std::string newcomer;
        for (int i = 0; newcomer.empty() || tagOf(newcomer) == node(name)->inodeTag; ++i) {
            const std::string candidate = "new/" + std::to_string(i);
            newcomer = folder ? dir.folder(candidate) : dir.file(candidate, 5000);
        }
        if (folder) std::filesystem::rename(scanRoot + "/" + name, dir / (name + ".old"));
        std::filesystem::rename(newcomer, scanRoot + "/" + name);
    };
    replaceWithAnother("one.bin", false);
    // A pipe, a link, another folder of the same name, a folder turned into a file and back.
    std::filesystem::remove(scanRoot + "/two.bin");
    ASSERT_EQ(::mkfifo((scanRoot + "/two.bin").c_str(), 0600), 0);
    std::filesystem::remove(scanRoot + "/keep.txt");
    std::filesystem::create_symlink(dir.file("elsewhere/keep.txt", 10), scanRoot + "/keep.txt");
    replaceWithAnother("sub", true);
    dir.file("scan/sub/three.bin", 2000);
    std::filesystem::remove_all(scanRoot + "/gone");
    dir.file("scan/gone", 10);
    std::filesystem::remove(scanRoot + "/file.bin");
    dir.file("scan/file.bin/inner", 100);

    emptyQueueAndWait(state);
    std::vector<std::string> expected;
    for (const std::string& name : replaced) expected.push_back(scanRoot + "/" + name);
    EXPECT_EQ(queuedPaths(state), expected);
    for (const std::string& name : replaced) {
        EXPECT_FALSE(inTrash(name)) << name;
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(scanRoot + "/" + name))) << name;
        EXPECT_EQ(state.trashFailure(node(name).get()), name + " changed since the scan");
    }
    EXPECT_TRUE(std::filesystem::is_fifo(scanRoot + "/two.bin"));
    EXPECT_TRUE(std::filesystem::exists(dir / "elsewhere/keep.txt"));
    // What the scan saw, unchanged, still moves.
    EXPECT_TRUE(inTrash("stays.bin"));
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->title, "6 items could not be moved");

    // Nor is any of them handed to an application to open: it would open, or run, the newcomer.
    state.setDesktop(&desktop);
    for (const std::string& name : replaced) {
        state.openItem(node(name));
        ASSERT_TRUE(state.banner().has_value());
        EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::error);
        EXPECT_EQ(state.banner()->title, QString::fromStdString("Could not open " + name));
        EXPECT_EQ(state.banner()->detail, QString::fromStdString(name + " changed since the scan"));
    }
    EXPECT_TRUE(desktop.opened.empty());
    state.setBanner(std::nullopt);
    state.openItem(node("sub/three.bin")); // inside a folder that was replaced: not the file scanned
    EXPECT_TRUE(desktop.opened.empty());
    EXPECT_TRUE(state.banner().has_value());
}

// The search's verdict is only as good as the files are still as it found them: a staged copy moves
// while it is itself unchanged and another copy of its group stays, unchanged and not staged.
TEST_F(AppStateTrash, AStagedCopyMovesOnlyWhileAnotherCopyStaysAsTheSearchFoundIt) {
    // Group N: the kept copy "kN" and its extra "extra/kN-copy", each group of its own size.
    for (int n = 1; n <= 5; ++n) {
        dir.file("dups/k" + std::to_string(n), 1000 + n);
        dir.file("dups/extra/k" + std::to_string(n) + "-copy", 1000 + n);
    }
    const std::string root = dir / "dups";
    ASSERT_TRUE(scanAndWait(state, root));
    DuplicateFinder::Progress progress;
    std::vector<DuplicateFinder::Group> groups = DuplicateFinder::find(state.displayRoot(), 1, progress);
    ASSERT_EQ(groups.size(), 5u);
    std::sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) { return a.size < b.size; });
    for (const auto& group : groups) {
        ASSERT_EQ(group.files.front()->name(), "k" + std::to_string(group.size - 1000));
        state.stageExtras(group);
    }
    state.toggleCopy(groups[4], 0); // every copy of the fifth group staged
    ASSERT_EQ(state.queue().size(), 6u);

    // Since the search: k1 deleted, k2 grown, k3's extra cut short; k4 as it was.
    std::filesystem::remove(root + "/k1");
    std::ofstream(root + "/k2", std::ios::app) << "more";
    std::filesystem::resize_file(root + "/extra/k3-copy", 10);
    emptyQueueAndWait(state);

    const std::vector<std::string> stay = {"extra/k1-copy", "extra/k2-copy", "extra/k3-copy", "extra/k5-copy", "k5"};
    std::vector<std::string> staged;
    for (const auto& item : state.queue()) staged.push_back(item->path().substr(root.size() + 1));
    std::sort(staged.begin(), staged.end());
    EXPECT_EQ(staged, stay);
    for (const std::string& relative : stay) EXPECT_TRUE(std::filesystem::exists(root + "/" + relative)) << relative;
    EXPECT_FALSE(std::filesystem::exists(root + "/extra/k4-copy"));
    EXPECT_TRUE(inTrash("k4-copy"));
    const auto failure = [&](const std::string& relative) {
        return state.trashFailure(AppState::nodeAt(root + "/" + relative, state.displayRoot()).get());
    };
    EXPECT_EQ(failure("extra/k1-copy"), "No other copy of k1-copy is left as the search found it");
    EXPECT_EQ(failure("extra/k2-copy"), "No other copy of k2-copy is left as the search found it");
    EXPECT_EQ(failure("extra/k3-copy"), "k3-copy changed since the scan");
    EXPECT_EQ(failure("extra/k5-copy"), "No other copy of k5-copy is left as the search found it");
    EXPECT_EQ(failure("k5"), "No other copy of k5 is left as the search found it");
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->title, "5 items could not be moved");

    // Unstaged and staged again by hand, a copy is an item like any other.
    state.toggleQueue(AppState::nodeAt(root + "/k5", state.displayRoot()));
    state.toggleQueue(AppState::nodeAt(root + "/k5", state.displayRoot()));
    emptyQueueAndWait(state);
    EXPECT_TRUE(inTrash("k5"));
}

// A kept copy on a FUSE mount that stopped answering after the search is looked at through the
// gate: the move tells so within its bound and holds the staged copy, where it waited on the
// window's thread for as long as the mount stayed stuck; and the process can end.
TEST_F(AppStateTrash, ACopyOnAMountThatStoppedAnsweringHoldsTheMoveWithoutAWait) {
    dir.folder("dups/copies");
    std::ofstream(dir / "dups/copies/file.txt") << "hello\n";
    const std::string mount = dir.folder("dups/net");
    const bool ran = runInPrivateMounts([&] {
        auto fuse = std::make_unique<StallingFuse>(mount);
        if (!fuse->isMounted()) ::_exit(77);
        ScanProgress scanned;
        const auto tree = DiskScanner::scan(dir / "dups", {}, scanned);
        DuplicateFinder::Progress progress;
        const auto groups = DuplicateFinder::find(tree, 1, progress);
        ASSERT_EQ(groups.size(), 1u);
        ASSERT_EQ(groups[0].files[0]->path(), mount + "/file.txt");
        state.stageExtras(groups[0]);
        fuse->stall();

        const bool ended = endsWithin(30, [&] {
            state.emptyQueue();
            // The kept copy staged as well: its own look says why it stays.
            state.toggleCopy(groups[0], 0);
            state.emptyQueue();
            EXPECT_EQ(state.queue().size(), 2u);
            EXPECT_TRUE(std::filesystem::exists(dir / "dups/copies/file.txt"));
            EXPECT_EQ(state.trashFailure(groups[0].files[1].get()), "No other copy of file.txt is left as the search found it");
            EXPECT_EQ(state.trashFailure(groups[0].files[0].get()), "Its file system does not answer");
        });
        EXPECT_TRUE(ended) << "a process that moved beside the mount could not end";
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
}

// A copy in the Trash goes when the Trash is emptied: it never stands in for the copy that moves,
// even in a group that holds it (a search that did not know that Trash).
TEST_F(AppStateTrash, ACopyWhoseOnlyOtherCopyIsInTheTrashStays) {
    dir.file("Documents/Work/Reports/2026/Q4/summary-q4.pdf", 4321);
    dir.file("data/Trash/files/s.pdf", 4321);
    // Scanned while the data folder was another: the search took the Trash for a folder like any.
    ::setenv("XDG_DATA_HOME", (dir / "elsewhere").c_str(), 1);
    ASSERT_TRUE(scanAndWait(state, dir.path()));
    DuplicateFinder::Progress progress;
    const auto groups = DuplicateFinder::find(state.displayRoot(), 4321, progress);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0].files[0]->name(), "s.pdf");
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ASSERT_TRUE(scanAndWait(state, scanRoot)); // the places are looked at again, this Trash among them
    state.stageExtras(groups[0]);
    ASSERT_EQ(state.queue().size(), 1u);

    emptyQueueAndWait(state);
    EXPECT_TRUE(std::filesystem::exists(dir / "Documents/Work/Reports/2026/Q4/summary-q4.pdf"));
    EXPECT_EQ(state.queue().size(), 1u);
    EXPECT_EQ(state.trashFailure(groups[0].files[1].get()), "No other copy of summary-q4.pdf is left outside the Trash");
}

TEST_F(AppStateTrash, AReasonThatNamesTheItemIsOneLineThatNothingReorders) {
    const std::string name = "bidi\u202Eevil\n.txt";
    dir.file("scan/" + name, 10);
    ASSERT_TRUE(scanAndWait(state, scanRoot));
    state.enqueue(node(name));
    std::filesystem::remove(scanRoot + "/" + name);
    dir.folder("scan/" + name);
    emptyQueueAndWait(state);
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->detail, QStringLiteral("bidi\\u202eevil\\n.txt changed since the scan"));
}

TEST_F(AppStateTrash, AScanStartedThroughALinkMovesItsItems) {
    // The link was there before the scan: the tree holds the real folder's paths, and only links
    // that appear after the scan are refused.
    std::filesystem::create_directory_symlink(scanRoot, dir / "alias");
    ASSERT_TRUE(scanAndWait(state, dir / "alias"));
    ASSERT_EQ(state.root()->path(), scanRoot);
    state.enqueue(node("sub/three.bin"));
    emptyQueueAndWait(state);
    EXPECT_TRUE(state.queue().empty());
    EXPECT_TRUE(inTrash("three.bin"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "alias"));
}

TEST_F(AppStateTrash, AFolderStagedFromTheFilteredTreeIsConfirmedAndCountedWithAllItHolds) {
    // The filter shows one file of the scanned folder; staged, the folder moves with all four.
    state.setUseAllocatedSize(false);
    state.setFilter(NodeFilter{.query = "one"});
    ASSERT_TRUE(waitUntil([&] { return !state.isFiltering() && state.displayRoot() != state.root(); }));
    const AppState::NodePtr shown = state.displayRoot();
    ASSERT_EQ(shown->bytes(false), 5000);
    state.enqueue(shown);
    EXPECT_TRUE(state.isQueued(shown.get()));
    EXPECT_EQ(state.queueTotal(), 10010);
    emptyQueueAndWait(state);
    EXPECT_EQ(state.lastReclaim(), 10010);
    EXPECT_TRUE(inTrash("scan"));
    EXPECT_FALSE(std::filesystem::exists(scanRoot));
}

TEST_F(AppStateTrash, EmptyQueueDoesNothing) {
    state.setBanner(std::nullopt);
    emptyQueueAndWait(state);
    EXPECT_FALSE(state.banner().has_value());
    EXPECT_EQ(state.lastReclaim(), 0);
}

// A volume mounted below a staged folder once the emptying is under way (a stick, an automount)
// would go into the Trash with the folder, and emptying the Trash would delete what it holds: the
// folder stays, with the move's reason, and the store's places come to know the volume.
TEST_F(AppStateTrash, AVolumeMountedBelowAStagedFolderDuringTheEmptyingStaysWithItsFolder) {
    const bool ran = runInPrivateMounts([&] {
        AppState watching{memoryStore()}; // made in this namespace, so it watches its mount table
        for (int i = 0; i < 1000; ++i) dir.file("scan/many/f" + std::to_string(i), 1);
        const std::string volume = dir.folder("scan/x/sub");
        ASSERT_TRUE(scanAndWait(state, scanRoot));
        std::vector<AppState::NodePtr> staged;
        for (FileNode* file : node("many")->children()) staged.push_back(state.retain(file));
        staged.push_back(node("x"));
        state.setQueue(staged);
        state.emptyQueue();
        ASSERT_TRUE(state.isEmptying() && std::filesystem::exists(volume)) << "the first slice reached the folder";
        if (::mount("tm-late", volume.c_str(), "tmpfs", 0, "size=1m") != 0) cannotRunHere("cannot mount a tmpfs here");
        std::ofstream(volume + "/kept") << "data";
        ASSERT_TRUE(waitUntil([&] { return !state.isEmptying(); }));
        EXPECT_EQ(queuedPaths(state), std::vector<std::string>{scanRoot + "/x"});
        EXPECT_EQ(state.trashFailure(node("x").get()), scanRoot + "/x holds a mounted volume (" + volume + ")");
        EXPECT_TRUE(std::filesystem::exists(volume + "/kept"));
        EXPECT_FALSE(inTrash("x"));
        EXPECT_TRUE(inTrash("f999"));
        struct stat mounted {};
        ASSERT_EQ(::stat(volume.c_str(), &mounted), 0);
        EXPECT_TRUE(waitUntil([&] {
            return watching.places() && !watching.places()->at(mounted.st_dev, mounted.st_ino).empty();
        }, 10000));
    });
    if (!ran) GTEST_SKIP() << whyNotRun();
}

// Mounts that never answer hold no emptying on the window's thread: it starts from the places the
// store keeps, looked at elsewhere.
TEST_F(AppStateTrash, AnEmptyingBesideMountsThatNeverAnswerGivesTheWindowBackAtOnce) {
    const bool ran = runInPrivateMounts([&] {
        std::vector<std::unique_ptr<DeadFuse>> silent;
        for (int i = 0; i < 4; ++i) {
            silent.push_back(std::make_unique<DeadFuse>(dir.folder("dead/" + std::to_string(i))));
            if (!silent.back()->isMounted()) cannotRunHere(silent.back()->whyNotMounted());
        }
        state.enqueue(node("one.bin"));
        const auto asked = std::chrono::steady_clock::now();
        state.emptyQueue();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, PathGate::answerLimit / 2);
        ASSERT_TRUE(waitUntil([&] { return !state.isEmptying(); }));
        EXPECT_TRUE(inTrash("one.bin"));
    });
    if (!ran) GTEST_SKIP() << whyNotRun();
}

// Asked before the store's first look at the places has arrived, the emptying waits for it rather
// than looking itself, then moves.
TEST(AppStateEmptying, AskedBeforeThePlacesAreKnownItStartsWhenTheyArrive) {
    AppState state{memoryStore()};
    const AppState::NodePtr tree = treeFromText("/nowhere-at-all/\n  gone.bin 5\n");
    state.setQueue({AppState::nodeAt("/nowhere-at-all/gone.bin", tree)});
    ASSERT_EQ(state.places(), nullptr);
    state.emptyQueue();
    EXPECT_TRUE(state.isEmptying());
    ASSERT_TRUE(waitUntil([&] { return !state.isEmptying(); }));
    EXPECT_NE(state.places(), nullptr);
    EXPECT_EQ(state.trashFailure(tree->children()[0]), "No such file or directory");
}
