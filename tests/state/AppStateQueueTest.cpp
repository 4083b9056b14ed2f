#include "state/AppState.h"
#include "base/InodeTag.h"
#include "base/PathText.h"
#include "state/AppStateTestSupport.h"
#include "core/ByteFormat.h"
#include "core/CleanupPreset.h"
#include "core/DiskScanner.h"
#include "core/NodeFilter.h"
#include "services/DuplicateFinder.h"
#include "support/EndsWithin.h"
#include "support/RecordingDesktop.h"
#include "support/StallingFuse.h"
#include "support/TreeText.h"
#include "support/Unprivileged.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <linux/magic.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace tallymere;
using namespace tallymere::test;

namespace {

constexpr const char* treeText =
    "/t/\n"
    "  a/\n"
    "    b/\n"
    "      deep 10 alloc=4096\n"
    "    bc 20 alloc=4096\n"
    "  c 30 alloc=8192\n";

std::vector<std::string> queuedPaths(const AppState& state) {
    std::vector<std::string> paths;
    for (const auto& item : state.queue()) paths.push_back(item->path());
    return paths;
}

} // namespace

TEST(AppStateQueueRules, FolderReplacesItemsInsideItAndKeepsTheOthersInOrder) {
    AppState state(memoryStore());
    auto tree = treeFromText(treeText);
    state.enqueue(AppState::nodeAt("/t/a/b/deep", tree));
    state.enqueue(AppState::nodeAt("/t/c", tree));
    state.enqueue(AppState::nodeAt("/t/a", tree));
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{"/t/c", "/t/a"}));

    state.enqueue(AppState::nodeAt("/t/a/b/deep", tree)); // inside a staged folder, at any depth
    state.enqueue(AppState::nodeAt("/t/a/bc", tree));
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{"/t/c", "/t/a"}));
}

TEST(AppStateQueueRules, SiblingWithALongerNameIsNotInsideAFolder) {
    AppState state(memoryStore());
    auto tree = treeFromText(treeText);
    state.enqueue(AppState::nodeAt("/t/a/b", tree));
    state.enqueue(AppState::nodeAt("/t/a/bc", tree));
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{"/t/a/b", "/t/a/bc"}));
}

TEST(AppStateQueueRules, SamePathFromAnotherTreeIsOneItem) {
    AppState state(memoryStore());
    auto scanned = treeFromText(treeText);
    auto filtered = treeFromText(treeText); // new nodes, same paths, as a filtered copy has
    state.enqueue(AppState::nodeAt("/t/c", scanned));
    state.enqueue(AppState::nodeAt("/t/c", filtered));
    EXPECT_EQ(state.queue().size(), 1u);
    EXPECT_EQ(state.queueTotal(), 8192);
    EXPECT_TRUE(state.isQueued(AppState::nodeAt("/t/c", filtered).get()));

    state.toggleQueue(AppState::nodeAt("/t/c", filtered)); // removes the item staged from the other tree
    EXPECT_TRUE(state.queue().empty());
    state.toggleQueue(AppState::nodeAt("/t/c", filtered));
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{"/t/c"}));

    state.setQueue({AppState::nodeAt("/t/c", scanned), AppState::nodeAt("/t/c", filtered), nullptr});
    EXPECT_EQ(state.queue().size(), 1u);
}

TEST(AppStateQueueRules, TheRootOfTheDiskIsNeverStaged) {
    AppState state(memoryStore());
    auto disk = treeFromText("/\n  home/\n    f 5\n");
    state.enqueue(AppState::nodeAt("/home/f", disk));
    state.enqueue(disk);
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{"/home/f"}));
    state.enqueue(AppState::nodeAt("/home", disk));
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{"/home"}));
}

TEST(AppStateQueueRules, TotalsAndSharesFollowTheSizeMode) {
    AppState state(memoryStore());
    auto tree = treeFromText(treeText);
    state.enqueue(AppState::nodeAt("/t/a/bc", tree));
    state.enqueue(AppState::nodeAt("/t/c", tree));
    EXPECT_EQ(state.queueTotal(), 4096 + 8192);
    state.setUseAllocatedSize(false);
    EXPECT_EQ(state.queueTotal(), 50);
    EXPECT_EQ(state.share(tree.get()), 0.0); // nothing on display yet

    // Queued nodes keep their tree: its paths stay whole after every other holder let go.
    tree.reset();
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{"/t/a/bc", "/t/c"}));
}

namespace {

// A real scanned tree and a Trash in a private data folder on the same device.
class AppStateTrash : public ::testing::Test {
protected:
    void SetUp() override {
        const char* previous = std::getenv("XDG_DATA_HOME");
        if (previous) savedDataHome = previous;
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        dir.folder("data");
        dir.file("scan/one.bin", 5000);
        dir.file("scan/two.bin", 3000);
        dir.file("scan/keep.txt", 10);
        dir.file("scan/sub/three.bin", 2000);
        scanRoot = dir / "scan";
        ASSERT_TRUE(scanAndWait(state, scanRoot));
        ASSERT_TRUE(state.root());
    }
    void TearDown() override {
        if (savedDataHome) ::setenv("XDG_DATA_HOME", savedDataHome->c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
    }

    AppState::NodePtr node(const std::string& relative) {
        return AppState::nodeAt(scanRoot + "/" + relative, state.displayRoot());
    }
    bool inTrash(const std::string& name) { return std::filesystem::exists(dir / ("data/Trash/files/" + name)); }

    TempFolder dir;
    std::optional<std::string> savedDataHome;
    std::string scanRoot;
    // Before the store: the desktop it reports to must outlive it.
    RecordingDesktop desktop;
    AppState state{memoryStore()};
};

} // namespace

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
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    DuplicateFinder::Progress progress;
    const auto groups = DuplicateFinder::find(state.displayRoot(), 4321, progress);
    ASSERT_EQ(groups.size(), 1u);
    ASSERT_EQ(groups[0].files[0]->name(), "s.pdf");
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

// Staged, a Trash would promise space the move then refuses: it is refused at once, with the
// move's own reason, and the queue and its total count only what can move.
TEST_F(AppStateTrash, ATrashAnItemInOneOrAFolderHoldingOneIsRefusedWithTheMovesReason) {
    dir.file("data/Trash/files/old.iso", 7000);
    dir.file("data/Trash/info/old.iso.trashinfo", 60);
    ASSERT_TRUE(scanAndWait(state, dir.path()));
    const auto at = [&](const std::string& relative) { return AppState::nodeAt(dir / relative, state.displayRoot()); };
    const std::vector<std::pair<std::string, std::string>> refused{
        {"data/Trash", dir / "data/Trash is the Trash"},
        {"data/Trash/files/old.iso", dir / "data/Trash/files/old.iso is in the Trash"},
        {"data", dir / "data holds the Trash"}};
    for (const auto& [relative, reason] : refused) {
        state.setBanner(std::nullopt);
        state.toggleQueue(at(relative));
        EXPECT_TRUE(state.queue().empty()) << relative;
        ASSERT_TRUE(state.banner()) << relative;
        EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::error);
        EXPECT_EQ(state.banner()->title, QString::fromStdString("Could not stage " + PathText::lastComponent(relative)));
        EXPECT_EQ(state.banner()->detail, QString::fromStdString(reason));
    }
    EXPECT_EQ(state.queueTotal(), 0);
    const std::vector<const FileNode*> listed{at("data/Trash/files/old.iso").get(), at("scan/one.bin").get(),
                                              at("scan/two.bin").get()};
    EXPECT_EQ(state.stageable(listed, 5), (std::vector<const FileNode*>{listed[1], listed[2]}));
    EXPECT_EQ(state.stageable(listed, 1), (std::vector<const FileNode*>{listed[1]}));
    // Staged together, nodes are one change of the queue, and the refused one raises its banner.
    int changes = 0;
    QObject::connect(&state, &AppState::queueChanged, [&] { ++changes; });
    state.setBanner(std::nullopt);
    state.enqueue(std::vector<AppState::NodePtr>{at("data/Trash"), at("scan/one.bin"), at("scan/two.bin"), at("scan/one.bin")});
    EXPECT_EQ(queuedPaths(state), (std::vector<std::string>{dir / "scan/one.bin", dir / "scan/two.bin"}));
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->title, "Could not stage Trash");
}

// The home is never staged or moved, whatever the environment says: here its data folder, and so
// the Trash, lies elsewhere. A queue made by another road is refused again at the move. The home
// Trash of a home reached through a link is known as well, by its identity.
TEST_F(AppStateTrash, TheHomeAndATrashBehindALinkAreRefusedAtStagingAndAtTheMove) {
    struct RestoreHome {
        const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
        ~RestoreHome() { ::setenv("HOME", home.c_str(), 1); }
    } restore;
    struct Case {
        const char* home;       // HOME, below the scratch folder
        const char* dataHome;   // XDG_DATA_HOME, below the scratch folder; none: the default
        const char* staged;     // below the scratch folder
        const char* reason;     // after the staged item's path; whole when it starts with "The"
    };
    const std::vector<Case> cases{
        {"home", "data", "home", "The home folder cannot be moved to the Trash"},
        {"alias", nullptr, "bob/.local/share/Trash/files/old.txt", " is in the Trash"},
    };
    dir.file("home/notes.txt", 100);
    dir.file("bob/.local/share/Trash/files/old.txt", 100);
    std::filesystem::create_directory_symlink(dir / "bob", dir / "alias");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.staged);
        ::setenv("HOME", (dir / c.home).c_str(), 1);
        if (c.dataHome) ::setenv("XDG_DATA_HOME", (dir / c.dataHome).c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
        ASSERT_TRUE(scanAndWait(state, dir.path()));
        const AppState::NodePtr staged = AppState::nodeAt(dir / c.staged, state.displayRoot());
        ASSERT_TRUE(staged);
        const std::string reason = c.reason[0] == ' ' ? dir / (c.staged + std::string(c.reason)) : c.reason;
        state.setBanner(std::nullopt);
        state.toggleQueue(staged);
        EXPECT_TRUE(state.queue().empty());
        ASSERT_TRUE(state.banner());
        EXPECT_EQ(state.banner()->title, QString::fromStdString("Could not stage " + PathText::lastComponent(c.staged)));
        EXPECT_EQ(state.banner()->detail, QString::fromStdString(reason));
        state.setQueue({staged});
        ASSERT_EQ(state.queue().size(), 1u);
        state.emptyQueue();
        EXPECT_EQ(state.trashFailure(staged.get()), reason);
        EXPECT_TRUE(std::filesystem::exists(dir / c.staged));
        state.setQueue({});
    }
}

// Moving a folder takes every volume mounted below it along into the Trash, where emptying the
// Trash would delete the volume's files: staged, it is refused as the move refuses it.
TEST_F(AppStateTrash, AFolderHoldingAMountedVolumeIsRefusedWithTheMovesReason) {
    const std::string volume = dir.folder("scan/sub/volume");
    const bool ran = runInPrivateMounts([&] {
        if (::mount("tm-volume", volume.c_str(), "tmpfs", 0, "size=1m") != 0)
            cannotRunHere("cannot mount a tmpfs here (" + std::string(std::strerror(errno)) + ")");
        // The namespace is this thread's alone: the pool's threads, made before it, are let go so
        // that the scan's are made in it.
        QThreadPool::globalInstance()->waitForDone();
        ASSERT_TRUE(scanAndWait(state, scanRoot));
        state.toggleQueue(node("sub"));
        EXPECT_TRUE(state.queue().empty());
        ASSERT_TRUE(state.banner());
        EXPECT_EQ(state.banner()->title, "Could not stage sub");
        EXPECT_EQ(state.banner()->detail, QString::fromStdString(scanRoot + "/sub holds a mounted volume (" + volume + ")"));
        state.toggleQueue(node("sub/three.bin"));
        EXPECT_EQ(state.queue().size(), 1u) << "what lies beside the volume still goes";
    });
    if (!ran) GTEST_SKIP() << whyNotRun();
}

// A quick win is one click that stages its items: what staging refuses is not offered, and a
// preset left with nothing else (the Trash itself) is no quick win.
TEST_F(AppStateTrash, QuickWinsOfferOnlyWhatCanBeStaged) {
    dir.file("data/Trash/files/old/.cache/blob", 7000);
    dir.file("data/Trash/info/old.trashinfo", 60);
    dir.file("scan/.cache/c", 3000);
    ASSERT_TRUE(scanAndWait(state, dir.path()));
    const PresetHit* caches = nullptr;
    for (const PresetHit& hit : state.presetHits()) {
        EXPECT_NE(hit.preset.id, "trash");
        std::vector<const FileNode*> nodes;
        for (const auto& node : hit.nodes) nodes.push_back(node.get());
        EXPECT_EQ(state.stageable(nodes, nodes.size()), nodes) << hit.preset.id;
        if (hit.preset.id == "caches") caches = &hit;
    }
    ASSERT_NE(caches, nullptr);
    ASSERT_EQ(caches->nodes.size(), 1u);
    EXPECT_EQ(caches->nodes[0]->path(), dir / "scan/.cache");
    EXPECT_EQ(caches->total, caches->nodes[0]->allocated);
}

TEST_F(AppStateTrash, EmptyQueueDoesNothing) {
    state.setBanner(std::nullopt);
    emptyQueueAndWait(state);
    EXPECT_FALSE(state.banner().has_value());
    EXPECT_EQ(state.lastReclaim(), 0);
}

TEST_F(AppStateTrash, SharesAreFractionsOfTheDisplayedTree) {
    const auto top = state.displayRoot();
    EXPECT_EQ(state.share(top.get()), 1.0);
    state.setUseAllocatedSize(false);
    ASSERT_TRUE(waitUntil([&] { return !state.isFiltering(); }));
    EXPECT_DOUBLE_EQ(state.share(node("one.bin").get()), 5000.0 / 10010.0);
}

TEST_F(AppStateTrash, FolderChooserStartsAScanOnlyWhenConfirmed) {
    state.setFolderChooser([] { return std::nullopt; });
    state.chooseFolder();
    EXPECT_FALSE(state.isScanning());
    EXPECT_EQ(state.scanTarget()->path, scanRoot);

    const std::string chosen = dir / "scan/sub";
    state.setFolderChooser([chosen]() -> std::optional<std::string> { return chosen; });
    state.chooseFolder();
    EXPECT_TRUE(state.isScanning());
    EXPECT_EQ(state.scanTarget(), ScanTarget::folder(chosen));
    EXPECT_EQ(state.scanTarget()->title, "sub");
    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    EXPECT_EQ(state.root()->path(), chosen);
}

TEST_F(AppStateTrash, ARevealOrOpenThatFailsRaisesAnErrorBannerWithTheReason) {
    state.setDesktop(&desktop);
    desktop.failure = "No file manager answered, and no application is set to open folders.";
    EXPECT_EQ(state.desktop().reveal({node("one.bin")->path()}), desktop.failure);
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::error);
    EXPECT_EQ(state.banner()->title, "Could not reveal one.bin");
    EXPECT_EQ(state.banner()->detail, QString::fromStdString(*desktop.failure));

    desktop.failure = "No such file or directory";
    state.desktop().open(node("sub")->path());
    EXPECT_EQ(state.banner()->title, "Could not open sub");
    EXPECT_EQ(state.banner()->detail, "No such file or directory");

    state.setBanner(std::nullopt);
    desktop.failure.reset();
    state.desktop().reveal({node("two.bin")->path()});
    state.desktop().open(node("two.bin")->path());
    EXPECT_FALSE(state.banner());
    EXPECT_EQ(desktop.revealed.size(), 2u);
    EXPECT_EQ(desktop.opened.size(), 2u);

    // Handed on, then given up by the program that was to open it: the same banner.
    ASSERT_TRUE(desktop.lateFailure);
    desktop.lateFailure(DesktopActions::Action::open, node("two.bin")->path(), "No application is set to open it.");
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::error);
    EXPECT_EQ(state.banner()->title, "Could not open two.bin");
    EXPECT_EQ(state.banner()->detail, "No application is set to open it.");
    desktop.lateFailure(DesktopActions::Action::reveal, node("sub")->path(), "gone");
    EXPECT_EQ(state.banner()->title, "Could not reveal sub");
    // A desktop the store no longer uses reports nothing to it.
    state.setDesktop(nullptr);
    EXPECT_FALSE(desktop.lateFailure);
}
