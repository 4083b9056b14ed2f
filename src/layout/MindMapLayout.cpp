#include "layout/MindMapLayout.h"

#include "layout/ChildOrder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace tallymere::MindMapLayout {
namespace {

// One node of the pruned tree the map is drawn from. Plans live in one vector in breadth-first
// order, so a plan's children are contiguous and always come after it: the passes over the plan
// tree are plain loops, with no recursion a deep tree could exhaust.
struct Plan {
    const FileNode* node = nullptr;
    int depth = 0;
    std::size_t firstChild = 0;
    std::size_t childCount = 0;
    std::int64_t leaves = 1;
    double start = 0;
    double sweep = 0;
    // Where the plan's disc was drawn, for its children's edges.
    Point position;
    double radius = 0;
    int tint = 0;
};

struct ValuedChild {
    std::int64_t value = 0;
    const FileNode* node = nullptr;
};

// The pruned tree below `root`: each node keeps its largest children that reach the share, at most
// as many as the branching allows at its depth.
std::vector<Plan> buildPlans(const FileNode& root, const Options& options) {
    std::vector<Plan> plans{Plan{&root, 0}};
    std::vector<ValuedChild> kept;
    for (std::size_t index = 0; index < plans.size(); ++index) {
        const FileNode& node = *plans[index].node;
        const int depth = plans[index].depth;
        if (depth >= options.maxDepth) continue;
        const auto children = ChildOrder::enterable(node);
        if (children.empty()) continue;
        const double sum = ChildOrder::positiveTotal(node, options.useAllocated);
        if (!(sum > 0)) continue;
        if (options.branching.empty()) continue;
        const std::size_t last = options.branching.size() - 1;
        const int limit = std::max(options.branching[std::min(static_cast<std::size_t>(depth), last)], 0);

        kept.clear();
        for (const FileNode* child : children) {
            const std::int64_t value = child->bytes(options.useAllocated);
            // A child at exactly the share is shown.
            if (static_cast<double>(value) / sum >= options.minShare) kept.push_back({value, child});
        }
        std::stable_sort(kept.begin(), kept.end(), [](const ValuedChild& a, const ValuedChild& b) { return a.value > b.value; });
        const std::size_t take = std::min(static_cast<std::size_t>(limit), kept.size());
        plans[index].firstChild = plans.size();
        plans[index].childCount = take;
        for (std::size_t k = 0; k < take; ++k) plans.push_back(Plan{kept[k].node, depth + 1});
    }
    return plans;
}

// Leaf counts, children before their parents.
void countLeaves(std::vector<Plan>& plans) {
    for (std::size_t index = plans.size(); index-- > 0;) {
        Plan& plan = plans[index];
        if (plan.childCount == 0) {
            plan.leaves = 1;
            continue;
        }
        std::int64_t leaves = 0;
        for (std::size_t k = 0; k < plan.childCount; ++k) leaves += plans[plan.firstChild + k].leaves;
        plan.leaves = leaves;
    }
}

// Angular spans, parents before their children: 45 % of a span is shared equally among the
// children and 55 % in proportion to their leaf counts.
void assignAngles(std::vector<Plan>& plans, double start, double sweep) {
    plans[0].start = start;
    plans[0].sweep = sweep;
    std::vector<double> weights;
    for (Plan& plan : plans) {
        if (plan.childCount == 0) continue;
        const double n = static_cast<double>(plan.childCount);
        const double leaves = static_cast<double>(std::max<std::int64_t>(plan.leaves, 1));
        weights.clear();
        double sum = 0;
        for (std::size_t k = 0; k < plan.childCount; ++k) {
            const double weight = 0.45 / n + 0.55 * static_cast<double>(plans[plan.firstChild + k].leaves) / leaves;
            weights.push_back(weight);
            sum += weight;
        }
        if (sum > 0)
            for (double& weight : weights) weight /= sum;
        double cursor = plan.start;
        for (std::size_t k = 0; k < plan.childCount; ++k) {
            Plan& child = plans[plan.firstChild + k];
            child.start = cursor;
            child.sweep = plan.sweep * weights[k];
            cursor += child.sweep;
        }
    }
}

} // namespace

GraphLayout layout(const FileNode& root, Rect area, const Options& options) {
    GraphLayout graph;
    if (!area.isFinite()) return graph;
    const Point center{area.midX(), area.midY()};
    const double outer = std::min(area.width, area.height) * 0.5 - options.maxNodeRadius - 46;
    if (!(options.centerRadius < outer)) return graph;

    std::vector<Plan> plans = buildPlans(root, options);
    countLeaves(plans);
    assignAngles(plans, -std::numbers::pi / 2, 2 * std::numbers::pi);

    const int levels = std::max(options.maxDepth, 1);
    // Ring radii by depth; the exponent below 1 moves the inner rings outwards.
    auto ring = [&](int index) {
        if (index <= 0) return 0.0;
        return options.centerRadius + (outer - options.centerRadius) * std::pow(static_cast<double>(index) / levels, 0.82);
    };
    const double total = std::max(static_cast<double>(root.bytes(options.useAllocated)), 1.0);
    auto value = [&](const FileNode& node) {
        return static_cast<double>(std::max<std::int64_t>(node.bytes(options.useAllocated), 0));
    };

    const double centerDisc = options.centerRadius * 0.62;
    graph.nodes.reserve(plans.size());
    graph.edges.reserve(plans.size() - 1);
    graph.nodes.push_back({&root, center, centerDisc, 0, 0.0, false, 0});
    plans[0].position = center;
    plans[0].radius = centerDisc;
    plans[0].tint = 0;

    // Pre-order walk: each child is emitted and then its whole subtree before its next sibling.
    struct Step {
        std::size_t plan;
        std::size_t nextChild;
    };
    std::vector<Step> stack{{0, 0}};
    while (!stack.empty()) {
        Step& step = stack.back();
        const Plan& parent = plans[step.plan];
        if (step.nextChild >= parent.childCount) {
            stack.pop_back();
            continue;
        }
        const std::size_t i = step.nextChild++;
        const std::size_t childIndex = parent.firstChild + i;
        Plan& child = plans[childIndex];
        const int depth = parent.depth;

        const double angle = child.start + child.sweep * 0.5;
        const double r = ring(std::min(levels, depth + 1));
        const Point position{center.x + std::cos(angle) * r, center.y + std::sin(angle) * r};
        const double share = value(*child.node) / total;
        const double fade = std::max(1 - 0.16 * (depth + 1), 0.45);
        const double radius = std::max(options.minNodeRadius,
                                       (options.minNodeRadius + std::pow(share, 0.42) * (options.maxNodeRadius - options.minNodeRadius)) * fade);
        const int tint = depth == 0 ? static_cast<int>(i) : parent.tint;

        graph.edges.push_back({parent.position, position, parent.radius, radius, depth, tint});
        graph.nodes.push_back({child.node, position, radius, depth + 1, angle, child.childCount == 0, tint});
        child.position = position;
        child.radius = radius;
        child.tint = tint;
        stack.push_back({childIndex, 0});
    }
    return graph;
}

} // namespace tallymere::MindMapLayout
