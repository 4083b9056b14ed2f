#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "core/CategoryIndex.h"
#include "core/NodeFilter.h"
#include "support/DisplayTree.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

using namespace tallymere;
using namespace tallymere::test;

namespace {

NodeFilter queryFilter(std::string query) {
    NodeFilter filter;
    filter.query = std::move(query);
    return filter;
}

// root/ a/x.bin 5000, a/deep/z.bin 700, b/y.txt 300
class AppStateFiltering : public ::testing::Test {
protected:
    void SetUp() override {
        dir.file("a/x.bin", 5000);
        dir.file("a/deep/z.bin", 700);
        dir.file("b/y.txt", 300);
        root = dir.path();
        ASSERT_TRUE(scanAndWait(state, root));
        ASSERT_TRUE(state.root());
    }

    AppState::NodePtr at(const AppState::NodePtr& tree, const std::string& relative) {
        return AppState::nodeAt(root + "/" + relative, tree);
    }

    TempFolder dir;
    std::string root;
    AppState state{memoryStore()};
};

} // namespace

TEST_F(AppStateFiltering, BurstOfEditsGivesOneBuildWithTheLastFilter) {
    int builds = 0;
    QObject::connect(&state, &AppState::isFilteringChanged, [&] { builds += state.isFiltering() ? 1 : 0; });
    for (const char* query : {"x", "x.", "x.b", "z", "y.txt"}) state.setFilter(queryFilter(query));
    EXPECT_FALSE(state.isFiltering()); // nothing starts before the debounce
    EXPECT_EQ(state.displayRoot(), state.root());

    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() != state.root() && !state.isFiltering(); }));
    spin(300);
    EXPECT_EQ(builds, 1);
    ASSERT_TRUE(state.displayRoot());
    EXPECT_EQ(dumpTree(*state.displayRoot()).find("x.bin"), std::string::npos);
    EXPECT_TRUE(at(state.displayRoot(), "b/y.txt"));
    EXPECT_FALSE(at(state.displayRoot(), "a"));
}

TEST_F(AppStateFiltering, FocusFollowsItsPathIntoTheCopyAndBack) {
    state.drill(at(state.root(), "a"));
    ASSERT_EQ(state.focus()->path(), root + "/a");

    state.setFilter(queryFilter("z.bin"));
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() != state.root() && !state.isFiltering(); }));
    ASSERT_TRUE(state.focus());
    EXPECT_EQ(state.focus()->path(), root + "/a");
    EXPECT_NE(state.focus(), at(state.root(), "a")); // a node of the copy, found by path
    EXPECT_EQ(state.focus(), at(state.displayRoot(), "a"));

    state.setFilter(NodeFilter{});
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() == state.root(); }));
    EXPECT_EQ(state.focus(), at(state.root(), "a"));
}

TEST_F(AppStateFiltering, VanishedFocusFallsBackToTheTopOfTheCopy) {
    state.drill(at(state.root(), "a"));
    state.setFilter(queryFilter("y.txt"));
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() != state.root() && !state.isFiltering(); }));
    EXPECT_EQ(state.focus(), state.displayRoot());
}

TEST_F(AppStateFiltering, SizeModeSwitchRebuildsAtOnceAndOlderBuildsAreDropped) {
    NodeFilter filter;
    filter.minSize = 1;
    state.setFilter(filter);
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() != state.root() && !state.isFiltering(); }));
    const auto firstCopy = state.displayRoot();

    int displayChanges = 0;
    QObject::connect(&state, &AppState::displayRootChanged, [&] { ++displayChanges; });
    state.setUseAllocatedSize(false);
    EXPECT_TRUE(state.isFiltering()); // no debounce
    EXPECT_EQ(state.displayRoot(), firstCopy); // the old copy stays up meanwhile
    state.setUseAllocatedSize(true); // supersedes the build just started
    ASSERT_TRUE(waitUntil([&] { return !state.isFiltering(); }));
    spin(200);
    EXPECT_EQ(displayChanges, 1); // only the newest build was shown
}

TEST_F(AppStateFiltering, FilterActiveWhenAScanEndsShowsNothingUntilTheCopyArrives) {
    state.setFilter(queryFilter("bin"));
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() != state.root() && !state.isFiltering(); }));

    // When the finished scan starts its filtered copy, nothing of the old display is left up.
    std::vector<bool> showedSomething;
    QObject::connect(&state, &AppState::isFilteringChanged, [&] {
        if (state.isFiltering() && state.root()) showedSomething.push_back(state.displayRoot() || state.focus());
    });
    ASSERT_TRUE(scanAndWait(state, root));
    ASSERT_EQ(showedSomething.size(), 1u);
    EXPECT_FALSE(showedSomething[0]);
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() != nullptr; }));
    EXPECT_NE(state.displayRoot(), state.root());
    EXPECT_EQ(state.focus(), state.displayRoot());
}

TEST(AppStateNavigation, NodeAtFindsPathsInsideTheTreeOnly) {
    auto tree = treeFromText("/t/b/\n  c/\n    f 10\n  d 5\n");
    EXPECT_EQ(AppState::nodeAt("/t/b", tree), tree);
    EXPECT_EQ(AppState::nodeAt("/t/b/", tree), tree);
    EXPECT_EQ(AppState::nodeAt("/t/b//c/f", tree)->name(), "f");
    EXPECT_FALSE(AppState::nodeAt("/t/b/c/f/g", tree)); // below a file
    EXPECT_FALSE(AppState::nodeAt("/t/b/e", tree));
    EXPECT_FALSE(AppState::nodeAt("/t/bc/f", tree)); // a sibling whose name begins like the tree's
    EXPECT_FALSE(AppState::nodeAt("", tree));
    EXPECT_FALSE(AppState::nodeAt(std::nullopt, tree));

    auto disk = treeFromText("/\n  usr/\n    lib 3\n");
    EXPECT_EQ(AppState::nodeAt("/usr/lib", disk)->name(), "lib");
    EXPECT_EQ(AppState::nodeAt("/", disk), disk);
}

TEST(AppStateNavigation, DrillEntersFoldersWithChildrenAndClearsTheSelection) {
    AppState state(memoryStore());
    auto tree = treeFromText("/t/\n  f 1\n  empty/\n  pkg.app/ package\n    inner 4\n  dir/\n    g 2\n");
    display(state, tree);
    state.setSelection(AppState::nodeAt("/t/f", tree));

    state.drill(AppState::nodeAt("/t/f", tree));
    state.drill(AppState::nodeAt("/t/empty", tree));
    EXPECT_EQ(state.focus(), tree);
    EXPECT_TRUE(state.selection());

    // Entering clears the selection only: the node under the pointer stays hovered, for the
    // inspector to fall back to, there and after going back up.
    const AppState::NodePtr g = AppState::nodeAt("/t/dir/g", tree);
    state.setHovered(g);
    state.drill(AppState::nodeAt("/t/pkg.app", tree));
    EXPECT_EQ(state.focus()->name(), "pkg.app");
    EXPECT_FALSE(state.selection());
    EXPECT_EQ(state.hovered(), g);

    const auto chain = state.focusChain();
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0], tree);
    state.navigateUp();
    EXPECT_EQ(state.focus(), tree);
    state.navigateUp(); // the top has no parent
    EXPECT_EQ(state.focus(), tree);
    EXPECT_EQ(state.hovered(), g);
    ASSERT_EQ(state.focusChain().size(), 1u);
    state.setFocus({});
    EXPECT_TRUE(state.focusChain().empty());
}

TEST(AppStateNavigation, HeldNodesKeepTheirTreeAndRetainFindsOnlyHeldTrees) {
    AppState state(memoryStore());
    auto tree = treeFromText("/t/\n  dir/\n    g 2\n");
    const FileNode* g = AppState::nodeAt("/t/dir/g", tree).get();
    EXPECT_FALSE(state.retain(g)); // not a tree the store holds
    display(state, tree);
    state.setSelection(AppState::nodeAt("/t/dir", tree));
    tree.reset();
    ASSERT_TRUE(state.selection());
    EXPECT_EQ(state.selection()->path(), "/t/dir");
    auto held = state.retain(g);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->path(), "/t/dir/g");
}

TEST_F(AppStateFiltering, SelectionAndHoverFollowTheTreeOnDisplayOrGo) {
    state.setSelection(at(state.root(), "a/deep"));
    state.setHovered(at(state.root(), "b/y.txt"));

    // The copy keeps a/deep (it holds z.bin) but not b/y.txt.
    state.setFilter(queryFilter("z.bin"));
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() != state.root() && !state.isFiltering(); }));
    EXPECT_EQ(state.selection(), at(state.displayRoot(), "a/deep"));
    EXPECT_EQ(state.selection()->bytes(true), at(state.displayRoot(), "a/deep")->bytes(true));
    EXPECT_FALSE(state.hovered());

    // A node of the unfiltered tree is no longer on display: it can be neither focus, selection
    // nor hover, so the inspector's Focus can never leave the filtered tree.
    const AppState::NodePtr focusBefore = state.focus();
    state.setFocus(at(state.root(), "a"));
    state.setSelection(at(state.root(), "b"));
    state.setHovered(at(state.root(), "b"));
    EXPECT_EQ(state.focus(), focusBefore);
    EXPECT_EQ(state.selection(), at(state.displayRoot(), "a/deep"));
    EXPECT_FALSE(state.hovered());

    state.setFilter(NodeFilter{});
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() == state.root(); }));
    EXPECT_EQ(state.selection(), at(state.root(), "a/deep"));
}

TEST_F(AppStateFiltering, ANewScanLetsGoOfEverythingOfTheOldTree) {
    state.setHovered(at(state.root(), "a"));
    state.setSelection(at(state.root(), "a/x.bin"));
    TempFolder other;
    other.file("c.bin", 100);
    state.scan(ScanTarget::folder(other.path()));
    EXPECT_FALSE(state.hovered());
    EXPECT_FALSE(state.selection());
    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    EXPECT_FALSE(state.hovered());
    EXPECT_EQ(state.focus(), state.displayRoot());
    // A node the old tree still holds alive is refused.
    const AppState::NodePtr old = test::treeFromText("r/\n  a 1\n");
    state.setSelection(old);
    EXPECT_FALSE(state.selection());
}

TEST_F(AppStateFiltering, CategoryIndexArrivesWithEveryDisplayedTree) {
    // Built with the scanned tree, before anyone hears of it.
    ASSERT_TRUE(state.categoryIndex());
    EXPECT_EQ(state.categoryIndex()->root(), state.displayRoot());
    std::vector<bool> matchedWhenAnnounced;
    QObject::connect(&state, &AppState::displayRootChanged, [&] {
        matchedWhenAnnounced.push_back(!state.displayRoot() || (state.categoryIndex() &&
                                                                state.categoryIndex()->root() == state.displayRoot()));
    });
    const auto a = at(state.displayRoot(), "a");
    EXPECT_EQ(state.categoryIndex()->totals(*a, true), CategoryTotals::of(*a, true));

    // A filtered copy brings its own; clearing the filter brings back the scanned tree's.
    state.setFilter(queryFilter("bin"));
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() != state.root() && !state.isFiltering(); }));
    ASSERT_TRUE(state.categoryIndex());
    EXPECT_EQ(state.categoryIndex()->root(), state.displayRoot());
    EXPECT_EQ(state.categoryIndex()->totals(*state.displayRoot(), false), CategoryTotals::of(*state.displayRoot(), false));
    state.setFilter(NodeFilter{});
    ASSERT_TRUE(waitUntil([&] { return state.displayRoot() == state.root(); }));
    EXPECT_EQ(state.categoryIndex()->root(), state.root());

    // A new scan leaves none until its tree arrives.
    state.scan(ScanTarget::folder(root));
    EXPECT_FALSE(state.categoryIndex());
    ASSERT_TRUE(waitUntil([&] { return !state.isScanning(); }));
    EXPECT_EQ(state.categoryIndex()->root(), state.displayRoot());
    EXPECT_EQ(std::count(matchedWhenAnnounced.begin(), matchedWhenAnnounced.end(), false), 0);
    EXPECT_GE(matchedWhenAnnounced.size(), 4u);
}
