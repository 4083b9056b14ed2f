#include "state/AppState.h"
#include "base/PathText.h"
#include "core/CleanupPreset.h"
#include "state/AppStateTrashFixture.h"
#include "support/TreeText.h"
#include "support/Unprivileged.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

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

    // The total leaves out every refused match, also one beyond the nodes a hit keeps.
    std::string text = "/src/\n";
    for (int i = 0; i <= 400; ++i)
        text += "  p" + std::to_string(i) + "/\n    node_modules/\n      m " + std::to_string(1000 + i) + "\n";
    const AppState::NodePtr many = treeFromText(text);
    AppState::nodeAt("/src/p0", many)->isTrash = true; // the smallest match: the 401st
    state.setScanner([many](std::string_view, const ScanOptions&, ScanProgress&) { return many; });
    ASSERT_TRUE(scanAndWait(state, "/src"));
    ASSERT_EQ(state.presetHits().size(), 1u);
    EXPECT_EQ(state.presetHits()[0].nodes.size(), 400u);
    EXPECT_EQ(state.presetHits()[0].total, 400 * 1000 + 400 * 401 / 2);
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
