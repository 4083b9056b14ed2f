#include "core/CategoryTotals.h"

#include "core/FileTree.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

using namespace tallymere;

TEST(CategoryTotals, EveryLeafCountsOnceUnderItsOwnCategory) {
    auto tree = test::treeFromText(R"(/r/
  docs/
    a.pdf 300 alloc=4096
    b.txt 100
  empty/
  denied/ denied
  clip.mp4 50
  link.mp4 12 link
  Tool.app/ package
    inner.mp4 9000
)");
    const CategoryTotals logical = CategoryTotals::of(*tree, false);
    EXPECT_EQ(logical.of(FileCategory::document), 400);
    // A symbolic link is a leaf of its own ("Other"), never followed.
    EXPECT_EQ(logical.of(FileCategory::video), 50);
    EXPECT_EQ(logical.of(FileCategory::data), 12);
    // A package counts once, under its own category, whatever it holds.
    EXPECT_TRUE(logical.has(FileCategory::app));
    EXPECT_EQ(logical.of(FileCategory::app), 9000);
    // An unreadable folder is a leaf of the folder category; a readable empty one adds nothing.
    EXPECT_TRUE(logical.has(FileCategory::folder));
    EXPECT_EQ(logical.total(), 400 + 62 + 9000);

    const CategoryTotals allocated = CategoryTotals::of(*tree, true);
    EXPECT_EQ(allocated.of(FileCategory::document), 4096 + 100);

    // Below a subfolder only its own leaves count.
    const FileNode* docs = tree->children()[0];
    const CategoryTotals inside = CategoryTotals::of(*docs, false);
    EXPECT_EQ(inside.total(), 400);
    EXPECT_FALSE(inside.has(FileCategory::video));
}

TEST(CategoryTotals, EmptyTreeTotalsOneAndDeepChainsDoNotRecurse) {
    auto empty = test::treeFromText("/r/\n");
    EXPECT_EQ(CategoryTotals::of(*empty, true).total(), 1);

    // A chain deeper than any call stack would hold.
    std::string text = "/deep/\n";
    std::string indent = "  ";
    for (int i = 0; i < 3000; ++i) {
        text += indent + "d/\n";
        indent += "  ";
    }
    text += indent + "end.mp4 77\n";
    auto deep = test::treeFromText(text);
    EXPECT_EQ(CategoryTotals::of(*deep, false).of(FileCategory::video), 77);
}
