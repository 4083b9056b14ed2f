#include "core/CategoryIndex.h"

#include "core/FileTree.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace tallymere;

namespace {

// A tree of every kind of entry in random places: files of every category (some with more blocks
// than bytes, some with none), symbolic links, packages with contents, unreadable folders, empty
// folders, wide folders and a deep chain.
std::shared_ptr<FileNode> randomTree(std::uint64_t seed, int nodes) {
    auto tree = std::make_shared<FileTree>();
    NodeArena& arena = tree->arena;
    auto next = [&seed] {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        return seed;
    };
    tree->root = arena.makeNode("/random", true, FileCategory::folder);
    std::vector<std::vector<FileNode*>> lists(1);
    std::vector<FileNode*> folders{tree->root};
    for (int i = 0; i < nodes; ++i) {
        // Mostly into recent folders, so that some grow deep and some wide.
        const std::size_t parent = next() % 4 == 0 ? next() % folders.size() : folders.size() - 1 - next() % std::min<std::size_t>(folders.size(), 3);
        const std::uint64_t kind = next() % 20;
        FileNode* node = nullptr;
        if (kind < 5) {
            const bool package = kind == 0;
            node = arena.makeNode("d" + std::to_string(i), true, package ? FileCategory::app : FileCategory::folder);
            node->isPackage = package;
            folders.push_back(node);
            lists.emplace_back();
        } else if (kind == 5) {
            node = arena.makeNode("denied" + std::to_string(i), true, FileCategory::folder);
            node->isDenied = true;
            node->size = std::int64_t(next() % 4096);
            node->allocated = 4096;
        } else {
            const auto category = FileCategories::all[next() % FileCategories::all.size()];
            node = arena.makeNode("f" + std::to_string(i), false, category);
            node->isSymlink = kind == 6;
            node->size = std::int64_t(next() % 10'000'000);
            node->allocated = next() % 5 == 0 ? 0 : (node->size + 4095) / 4096 * 4096 + std::int64_t(next() % 3) * 4096;
        }
        lists[parent].push_back(node);
    }
    // Children lists are set last, so folders (denied ones aside) all have one, empty or not.
    for (std::size_t f = folders.size(); f-- > 0;) arena.setChildren(*folders[f], lists[f]);
    rollup(*tree->root);
    assignDepth(*tree->root, 0);
    return shareRoot(tree);
}

// Every node of the tree, folders and leaves.
std::vector<const FileNode*> everyNode(const FileNode& root) {
    std::vector<const FileNode*> nodes;
    root.walk([&](const FileNode& node) {
        nodes.push_back(&node);
        return true;
    });
    return nodes;
}

} // namespace

TEST(CategoryIndex, EveryNodeTotalsAsTheWalkInBothSizeModes) {
    for (std::uint64_t seed : {1ull, 7ull, 0x9E3779B97F4A7C15ull}) {
        const auto root = randomTree(seed, 6000);
        const std::vector<const FileNode*> nodes = everyNode(*root);
        std::vector<CategoryTotals> walkedAllocated, walkedLogical;
        for (const FileNode* node : nodes) {
            walkedAllocated.push_back(CategoryTotals::of(*node, true));
            walkedLogical.push_back(CategoryTotals::of(*node, false));
        }
        for (std::size_t limit : {2u, 5u, 64u, 2048u}) {
            const auto index = CategoryIndex::build(root, limit);
            if (limit < 100) {
                EXPECT_GT(index->keptFolders(), 0u);
            }
            // Each kept folder stands for `limit` nodes of its own.
            EXPECT_LE(index->keptFolders(), nodes.size() / limit);
            for (std::size_t i = 0; i < nodes.size(); ++i)
                for (bool allocated : {true, false}) {
                    std::size_t walked = 0;
                    const CategoryTotals fast = index->totals(*nodes[i], allocated, &walked);
                    ASSERT_EQ(fast, allocated ? walkedAllocated[i] : walkedLogical[i])
                        << "seed " << seed << " limit " << limit << " node " << nodes[i]->path();
                    // A query looks at fewer nodes than the limit, however many lie below.
                    ASSERT_LT(walked, limit);
                }
        }
    }
}

TEST(CategoryIndex, WalksOfHugeFoldersStayShort) {
    // 200 folders of 500 files under one top: the top and every folder above 64 are answered from
    // kept totals rather than walked.
    auto tree = std::make_shared<FileTree>();
    NodeArena& arena = tree->arena;
    tree->root = arena.makeNode("/wide", true, FileCategory::folder);
    std::vector<FileNode*> folders;
    for (int f = 0; f < 200; ++f) {
        FileNode* folder = arena.makeNode("d" + std::to_string(f), true, FileCategory::folder);
        std::vector<FileNode*> files;
        for (int i = 0; i < 500; ++i) {
            FileNode* file = arena.makeNode("a.mp4", false, i % 2 ? FileCategory::video : FileCategory::code);
            file->size = file->allocated = 1000 + i;
            files.push_back(file);
        }
        arena.setChildren(*folder, files);
        folders.push_back(folder);
    }
    arena.setChildren(*tree->root, folders);
    rollup(*tree->root);
    const auto root = shareRoot(tree);
    const auto index = CategoryIndex::build(root, 64);
    std::size_t walked = 0;
    EXPECT_EQ(index->totals(*root, true, &walked), CategoryTotals::of(*root, true));
    EXPECT_EQ(walked, 1u);
    EXPECT_EQ(index->totals(*folders[3], false, &walked), CategoryTotals::of(*folders[3], false));
    EXPECT_EQ(walked, 1u);
}

TEST(CategoryIndex, NodesOfAnotherTreeAreWalkedWhole) {
    const auto indexed = test::treeFromText("/a/\n  x/\n    a.mp4 10\n    b.mp4 20\n");
    const auto other = test::treeFromText("/b/\n  y/\n    c.pdf 5\n  Tool.app/ package\n    inner.mp4 7\n  gone/ denied\n");
    const auto index = CategoryIndex::build(indexed, 2);
    EXPECT_EQ(index->totals(*other, false), CategoryTotals::of(*other, false));
    EXPECT_EQ(index->totals(*other, false).of(FileCategory::app), 7);
    // A file or a package is its own single leaf.
    const FileNode* app = other->children()[1];
    EXPECT_EQ(index->totals(*app, true), CategoryTotals::of(*app, true));
    EXPECT_EQ(CategoryIndex::build(nullptr)->totals(*indexed, true), CategoryTotals::of(*indexed, true));
}
