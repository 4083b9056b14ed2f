#pragma once
#include "core/FileTree.h"
#include "layout/Geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

// Trees for the layout tests that are too large or too random to write as text, and the geometric
// checks the tests share.
namespace tallymere::test {

inline double overlapArea(const Rect& a, const Rect& b) {
    const double w = std::min(a.maxX(), b.maxX()) - std::max(a.minX(), b.minX());
    const double h = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    return w > 0 && h > 0 ? w * h : 0;
}

inline bool inside(const Rect& inner, const Rect& outer, double slack) {
    return inner.minX() >= outer.minX() - slack && inner.minY() >= outer.minY() - slack &&
           inner.maxX() <= outer.maxX() + slack && inner.maxY() <= outer.maxY() + slack;
}

// The children's size keys added up, negative ones counted as 0.
inline double positiveSum(const FileNode& node, bool useAllocated) {
    double sum = 0;
    for (const FileNode* child : node.children()) sum += std::max<double>(0, static_cast<double>(child->bytes(useAllocated)));
    return sum;
}

// Where `node` stands among its siblings of at least one byte sorted largest first, equal keys in
// stored order: the branch number every layout gives a first-level record.
inline int sortedRank(const FileNode& node, bool useAllocated) {
    const std::int64_t key = node.bytes(useAllocated);
    int rank = 0;
    bool storedBefore = true;
    for (const FileNode* sibling : node.parent->children()) {
        if (sibling == &node) {
            storedBefore = false;
            continue;
        }
        const std::int64_t other = sibling->bytes(useAllocated);
        if (other >= 1 && (other > key || (other == key && storedBefore))) ++rank;
    }
    return rank;
}

// A folder whose children are files of the given sizes (logical and allocated alike), in order.
inline std::shared_ptr<FileNode> folderOf(const std::vector<std::int64_t>& sizes) {
    auto tree = std::make_shared<FileTree>();
    FileNode* root = tree->arena.makeNode("/r", true, FileCategory::folder);
    std::vector<FileNode*> children;
    children.reserve(sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        FileNode* file = tree->arena.makeNode("f" + std::to_string(i), false, FileCategory::data);
        file->size = file->allocated = sizes[i];
        children.push_back(file);
    }
    tree->arena.setChildren(*root, children);
    rollup(*root);
    assignDepth(*root, 0);
    tree->root = root;
    return shareRoot(tree);
}

// A chain of `levels` nested folders with one file of `leafSize` bytes at the bottom.
inline std::shared_ptr<FileNode> chainTree(int levels, std::int64_t leafSize) {
    auto tree = std::make_shared<FileTree>();
    FileNode* root = tree->arena.makeNode("/deep", true, FileCategory::folder);
    FileNode* folder = root;
    for (int level = 1; level < levels; ++level) {
        FileNode* inner = tree->arena.makeNode("d", true, FileCategory::folder);
        FileNode* const kids[] = {inner};
        tree->arena.setChildren(*folder, kids);
        folder = inner;
    }
    FileNode* leaf = tree->arena.makeNode("leaf", false, FileCategory::data);
    leaf->size = leaf->allocated = leafSize;
    FileNode* const kids[] = {leaf};
    tree->arena.setChildren(*folder, kids);
    rollup(*root);
    assignDepth(*root, 0);
    tree->root = root;
    return shareRoot(tree);
}

// A random tree of about `nodeCount` nodes: folders of up to `maxFanout` children, files of sizes
// spread over many orders of magnitude with some zero-sized ones, a few empty folders, unlisted
// folders and packages.
inline std::shared_ptr<FileNode> randomTree(std::uint32_t seed, int nodeCount, int maxFanout = 12) {
    auto tree = std::make_shared<FileTree>();
    std::mt19937 random(seed);
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; };
    FileNode* root = tree->arena.makeNode("/rand", true, FileCategory::folder);
    std::vector<FileNode*> open{root};
    int made = 1;
    for (std::size_t index = 0; index < open.size(); ++index) {
        FileNode* folder = open[index];
        if (folder != root && chance(0.05)) continue; // unlisted (unreadable) folder
        int fanout = folder == root ? maxFanout : std::uniform_int_distribution<int>(1, maxFanout)(random);
        if (made >= nodeCount || (folder != root && chance(0.05))) fanout = 0; // empty folder
        std::vector<FileNode*> children;
        for (int k = 0; k < fanout && made < nodeCount; ++k, ++made) {
            const bool isFolder = chance(0.3);
            FileNode* node = tree->arena.makeNode("n" + std::to_string(made), isFolder,
                                                  isFolder ? FileCategory::folder : FileCategory::data);
            if (isFolder) {
                node->isPackage = chance(0.05);
                open.push_back(node);
            } else if (!chance(0.08)) {
                const double exponent = std::uniform_real_distribution<double>(0, 9)(random);
                node->size = static_cast<std::int64_t>(std::pow(10.0, exponent));
                node->allocated = (node->size + 4095) / 4096 * 4096;
            }
            children.push_back(node);
        }
        tree->arena.setChildren(*folder, children);
    }
    rollup(*root);
    assignDepth(*root, 0);
    tree->root = root;
    return shareRoot(tree);
}

} // namespace tallymere::test
