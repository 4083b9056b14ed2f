#include "views/explore/table/TableRows.h"

#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tallymere {
namespace {

std::vector<std::string> names(const std::vector<const FileNode*>& nodes) {
    std::vector<std::string> out;
    for (const FileNode* node : nodes) out.emplace_back(node->name());
    return out;
}

using Strings = std::vector<std::string>;

TEST(TableRowsOrder, SizeDescendingByDefaultAndStableInBothDirections) {
    auto root = test::treeFromText(R"(/r/
  a 10 alloc=4096
  b 30 alloc=4096
  c 10 alloc=8192
  d 30 alloc=0
)");
    TableRows::Options options; // size, descending, allocated
    EXPECT_EQ(names(TableRows::rows(root.get(), options)), (Strings{"c", "a", "b", "d"}));
    options.useAllocated = false;
    EXPECT_EQ(names(TableRows::rows(root.get(), options)), (Strings{"b", "d", "a", "c"}));
    options.ascending = true;
    // Equal keys keep their stored order ascending too: the reverse is not a reversal of the list.
    EXPECT_EQ(names(TableRows::rows(root.get(), options)), (Strings{"a", "c", "b", "d"}));
    EXPECT_TRUE(TableRows::rows(nullptr, options).empty());
}

TEST(TableRowsOrder, NamesCompareDigitsByValueIgnoringCase) {
    auto root = test::treeFromText(R"(/r/
  File10 1
  file2 1
  beta 1
  Alpha 1
  file1 1
)");
    TableRows::Options options{.sort = TableColumn::name, .ascending = true};
    EXPECT_EQ(names(TableRows::rows(root.get(), options)), (Strings{"Alpha", "beta", "file1", "file2", "File10"}));
    options.ascending = false;
    EXPECT_EQ(names(TableRows::rows(root.get(), options)), (Strings{"File10", "file2", "file1", "beta", "Alpha"}));
}

TEST(TableRowsOrder, KindsByTitleItemsAndDatesByValue) {
    auto root = test::treeFromText(R"(/r/
  v.mp4 1 mtime=300
  dir/
    x 1
    y 1
  z.zip 1 mtime=100
  y.log 1
  t.txt 1 mtime=200
  p.app/ package
)");
    TableRows::Options options{.sort = TableColumn::kind, .ascending = true};
    // "Application" < "Archive" < "Cache & Log" < "Document" < "Folder" < "Video", by code point.
    EXPECT_EQ(names(TableRows::rows(root.get(), options)), (Strings{"p.app", "z.zip", "y.log", "t.txt", "dir", "v.mp4"}));
    options = {.sort = TableColumn::items, .ascending = false};
    EXPECT_EQ(names(TableRows::rows(root.get(), options)).front(), "dir");
    options = {.sort = TableColumn::modified, .ascending = false};
    EXPECT_EQ(names(TableRows::rows(root.get(), options)), (Strings{"v.mp4", "t.txt", "z.zip", "dir", "y.log", "p.app"}));
    EXPECT_EQ(TableRows::kindText(*root->children()[1]), "Folder");
    EXPECT_EQ(TableRows::kindText(*root->children()[5]), "Application");
}

TEST(TableRowsEverythingBelow, PreOrderWithoutTheBaseAndIntoPackages) {
    auto root = test::treeFromText(R"(/r/
  a/
    b/
      c 1
    d 1
  p.app/ package
    inner 1
  l 1 link
  gone/ denied
)");
    const FileNode* base = root.get();
    EXPECT_EQ(names(TableRows::collect(*base, false)), (Strings{"a", "p.app", "l", "gone"}));
    EXPECT_EQ(names(TableRows::collect(*base, true)), (Strings{"a", "b", "c", "d", "p.app", "inner", "l", "gone"}));
    // A focused folder lists only what lies below itself.
    EXPECT_EQ(names(TableRows::collect(*base->children()[0], true)), (Strings{"b", "c", "d"}));
}

// A tree where the walk reaches its limit inside the 100th of 150 subfolders of "A".
std::shared_ptr<FileNode> wideTree() {
    std::string text = "/r/\n  A/\n";
    for (int s = 0; s < 150; ++s) {
        text += "    s" + std::to_string(s) + "/\n";
        for (int f = 0; f < 200; ++f)
            text += "      f" + std::to_string(s) + "_" + std::to_string(f) + " " + std::to_string((s * 7 + f) % 13) + "\n";
    }
    text += "  B/\n    b1 1\n";
    return test::treeFromText(text);
}

TEST(TableRowsEverythingBelow, StopsDescendingAtTheLimitKeepsPendingSiblingsAndCutsAfterSorting) {
    auto root = wideTree();
    const auto collected = TableRows::collect(*root, true);
    // A, then s0..s99 each with its 200 files, then the pending s100..s149 and B, none entered.
    ASSERT_EQ(collected.size(), 1u + 100u * 201u + 50u + 1u);
    const auto listed = names(collected);
    EXPECT_EQ(listed.back(), "B");
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "f100_0"), 0);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), "s149"), 1);

    // The cut keeps the first 5000 of the full stable order, although it is found by partial selection.
    for (bool ascending : {false, true}) {
        const auto rows = TableRows::rows(root.get(), {.ascending = ascending, .recursive = true});
        auto reference = collected;
        std::stable_sort(reference.begin(), reference.end(), [ascending](const FileNode* a, const FileNode* b) {
            return ascending ? a->allocated < b->allocated : b->allocated < a->allocated;
        });
        ASSERT_EQ(rows.size(), TableRows::rowLimit);
        EXPECT_TRUE(std::equal(rows.begin(), rows.end(), reference.begin())) << "ascending " << ascending;
    }
    const auto byName = TableRows::rows(root.get(), {.sort = TableColumn::name, .ascending = true, .recursive = true});
    ASSERT_EQ(byName.size(), TableRows::rowLimit);
    EXPECT_EQ(byName.front()->name(), "A");
    EXPECT_EQ(byName[1]->name(), "B");
    EXPECT_EQ(byName[2]->name(), "f0_0");
    EXPECT_EQ(byName[3]->name(), "f0_1");
    EXPECT_EQ(byName[12]->name(), "f0_10"); // digit runs by value: f0_2 .. f0_9 come before f0_10
}

} // namespace
} // namespace tallymere
