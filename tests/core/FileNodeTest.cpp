#include "core/FileTree.h"
#include "base/Saturating.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

namespace tallymere {
namespace {

std::shared_ptr<FileTree> emptyTree() { return std::make_shared<FileTree>(); }

TEST(FileNodePath, JoinsNamesBelowTheRoot) {
    auto tree = emptyTree();
    FileNode* root = tree->arena.makeNode("/", true, FileCategory::folder);
    FileNode* users = tree->arena.makeNode("Users", true, FileCategory::folder);
    FileNode* al = tree->arena.makeNode("al", true, FileCategory::folder);
    FileNode* const rootKids[] = {users};
    FileNode* const userKids[] = {al};
    tree->arena.setChildren(*root, rootKids);
    tree->arena.setChildren(*users, userKids);
    EXPECT_EQ(root->path(), "/");
    EXPECT_EQ(users->path(), "/Users");
    EXPECT_EQ(al->path(), "/Users/al");
}

TEST(FileNodePath, TrimsOneTrailingSlashOfTheTop) {
    auto tree = emptyTree();
    FileNode* root = tree->arena.makeNode("/Volumes/Data/", true, FileCategory::folder);
    FileNode* x = tree->arena.makeNode("x", false, FileCategory::data);
    FileNode* const kids[] = {x};
    tree->arena.setChildren(*root, kids);
    EXPECT_EQ(root->path(), "/Volumes/Data");
    EXPECT_EQ(x->path(), "/Volumes/Data/x");
    EXPECT_EQ(tree->arena.makeNode("", true, FileCategory::folder)->path(), "/");
}

TEST(FileNodePath, KeepsRawBytesAndRepairsOnlyForDisplay) {
    auto tree = emptyTree();
    FileNode* root = tree->arena.makeNode("/tmp", true, FileCategory::folder);
    FileNode* odd = tree->arena.makeNode(std::string_view("caf\xE9", 4), false, FileCategory::data);
    FileNode* const kids[] = {odd};
    tree->arena.setChildren(*root, kids);
    EXPECT_EQ(odd->path(), std::string("/tmp/caf\xE9"));
    EXPECT_EQ(odd->displayName(), "caf\xEF\xBF\xBD");
    EXPECT_EQ(odd->displayPath(), "/tmp/caf\xEF\xBF\xBD");
}

TEST(FileNodeAncestors, RootFirstParentLast) {
    auto root = test::treeFromText("r/\n  a/\n    b 1\n");
    const FileNode* a = root->children()[0];
    const FileNode* b = a->children()[0];
    EXPECT_TRUE(root->ancestors().empty());
    EXPECT_EQ(b->ancestors(), (std::vector<const FileNode*>{root.get(), a}));
}

TEST(FileNodeSortedChildren, LargestFirstAndStable) {
    auto root = test::treeFromText("r/\n  x 5\n  y 9\n  z 5\n");
    auto sorted = root->sortedChildren(false);
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0]->name(), "y");
    EXPECT_EQ(sorted[1]->name(), "x");
    EXPECT_EQ(sorted[2]->name(), "z");
    EXPECT_EQ(root->children()[0]->name(), "x") << "the tree itself is never reordered";
    EXPECT_TRUE(sorted[0]->sortedChildren(true).empty());
}

TEST(FileNodeSortedChildren, AllocatedModeUsesBlocks) {
    auto root = test::treeFromText("r/\n  x 100 alloc=4096\n  y 900 alloc=1024\n");
    EXPECT_EQ(root->sortedChildren(true)[0]->name(), "x");
    EXPECT_EQ(root->sortedChildren(false)[0]->name(), "y");
}

TEST(FileNodeWalk, FalseSkipsOnlyThatSubtree) {
    auto root = test::treeFromText("r/\n  a/\n    a1 1\n  b/\n    b1 1\n  c 1\n");
    std::vector<std::string> seen;
    root->walk([&](const FileNode& node) {
        seen.emplace_back(node.name());
        return node.name() != "a";
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"r", "a", "b", "b1", "c"}));

    int visits = 0;
    root->walk([&](const FileNode&) {
        ++visits;
        return false;
    });
    EXPECT_EQ(visits, 1);
}

TEST(FileNodeRollup, SumsFilesAndCountsFolders) {
    auto root = test::treeFromText(R"(r/
  a/
    x 10 alloc=4096
    y 20 alloc=4096
    deep/
      z 5 alloc=512
  empty/
  locked/ denied
  l 3 link
)");
    EXPECT_EQ(root->size, 38);
    EXPECT_EQ(root->allocated, 4096 * 2 + 512 + 3);
    EXPECT_EQ(root->fileCount, 4);
    EXPECT_EQ(root->folderCount, 4);
    const FileNode* empty = root->children()[1];
    EXPECT_TRUE(empty->hasChildList());
    EXPECT_FALSE(empty->hasChildren());
    const FileNode* locked = root->children()[2];
    EXPECT_FALSE(locked->hasChildList());
    EXPECT_TRUE(locked->isDenied);
    EXPECT_EQ(root->children()[0]->children()[2]->children()[0]->depth, 3);
}

TEST(FileNodeRollup, HugeSparseSizesSaturateInsteadOfTurningNegative) {
    auto root = test::treeFromText(R"(r/
  a 9223372036854775807 alloc=4096
  sub/
    b 9223372036854775807 alloc=4096
    c 9223372036854775807 alloc=4096
)");
    EXPECT_EQ(root->children()[1]->size, INT64_MAX);
    EXPECT_EQ(root->size, INT64_MAX);
    EXPECT_EQ(root->allocated, 3 * 4096);
    EXPECT_EQ(saturatingAdd(INT64_MIN, -1), INT64_MIN);
}

TEST(FileNodeOwnership, HeldNodeKeepsItsTreeAndPath) {
    std::shared_ptr<FileNode> held;
    {
        auto root = test::treeFromText("/home/al/\n  docs/\n    cv.pdf 1\n");
        held = share(root, root->children()[0]->children()[0]);
    }
    EXPECT_EQ(held->path(), "/home/al/docs/cv.pdf");
}

TEST(FileNodeLayout, NodeStaysCompact) {
    EXPECT_LE(sizeof(FileNode), 72u);
}

TEST(FileNodeDeepTrees, ThousandLevelsWithoutRecursion) {
    auto tree = std::make_shared<FileTree>();
    FileNode* root = tree->arena.makeNode("/deep", true, FileCategory::folder);
    FileNode* at = root;
    for (int level = 0; level < 100000; ++level) {
        FileNode* child = tree->arena.makeNode("d", true, FileCategory::folder);
        FileNode* const kids[] = {child};
        tree->arena.setChildren(*at, kids);
        at = child;
    }
    FileNode* leaf = tree->arena.makeNode("f", false, FileCategory::data);
    leaf->size = leaf->allocated = 7;
    leaf->fileCount = 1;
    FileNode* const kids[] = {leaf};
    tree->arena.setChildren(*at, kids);
    rollup(*root);
    assignDepth(*root, 0);
    EXPECT_EQ(root->size, 7);
    EXPECT_EQ(root->folderCount, 100000);
    EXPECT_EQ(leaf->depth, 100001);
    int count = 0;
    root->walk([&](const FileNode&) { return ++count, true; });
    EXPECT_EQ(count, 100002);
}

} // namespace
} // namespace tallymere
