#include "layout/PercentText.h"
#include "layout/TopSizesRanking.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace tallymere;
using namespace tallymere::test;
using TopSizesRanking::Scope;

namespace {

std::string names(const std::vector<const FileNode*>& rows) {
    std::string out;
    for (const FileNode* node : rows) out += (out.empty() ? "" : " ") + std::string(node->name());
    return out;
}

using test::childNamed;

// Sizes chosen so that ties, packages, links and unreadable folders all meet in one tree.
constexpr const char* mixedTree = R"(r/
  docs/
    a.pdf 300
    b.txt 100
    c.txt 300
  Tool.app/ package
    Contents/
      big.bin 900
  link.mp4 300 link
  empty/
  denied/ denied
  z.iso 50
)";

} // namespace

TEST(TopSizesScopes, ChildrenKeepStoredOrderOnTies) {
    auto tree = treeFromText(mixedTree);
    // Tool.app 900, docs 700, link.mp4 300, z.iso 50, then the empty and the denied folder (0) in
    // their stored order.
    EXPECT_EQ(names(TopSizesRanking::rows(*tree, Scope::children, true)), "Tool.app docs link.mp4 z.iso empty denied");
}

TEST(TopSizesScopes, FilesStopAtPackagesAndKeepWalkOrderOnTies) {
    auto tree = treeFromText(mixedTree);
    // Nothing inside the package; the link counts as a file; a.pdf, c.txt and the link tie at 300
    // and keep pre-order.
    EXPECT_EQ(names(TopSizesRanking::rows(*tree, Scope::files, true)), "Tool.app a.pdf c.txt link.mp4 b.txt z.iso");
}

TEST(TopSizesScopes, FoldersListFoldersInsidePackagesButNeverPackagesOrTheShownFolder) {
    auto tree = treeFromText(mixedTree);
    EXPECT_EQ(names(TopSizesRanking::rows(*tree, Scope::folders, true)), "Contents docs empty denied");
}

TEST(TopSizesScopes, AFocusedPackageIsItsOwnOnlyFile) {
    auto tree = treeFromText(mixedTree);
    const FileNode& package = *childNamed(*tree, "Tool.app");
    EXPECT_EQ(names(TopSizesRanking::rows(package, Scope::files, true)), "Tool.app");
    EXPECT_EQ(names(TopSizesRanking::rows(package, Scope::folders, true)), "Contents");
    EXPECT_EQ(names(TopSizesRanking::rows(package, Scope::children, true)), "Contents");
}

TEST(TopSizesScopes, UnreadableOrEmptyFolderGivesNothingInAnyScope) {
    auto tree = treeFromText(mixedTree);
    for (const char* name : {"denied", "empty"})
        for (Scope scope : TopSizesRanking::scopes)
            EXPECT_TRUE(TopSizesRanking::rows(*childNamed(*tree, name), scope, true).empty()) << name;
}

TEST(TopSizesScopes, SizeModeChangesWhichRowsMakeTheCut) {
    // A sparse file leads by its logical size and drops out of a cut of one by its blocks.
    auto tree = treeFromText("r/\n  sparse.img 5000 alloc=0\n  dense.bin 1000\n");
    EXPECT_EQ(names(TopSizesRanking::rows(*tree, Scope::files, false, 1)), "sparse.img");
    EXPECT_EQ(names(TopSizesRanking::rows(*tree, Scope::files, true, 1)), "dense.bin");
}

TEST(TopSizesCut, SelectionMatchesAFullStableSortOfEveryScope) {
    // Random trees full of ties: the bounded selection must give exactly the first 150 of a full
    // stable sort of the walk.
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::string text = "r/\n";
        const int folders = 5 + round;
        for (int f = 0; f < folders; ++f) {
            text += "  d" + std::to_string(f) + "/\n";
            const int files = std::uniform_int_distribution<int>(0, 40)(random);
            for (int i = 0; i < files; ++i)
                text += "    f" + std::to_string(f) + "_" + std::to_string(i) + " " +
                        std::to_string(std::uniform_int_distribution<int>(0, 6)(random) * 10) + "\n";
        }
        auto tree = treeFromText(text);
        for (bool useAllocated : {false, true}) {
            std::vector<const FileNode*> walked;
            tree->walk([&](const FileNode& node) {
                if (!node.isDirectory) walked.push_back(&node);
                return true;
            });
            std::stable_sort(walked.begin(), walked.end(), [&](const FileNode* a, const FileNode* b) {
                return b->bytes(useAllocated) < a->bytes(useAllocated);
            });
            if (walked.size() > TopSizesRanking::maxRows) walked.resize(TopSizesRanking::maxRows);
            const auto rows = TopSizesRanking::rows(*tree, Scope::files, useAllocated);
            ASSERT_EQ(rows, walked) << "round " << round;
            EXPECT_LE(rows.size(), TopSizesRanking::maxRows);
        }
    }
}

TEST(TopSizesCut, MoreThan150ChildrenKeepTheFirst150) {
    std::string text = "r/\n";
    for (int i = 0; i < 200; ++i) text += "  f" + std::to_string(i) + " " + std::to_string(i % 3) + "\n";
    auto tree = treeFromText(text);
    const auto rows = TopSizesRanking::rows(*tree, Scope::children, true);
    ASSERT_EQ(rows.size(), 150u);
    // The 66 files of size 2 in stored order, the 67 of size 1, then the first 17 of size 0.
    EXPECT_EQ(rows.front()->name(), "f2");
    EXPECT_EQ(rows[65]->name(), "f197");
    EXPECT_EQ(rows[66]->name(), "f1");
    EXPECT_EQ(rows[133]->name(), "f0");
    EXPECT_EQ(rows.back()->name(), "f48");
}

TEST(TopSizesRows, CloudMarkOnlyForFilesWithContentButNoBlocks) {
    auto tree = treeFromText(R"(r/
  evicted.mov 10 alloc=0
  link 10 alloc=0 link
  empty.txt 0 alloc=0
  local.txt 10
  folder/ 
    evicted.pdf 10 alloc=0
)");
    EXPECT_TRUE(TopSizesRanking::isInCloud(*childNamed(*tree, "evicted.mov")));
    EXPECT_FALSE(TopSizesRanking::isInCloud(*childNamed(*tree, "link"))) << "a short link target has no blocks";
    EXPECT_FALSE(TopSizesRanking::isInCloud(*childNamed(*tree, "empty.txt")));
    EXPECT_FALSE(TopSizesRanking::isInCloud(*childNamed(*tree, "local.txt")));
    EXPECT_FALSE(TopSizesRanking::isInCloud(*childNamed(*tree, "folder"))) << "a folder of evicted files is still a folder";
}

TEST(TopSizesRows, BarFractionAndShareTexts) {
    EXPECT_DOUBLE_EQ(TopSizesRanking::fraction(50, 200), 0.25);
    EXPECT_EQ(TopSizesRanking::fraction(0, 0), 0) << "all-empty rows draw minimum bars";
    EXPECT_EQ(percentText(0), "0.0%");
    EXPECT_EQ(percentText(0.0005), "<0.1%");
    EXPECT_EQ(percentText(0.001), "0.1%");
    EXPECT_EQ(percentText(0.1234), "12.3%");
    EXPECT_EQ(percentText(1), "100.0%");
}

TEST(TopSizesRows, ScopesByExactTitleOnly) {
    for (Scope scope : TopSizesRanking::scopes)
        EXPECT_EQ(TopSizesRanking::fromTitle(TopSizesRanking::title(scope)), scope);
    EXPECT_EQ(TopSizesRanking::title(Scope::files), "Biggest files anywhere");
    EXPECT_FALSE(TopSizesRanking::fromTitle("in this folder"));
    EXPECT_FALSE(TopSizesRanking::fromTitle("children"));
}
