#pragma once
#include "core/FileNode.h"
#include "layout/Geometry.h"
#include "layout/LayoutRecords.h"

#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace tallymere::CirclePackLayout {

struct Options {
    int maxDepth = 5;         // deepest depth that receives circles, the start node being 0
    double minRadius = 2.2;   // smallest radius emitted
    double padding = 2.5;     // margin between a parent's rim and its packed children
    bool useAllocated = true; // size key: allocated bytes when true, logical size otherwise
    int maxCircles = 12000;   // cap on the records; the start node is always emitted
    double minShare = 0.0015; // smallest share of the parent's bytes a child needs to be packed
    friend bool operator==(const Options&, const Options&) = default;
};

// The packing steps, exposed for testing the geometry on its own.
struct Circle {
    double x = 0;
    double y = 0;
    double r = 0;
    friend bool operator==(const Circle&, const Circle&) = default;
};

// The packed children of one folder in the group's own space, whatever circle they are later
// scaled into: the part of a layout that costs most, and the same wherever the folder appears.
struct Group {
    std::vector<const FileNode*> nodes; // kept children, largest first
    std::vector<Circle> circles;        // their packed circles
    std::optional<Circle> disc;         // the circle enclosing them; none when no child was kept
};

// Groups packed by earlier layouts of one unchanging tree with the same options, by folder: a view
// that keeps one across focus changes packs each folder once, so going back to a folder, or into
// one that was packed inside an earlier start, skips the packing. Whoever keeps it clears it when
// the tree or the options change (a node of a freed tree may share an address with one of the
// next). It forgets everything once it holds `limit` circles, so its memory stays bounded.
class GroupCache {
public:
    explicit GroupCache(std::size_t limit = 250'000) : m_limit(limit) {}
    void clear() {
        m_groups.clear();
        m_circles = 0;
    }
    std::size_t size() const { return m_groups.size(); }

private:
    friend std::vector<LayoutCircle> layout(const FileNode&, Rect, const Options&, GroupCache*);
    std::unordered_map<const FileNode*, std::shared_ptr<const Group>> m_groups;
    std::size_t m_circles = 0;
    std::size_t m_limit;
};

// Nested circles for the subtree under `root`: the start node fills the centre of `area`, each
// sibling group is packed front-chain style, enclosed by its smallest enclosing circle and scaled
// into its parent with the padding as margin. Circle areas follow bytes. Pre-order, siblings largest
// first. A smaller side of 24 or less, or a rectangle that is not finite, gives an empty array.
// The enclosing step shuffles with the system's random source; apart from rounding the result does
// not depend on it. Works without recursion. With a cache, groups packed before are taken from it
// and new ones added to it.
std::vector<LayoutCircle> layout(const FileNode& root, Rect area, const Options& options, GroupCache* cache = nullptr);

// Places the circles, in order, so that no two overlap: each new circle touches two of the front
// chain. Only x and y change.
void packSiblings(std::span<Circle> circles);

// The smallest circle enclosing all of them; none for an empty group. `randomSeed` drives the
// shuffle of the incremental construction.
std::optional<Circle> enclose(std::span<const Circle> circles, unsigned long long randomSeed);

} // namespace tallymere::CirclePackLayout
