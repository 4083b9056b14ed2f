#include "layout/TreemapLayout.h"

#include "layout/ChildOrder.h"

#include <algorithm>
#include <limits>

namespace tallymere::TreemapLayout {
namespace {

using ChildOrder::KeyedChild;

// Areas this small would make the aspect ratio divide by almost nothing.
constexpr double minArea = 1e-7;

// Folders with at least this many children order only those that could take part in a tile.
constexpr std::size_t longList = 1024;

double raised(double area) {
    return area > minArea ? area : minArea;
}

// The worst aspect ratio of a row of total area `sum` along a side `side`, whose largest member has
// area `first` and whose newest member has the (raised) area `newest`.
double worstRatio(double side, double first, double sum, double newest) {
    if (!(sum > 0)) return std::numeric_limits<double>::max();
    const double side2 = side * side;
    const double sum2 = sum * sum;
    return std::max(side2 * first / sum2, sum2 / (side2 * newest));
}

// A parent whose children are being laid out. The recursion of the squarify step lives on an
// explicit stack of these, so that a chain of thousands of nested folders cannot exhaust the thread's
// stack.
struct Frame {
    const FileNode* parent = nullptr;
    std::vector<KeyedChild> children; // kept children, largest first
    std::vector<double> areas;        // each child's share of the content area
    // Whether the smallest children were left out: none of them could get a tile.
    bool shortened = false;
    double contentArea = 0;
    double total = 0;
    Rect free;                        // the part of the content area no row has taken yet
    int depth = 0;                    // the parent's depth
    int tint = 0;                     // the parent's tint
    std::size_t next = 0;             // the next child to place
    // The open row: children [next, rowEnd) are still to be placed in it.
    bool rowOpen = false;
    std::size_t rowEnd = 0;
    bool strip = false; // along the top edge (children left to right) rather than a left column
    double side = 0;
    double sum = 0;
    double thickness = 0;
    double offset = 0;
};

// Appends the node's tile and, when the node is a parent with room for children, the frame that
// lays them out.
void place(const FileNode& node, Rect rect, int depth, int tint, const Options& options,
           std::vector<LayoutTile>& tiles, std::vector<Frame>& stack) {
    if (tiles.size() >= static_cast<std::size_t>(std::max(options.maxTiles, 0))) return;
    // A side exactly equal to the minimum is still drawn.
    if (rect.width < options.minTile || rect.height < options.minTile) return;

    // The rectangle is tested before the node is read: most tiles of a large picture are too small
    // to hold children, and reading each of their nodes, scattered over the tree, costs a cache
    // miss apiece.
    const bool isParent = depth < options.maxDepth && rect.width > options.minParent &&
                          rect.height > options.minParent && !ChildOrder::enterable(node).empty() &&
                          node.bytes(options.useAllocated) >= 1;
    const double header = isParent && depth > 0 ? std::min(options.headerHeight, 0.22 * rect.height) : 0.0;
    tiles.push_back({&node, rect, depth, isParent, header, tint});
    if (!isParent) return;

    const double inset = std::max(options.padding - 0.32 * depth, 1.2);
    Rect content{rect.x + inset, rect.y + header + inset, rect.width - 2 * inset, rect.height - header - 2 * inset};
    if (!(content.width > options.minTile && content.height > options.minTile)) return;

    Frame frame;
    frame.parent = &node;
    const double contentArea = content.width * content.height;
    double total = 0;
    if (ChildOrder::enterable(node).size() >= longList && options.minTile > 0) {
        // A child whose share of the area is below a tile's least area gets no tile wherever it
        // lies, and only the rows it might join can move the others: the children down to a
        // quarter of that area are ordered and placed, the rest only when a row reaches them.
        const double leastArea = options.minTile * options.minTile / 4;
        auto keep = [&](std::int64_t key, double sum) {
            const bool kept = static_cast<double>(key) * contentArea / sum >= leastArea;
            frame.shortened = frame.shortened || !kept;
            return kept;
        };
        frame.children = ChildOrder::largestFirstOfTotal(node, options.useAllocated, total, keep);
    } else {
        frame.children = ChildOrder::largestFirst(node, options.useAllocated);
        for (const KeyedChild& child : frame.children) total += static_cast<double>(child.key);
    }
    if (frame.children.empty() || total < 1) return;

    frame.areas.reserve(frame.children.size());
    for (const KeyedChild& child : frame.children) frame.areas.push_back(static_cast<double>(child.key) * contentArea / total);
    frame.contentArea = contentArea;
    frame.total = total;
    frame.free = content;
    frame.depth = depth;
    frame.tint = tint;
    stack.push_back(std::move(frame));
}

// Orders and sizes every child of a shortened frame: the ordered children kept are the head of the
// whole order, so the rows already placed stand.
void lengthen(Frame& frame, const Options& options) {
    frame.children = ChildOrder::largestFirst(*frame.parent, options.useAllocated);
    frame.areas.clear();
    frame.areas.reserve(frame.children.size());
    for (const KeyedChild& child : frame.children)
        frame.areas.push_back(static_cast<double>(child.key) * frame.contentArea / frame.total);
    frame.shortened = false;
}

// Chooses the children of the next row and how it lies in the free rectangle.
void openRow(Frame& frame, const Options& options) {
    const Rect& free = frame.free;
    const double side = std::min(free.width, free.height);
    const double first = frame.areas[frame.next];
    double sum = raised(first);
    double worst = worstRatio(side, first, sum, sum);
    std::size_t end = frame.next + 1;
    for (;;) {
        // A row that reaches the last child kept may take in the ones left out.
        if (end == frame.areas.size() && frame.shortened) lengthen(frame, options);
        if (end >= frame.areas.size()) break;
        const double candidate = raised(frame.areas[end]);
        const double grown = sum + candidate;
        const double ratio = worstRatio(side, first, grown, candidate);
        if (ratio > worst) break;
        sum = grown;
        worst = ratio;
        ++end;
    }
    frame.rowOpen = true;
    frame.rowEnd = end;
    frame.strip = free.height > free.width;
    frame.side = side;
    frame.sum = sum;
    frame.thickness = sum / side;
    frame.offset = 0;
}

void closeRow(Frame& frame) {
    if (frame.strip) {
        frame.free.y += frame.thickness;
        frame.free.height -= frame.thickness;
    } else {
        frame.free.x += frame.thickness;
        frame.free.width -= frame.thickness;
    }
    frame.rowOpen = false;
}

} // namespace

std::vector<LayoutTile> layout(const FileNode& root, Rect area, const Options& options) {
    std::vector<LayoutTile> tiles;
    if (!area.isFinite() || !(area.width > 1 && area.height > 1)) return tiles;
    tiles.reserve(2048);

    const std::size_t cap = static_cast<std::size_t>(std::max(options.maxTiles, 0));
    const double leastTileArea = options.minTile > 0 ? options.minTile * options.minTile * (1 - 1e-9) : 0.0;
    std::vector<Frame> stack;
    place(root, area, 0, 0, options, tiles, stack);
    while (!stack.empty()) {
        // Once the cap is reached every further placement would return at once.
        if (tiles.size() >= cap) break;
        Frame& frame = stack.back();
        if (frame.rowOpen && frame.next < frame.rowEnd) {
            const std::size_t index = frame.next++;
            const double length = frame.side * raised(frame.areas[index]) / frame.sum;
            const Rect& free = frame.free;
            const Rect rect = frame.strip ? Rect{free.x + frame.offset, free.y, length, frame.thickness}
                                          : Rect{free.x, free.y + frame.offset, frame.thickness, length};
            frame.offset += length;
            const int childTint = frame.depth == 0 ? static_cast<int>(index) : frame.tint;
            // May push a frame: `frame` is not used after this call.
            place(*frame.children[index].node, rect.standardized(), frame.depth + 1, childTint, options, tiles, stack);
            continue;
        }
        if (frame.rowOpen) closeRow(frame);
        // The children are largest first: once the next is smaller than a tile's least area, none
        // of the rest gets a tile (a rectangle's sides are at least the minimum only when its area
        // is at least their product, less a margin for rounding).
        if (frame.next >= frame.children.size() || !(frame.free.width > 0.01 && frame.free.height > 0.01) ||
            frame.areas[frame.next] < leastTileArea) {
            stack.pop_back();
            continue;
        }
        openRow(frame, options);
    }
    return tiles;
}

} // namespace tallymere::TreemapLayout
