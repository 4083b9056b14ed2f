#include "layout/HitTest.h"

#include <cmath>
#include <numbers>

namespace tallymere::HitTest {

const FileNode* tileAt(std::span<const LayoutTile> tiles, Point point) {
    for (auto tile = tiles.rbegin(); tile != tiles.rend(); ++tile)
        if (tile->rect.contains(point)) return tile->node;
    return nullptr;
}

const FileNode* arcAt(std::span<const LayoutArc> arcs, Point center, Point point) {
    constexpr double fullTurn = 2 * std::numbers::pi;
    const double dx = point.x - center.x;
    const double dy = point.y - center.y;
    const double distance = std::sqrt(dx * dx + dy * dy);
    // 0 at twelve o'clock, growing clockwise on screen, like the layout's angles.
    double angle = std::atan2(dx, -dy);
    if (angle < 0) angle += fullTurn;

    for (auto arc = arcs.rbegin(); arc != arcs.rend(); ++arc) {
        if (arc->depth < 1) continue;
        if (!(arc->innerRadius <= distance && distance <= arc->outerRadius)) continue;
        double start = std::fmod(arc->startAngle, fullTurn);
        if (start < 0) start += fullTurn;
        const double end = start + (arc->endAngle - arc->startAngle);
        const bool inside = end <= fullTurn ? start <= angle && angle <= end : angle >= start || angle <= end - fullTurn;
        if (inside) return arc->node;
    }
    return nullptr;
}

const FileNode* circleAt(std::span<const LayoutCircle> circles, Point point) {
    const LayoutCircle* best = nullptr;
    for (const LayoutCircle& circle : circles) {
        if (circle.depth < 1) continue;
        const double dx = point.x - circle.center.x;
        const double dy = point.y - circle.center.y;
        if (dx * dx + dy * dy > circle.radius * circle.radius) continue;
        if (!best || circle.depth > best->depth) best = &circle;
    }
    return best ? best->node : nullptr;
}

const FileNode* graphNodeAt(const GraphLayout& graph, Point point, double slop) {
    const GraphNode* best = nullptr;
    for (const GraphNode& disc : graph.nodes) {
        const double dx = point.x - disc.position.x;
        const double dy = point.y - disc.position.y;
        const double reach = disc.radius + slop;
        if (dx * dx + dy * dy > reach * reach) continue;
        if (!best || disc.depth > best->depth) best = &disc;
    }
    return best ? best->node : nullptr;
}

} // namespace tallymere::HitTest
