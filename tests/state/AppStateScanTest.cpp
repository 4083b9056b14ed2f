#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "core/DiskInfo.h"
#include "core/NodeFilter.h"
#include "core/PresetScanner.h"
#include "support/StallingFuse.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <QThreadPool>

#include <filesystem>
#include <fcntl.h>
#include <unistd.h>

using namespace tallymere;
using namespace tallymere::test;

namespace {

// root/
//   a/x.bin 5000, a/deep/z.bin 700
//   b/y.txt 300
//   node_modules/pkg.js 40
//   .hidden 100
class AppStateScan : public ::testing::Test {
protected:
    void SetUp() override {
        dir.file("a/x.bin", 5000);
        dir.file("a/deep/z.bin", 700);
        dir.file("b/y.txt", 300);
        dir.file("node_modules/pkg.js", 40);
        dir.file(".hidden", 100);
        root = dir.path();
    }

    AppState::NodePtr child(const AppState::NodePtr& tree, const std::string& relative) {
        return AppState::nodeAt(tree->path() + "/" + relative, tree);
    }

    TempFolder dir;
    std::string root;
    AppState state{memoryStore()};
};

} // namespace

TEST_F(AppStateScan, FinishedScanShowsTheWholeTreeFocusedAtItsTop) {
    int scanningSignals = 0;
    QObject::connect(&state, &AppState::isScanningChanged, [&] { ++scanningSignals; });
    state.scan(ScanTarget::folder(root));
    EXPECT_TRUE(state.isScanning());
    EXPECT_EQ(state.scanningPath(), root);
    ASSERT_EQ(state.recents().size(), 1u);
    EXPECT_EQ(state.recents()[0].path, root);

    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    EXPECT_EQ(scanningSignals, 2);
    ASSERT_TRUE(state.root());
    EXPECT_EQ(state.root()->path(), root);
    EXPECT_EQ(state.displayRoot(), state.root());
    EXPECT_EQ(state.focus(), state.root());
    EXPECT_EQ(state.root()->fileCount, 5); // hidden files are scanned
    EXPECT_EQ(state.scannedFiles(), 5);
    EXPECT_EQ(state.scannedBytes(), state.root()->allocated);
    EXPECT_TRUE(state.scanFinishedAt().has_value());
    EXPECT_GE(state.lastScanDuration(), 0.0);
    EXPECT_FALSE(state.banner().has_value());

    // Presets are matched on the worker; the node_modules folder is a hit that keeps its tree.
    ASSERT_FALSE(state.presetHits().empty());
    bool foundNode = false;
    for (const PresetHit& hit : state.presetHits())
        if (hit.preset.id == "node") {
            foundNode = true;
            ASSERT_EQ(hit.nodes.size(), 1u);
            EXPECT_EQ(hit.nodes[0]->path(), root + "/node_modules");
        }
    EXPECT_TRUE(foundNode);
}

TEST_F(AppStateScan, ScanRequestWhileScanningChangesNothing) {
    const std::string other = dir.folder("b");
    state.scan(ScanTarget::folder(root));
    state.scan(ScanTarget::folder(other));
    EXPECT_EQ(state.scanTarget()->path, root);
    ASSERT_EQ(state.recents().size(), 1u);
    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    EXPECT_EQ(state.root()->path(), root);
}

TEST_F(AppStateScan, LogicalSizeModeShowsTheLogicalTotalOnceFinished) {
    // A sparse file: 5 MB long, next to nothing on disk.
    {
        const int fd = ::open((dir / "sparse.img").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 5'000'000), 0);
        ::close(fd);
    }
    state.setUseAllocatedSize(false);
    std::vector<std::int64_t> live;
    QObject::connect(&state, &AppState::scannedFilesChanged, [&] { live.push_back(state.scannedFiles()); });
    ASSERT_TRUE(scanAndWait(state, root));
    EXPECT_EQ(state.scannedBytes(), state.root()->size);
    EXPECT_GE(state.root()->size, 5'000'000);
    EXPECT_LT(state.root()->allocated, state.root()->size);
    // Live readings only ever grow, and the last one is the total.
    ASSERT_FALSE(live.empty());
    EXPECT_TRUE(std::is_sorted(live.begin(), live.end()));
    EXPECT_EQ(live.back(), 6);
}

TEST(ScanTargetOptions, WholeDiskOptionsForTheDiskAndAnySpellingOfTheRoot) {
    const ScanOptions whole = ScanOptions::fullMac();
    EXPECT_EQ(scanOptionsFor(ScanTarget::fullDisk()), whole);
    EXPECT_EQ(scanOptionsFor(ScanTarget::folder("/")), whole);
    EXPECT_EQ(scanOptionsFor(ScanTarget{.path = "//tmp/..", .title = "x"}), whole);
    const ScanOptions folder = scanOptionsFor(ScanTarget::folder("/home"));
    EXPECT_NE(folder, whole);
    EXPECT_TRUE(folder.includeHidden && folder.useAllocatedSize && folder.excludedPaths.empty());
}

TEST_F(AppStateScan, MissingFolderRaisesTheUnreadableBanner) {
    const std::string missing = dir / "missing";
    ASSERT_TRUE(scanAndWait(state, missing));
    EXPECT_FALSE(state.root());
    EXPECT_FALSE(state.displayRoot());
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::error);
    EXPECT_EQ(state.banner()->title, "Could not read that location");
    EXPECT_EQ(state.banner()->detail, QString::fromStdString("Tallymere needs permission to open " + missing + "."));

    // An empty path (`--shot ""`) is no place to go back to: the error banner, and no nameless recent row.
    ASSERT_TRUE(scanAndWait(state, ""));
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->title, "Could not read that location");
    ASSERT_FALSE(state.recents().empty());
    for (const ScanTarget& recent : state.recents()) EXPECT_FALSE(recent.path.empty());
}

TEST_F(AppStateScan, OnlyAWholeDiskTargetWarnsWhenReadAccessIsMissing) {
    bool granted = true;
    state.setAccessProbe([&] { return granted; });
    state.scan(ScanTarget{root, "Disk", true});
    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    ASSERT_TRUE(state.root());
    EXPECT_FALSE(state.banner().has_value());

    granted = false;
    state.scan(ScanTarget{root, "Disk", true});
    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::warning);
    EXPECT_EQ(state.banner()->title, "Partial scan");
    EXPECT_EQ(state.banner()->detail, "Grant Full Disk Access to include protected folders like Mail and Safari data.");

    // A folder target never warns, and the banner of an earlier scan stays up across a new one.
    state.setBanner(AppState::Banner::make(AppState::Banner::Kind::info, "earlier"));
    const auto earlier = state.banner();
    ASSERT_TRUE(scanAndWait(state, root));
    EXPECT_EQ(state.banner(), earlier);
}

TEST_F(AppStateScan, RelativeTargetsAreScannedUnderTheirAbsolutePath) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    state.scan(ScanTarget::folder("b/"));
    std::filesystem::current_path(previous);
    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    ASSERT_TRUE(state.root());
    EXPECT_EQ(state.root()->path(), root + "/b");
    EXPECT_EQ(state.recents()[0].path, root + "/b");
}

TEST_F(AppStateScan, CancelStopsAtOnceAndStillDeliversThePartialTree) {
    for (int i = 0; i < 200; ++i) dir.file("many/f" + std::to_string(i) + "/file", 10);
    state.scan(ScanTarget::folder(root));
    state.cancelScan();
    EXPECT_FALSE(state.isScanning());
    ASSERT_TRUE(waitUntil([&] { return state.root() != nullptr; }));
    EXPECT_EQ(state.root()->path(), root);
    EXPECT_EQ(state.focus(), state.root());
    EXPECT_FALSE(state.isScanning());
}

// A scan of a folder on a FUSE mount whose server stops reading during the walk: Stop ends it at
// once, and no thread of the program stays behind on the mount, so the program can end.
TEST(AppStateScanStoppedMount, StopEndsTheScanAndNoThreadStaysOnTheMount) {
    TempFolder dir;
    const std::string mount = dir.folder("net");
    const bool ran = runInPrivateMounts([&] {
        StallingFuse fuse(mount);
        if (!fuse.isMounted()) cannotRunHere("no FUSE mount here");
        fuse.growTree(300, 4);
        fuse.delayEvery(2);
        AppState state{memoryStore()};
        state.scan(ScanTarget::folder(mount));
        spin(1000);
        ASSERT_TRUE(state.isScanning());
        fuse.stopReading();
        spin(500);
        state.cancelScan();
        EXPECT_FALSE(state.isScanning());
        EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(1000)) << "a thread of the scan waits on the mount";
    });
    if (!ran) GTEST_SKIP() << whyNotRun();
}

TEST_F(AppStateScan, ResultOfACancelledScanNeverReplacesTheNextScan) {
    for (int i = 0; i < 300; ++i) dir.file("many/f" + std::to_string(i) + "/file", 10);
    const std::string second = dir.folder("b");
    int finishes = 0;
    QObject::connect(&state, &AppState::scanFinishedAtChanged, [&] { ++finishes; });
    state.scan(ScanTarget::folder(root));
    state.cancelScan();
    state.scan(ScanTarget::folder(second));
    EXPECT_TRUE(state.isScanning());
    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    spin(100); // let a late result of the cancelled scan arrive, if it were to
    EXPECT_EQ(finishes, 1);
    ASSERT_TRUE(state.root());
    EXPECT_EQ(state.root()->path(), second);
    EXPECT_EQ(state.scanTarget()->path, second);
}

TEST_F(AppStateScan, RecentsMoveToTheFrontAndKeepSix) {
    std::vector<std::string> folders;
    for (int i = 0; i < 7; ++i) folders.push_back(dir.folder("r" + std::to_string(i)));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(scanAndWait(state, folders[i]));
    ASSERT_TRUE(scanAndWait(state, folders[0])); // third in the list moves to the front
    ASSERT_EQ(state.recents().size(), 3u);
    EXPECT_EQ(state.recents()[0].path, folders[0]);
    EXPECT_EQ(state.recents()[1].path, folders[2]);
    for (int i = 3; i < 7; ++i) ASSERT_TRUE(scanAndWait(state, folders[i]));
    ASSERT_EQ(state.recents().size(), 6u);
    EXPECT_EQ(state.recents()[0].path, folders[6]);
    EXPECT_EQ(state.recents()[5].path, folders[2]); // folders[1], the oldest, is gone
}

TEST_F(AppStateScan, NewScanClearsTreeAndSelectionButKeepsQueueAndFilter) {
    ASSERT_TRUE(scanAndWait(state, root));
    const auto staged = child(state.root(), "b/y.txt");
    state.enqueue(staged);
    state.setSelection(child(state.root(), "a"));
    NodeFilter filter;
    filter.query = "zz-nothing";
    state.setFilter(filter);
    state.scan(ScanTarget::folder(root));
    EXPECT_FALSE(state.root() || state.displayRoot() || state.focus() || state.selection());
    EXPECT_TRUE(state.presetHits().empty());
    ASSERT_EQ(state.queue().size(), 1u);
    EXPECT_EQ(state.filter(), filter);
    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    // The item staged from the old tree still yields its whole path and is the same item.
    EXPECT_EQ(state.queue()[0]->path(), root + "/b/y.txt");
    EXPECT_TRUE(state.isQueued(child(state.root(), "b/y.txt").get()));
}
