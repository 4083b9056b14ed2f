#include "layout/IcicleLayout.h"

#include "layout/ChildOrder.h"

#include <algorithm>

namespace tallymere::IcicleLayout {
namespace {

using ChildOrder::KeyedChild;

// What a row's parent keeps to place its children below it.
struct Row {
    double width = 0; // the node's own width
    double x = 0;     // running left edge of the next child
    int depth = 0;    // the node's depth
    int tint = 0;     // the node's tint
};
using Frame = ChildOrder::Frame<Row>;

// Appends the node's tile and, when it has children to lay out, pushes their frame.
void emit(const FileNode& node, double x, double width, int depth, int tint, Rect area, const Options& options,
          std::vector<LayoutTile>& tiles, std::vector<Frame>& stack) {
    // A width equal to the minimum is drawn.
    if (width < options.minWidth || depth > options.maxDepth) return;
    if (tiles.size() >= static_cast<std::size_t>(std::max(options.maxTiles, 0))) return;
    const double top = area.minY() + options.rowHeight * depth;
    if (!(top < area.maxY())) return;
    const double height = std::min(options.rowHeight - options.gap, area.maxY() - top);
    if (!(height > 1)) return;

    const bool hasChildren = !ChildOrder::enterable(node).empty();
    tiles.push_back({&node, Rect{x, top, width, height}, depth, hasChildren, 0.0, tint});
    // Children below the deepest row would all return at once.
    if (!hasChildren || depth >= options.maxDepth) return;
    const double total = ChildOrder::positiveTotal(node, options.useAllocated);
    if (!(total >= 1)) return;

    Frame frame;
    // Children narrower than the minimum would draw nothing. They are the smallest, so leaving them
    // out before sorting changes neither the others' positions nor their branch numbers, and spares
    // sorting the long tail of a huge folder.
    frame.children = ChildOrder::largestFirst(node, options.useAllocated, [&](std::int64_t key) {
        return width * (static_cast<double>(key) / total) >= options.minWidth;
    });
    frame.total = total;
    frame.place = {width, x, depth, tint};
    stack.push_back(std::move(frame));
}

} // namespace

std::vector<LayoutTile> layout(const FileNode& root, Rect area, const Options& options) {
    std::vector<LayoutTile> tiles;
    if (!area.isFinite() || !(area.width > 1)) return tiles;

    std::vector<Frame> stack;
    emit(root, area.minX(), area.width, 0, 0, area, options, tiles, stack);
    ChildOrder::walkFrames(stack, [&](Frame& frame, std::size_t index, const KeyedChild& child) {
        Row& row = frame.place;
        const double x = row.x;
        const double width = row.width * (static_cast<double>(child.key) / frame.total);
        // The running edge advances also past a child that draws nothing.
        row.x += width;
        const int tint = row.depth == 0 ? static_cast<int>(index) : row.tint;
        // May push a frame: `frame` is not used after this call.
        emit(*child.node, x, width, row.depth + 1, tint, area, options, tiles, stack);
    });
    return tiles;
}

} // namespace tallymere::IcicleLayout
