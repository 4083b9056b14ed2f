#include "layout/SunburstLayout.h"

#include "layout/ChildOrder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tallymere::SunburstLayout {
namespace {

using ChildOrder::KeyedChild;

// What a node keeps to lay its children into their ring.
struct Ring {
    double sweep = 0;     // the node's own sweep
    double angle = 0;     // running start of the next child
    int depth = 0;        // the ring the children go into
    int tint = 0;         // the node's tint
    double innerEdge = 0; // the ring's radii
    double outerEdge = 0;
};
using Frame = ChildOrder::Frame<Ring>;

// Pushes the frame that lays out the children of `node`, when it may have any.
void enter(const FileNode& node, double start, double sweep, int depth, int tint, double inner, double ring,
           const Options& options, const std::vector<LayoutArc>& arcs, std::vector<Frame>& stack) {
    if (depth > options.maxDepth) return;
    if (arcs.size() >= static_cast<std::size_t>(std::max(options.maxArcs, 0))) return;
    if (ChildOrder::enterable(node).empty()) return;
    const double total = ChildOrder::positiveTotal(node, options.useAllocated);
    if (!(total >= 1)) return;

    Frame frame;
    // Children whose sweep is below the minimum draw nothing and only advance the running angle.
    // They are the smallest, so they sort after every drawn child and leaving them out before
    // sorting changes neither the angles nor the branch numbers of the others.
    frame.children = ChildOrder::largestFirst(node, options.useAllocated, [&](std::int64_t key) {
        return !(sweep * static_cast<double>(key) / total < options.minSweep);
    });
    frame.total = total;
    const double innerEdge = inner + ring * (depth - 1);
    frame.place = {sweep, start, depth, tint, innerEdge, std::max(innerEdge + ring - options.ringGap, innerEdge)};
    stack.push_back(std::move(frame));
}

} // namespace

std::vector<LayoutArc> layout(const FileNode& root, double radius, const Options& options) {
    std::vector<LayoutArc> arcs;
    if (!std::isfinite(radius) || !(radius > 4)) return arcs;

    const double inner = radius * options.innerRadiusFraction;
    const double ring = (radius - inner) / std::max(options.maxDepth, 1);
    constexpr double fullTurn = 2 * std::numbers::pi;
    arcs.push_back({&root, 0, fullTurn, 0, inner, 0, 0});

    std::vector<Frame> stack;
    enter(root, 0, fullTurn, 1, 0, inner, ring, options, arcs, stack);
    ChildOrder::walkFrames(stack, [&](Frame& frame, std::size_t index, const KeyedChild& child) {
        Ring& at = frame.place;
        const double start = at.angle;
        const double sweep = at.sweep * static_cast<double>(child.key) / frame.total;
        // A too narrow child still advances the angle: it leaves an empty wedge.
        at.angle += sweep;
        if (sweep < options.minSweep) return;
        const int tint = at.depth == 1 ? static_cast<int>(index) : at.tint;
        arcs.push_back({child.node, start, start + sweep, at.innerEdge, at.outerEdge, at.depth, tint});
        // May push a frame: `frame` is not used after this call.
        enter(*child.node, start, sweep, at.depth + 1, tint, inner, ring, options, arcs, stack);
    });
    return arcs;
}

} // namespace tallymere::SunburstLayout
