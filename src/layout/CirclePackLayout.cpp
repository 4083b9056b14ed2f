#include "layout/CirclePackLayout.h"

#include "layout/ChildOrder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace tallymere::CirclePackLayout {
namespace {

using ChildOrder::KeyedChild;

// Circles closer than this count as touching, not overlapping.
constexpr double touchSlack = 0.000001;
// Below this a distance or a determinant counts as zero.
constexpr double tiny = 0.000000001;
// A child circle at most this large is drawn but never subdivided.
constexpr double subdivideRadius = 12;

// Places c outside a and b, touching both, on the side of the line a→b to which (−dy, dx) points.
void placeTouching(const Circle& a, const Circle& b, Circle& c) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double d2 = dx * dx + dy * dy;
    if (d2 == 0) {
        c.x = a.x + a.r + c.r;
        c.y = a.y;
        return;
    }
    const double ra = (c.r + a.r) * (c.r + a.r);
    const double rb = (c.r + b.r) * (c.r + b.r);
    if (rb < ra) {
        const double x = (d2 + rb - ra) / (2 * d2);
        const double y = std::sqrt(std::max(0.0, rb / d2 - x * x));
        c.x = b.x - dx * x - dy * y;
        c.y = b.y - dy * x + dx * y;
    } else {
        const double x = (ra + d2 - rb) / (2 * d2);
        const double y = std::sqrt(std::max(0.0, ra / d2 - x * x));
        c.x = a.x + dx * x - dy * y;
        c.y = a.y + dy * x + dx * y;
    }
}

bool overlaps(const Circle& a, const Circle& b) {
    const double d = a.r + b.r - touchSlack;
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    return d > 0 && dx * dx + dy * dy < d * d;
}

// How far from the origin the weighted midpoint of u and its chain successor v lies (squared).
double score(const Circle& u, const Circle& v) {
    const double sum = u.r + v.r;
    if (sum == 0) return std::numeric_limits<double>::max();
    const double x = (u.x * v.r + v.x * u.r) / sum;
    const double y = (u.y * v.r + v.y * u.r) / sum;
    return x * x + y * y;
}

bool encloses(const Circle& e, const Circle& s) {
    const double dx = e.x - s.x;
    const double dy = e.y - s.y;
    return std::sqrt(dx * dx + dy * dy) < e.r - s.r + touchSlack;
}

Circle encloseTwo(const Circle& p, const Circle& q) {
    const double dx = q.x - p.x;
    const double dy = q.y - p.y;
    const double l = std::sqrt(dx * dx + dy * dy);
    if (l > tiny) {
        return {(p.x + q.x + (q.r - p.r) * dx / l) / 2, (p.y + q.y + (q.r - p.r) * dy / l) / 2, (q.r + p.r + l) / 2};
    }
    return q.r <= p.r ? p : q;
}

// The circle that contains all three and touches each from inside, when there is one.
std::optional<Circle> encloseThree(const Circle& p, const Circle& q, const Circle& s) {
    const double x1 = p.x, y1 = p.y, r1 = p.r;
    const double x2 = q.x, y2 = q.y, r2 = q.r;
    const double x3 = s.x, y3 = s.y, r3 = s.r;
    const double a2 = x1 - x2, a3 = x1 - x3, b2 = y1 - y2, b3 = y1 - y3, c2 = r2 - r1, c3 = r3 - r1;
    const double d1 = x1 * x1 + y1 * y1 - r1 * r1;
    const double d2 = d1 - x2 * x2 - y2 * y2 + r2 * r2;
    const double d3 = d1 - x3 * x3 - y3 * y3 + r3 * r3;
    const double ab = a3 * b2 - a2 * b3;
    if (!(std::abs(ab) > tiny)) return std::nullopt;
    const double xa = (b2 * d3 - b3 * d2) / (2 * ab) - x1;
    const double xb = (b3 * c2 - b2 * c3) / ab;
    const double ya = (a3 * d2 - a2 * d3) / (2 * ab) - y1;
    const double yb = (a2 * c3 - a3 * c2) / ab;
    const double qa = xb * xb + yb * yb - 1;
    const double qb = 2 * (r1 + xa * xb + ya * yb);
    const double qc = xa * xa + ya * ya - r1 * r1;
    double r = 0;
    if (std::abs(qa) >= tiny) {
        const double discriminant = qb * qb - 4 * qa * qc;
        if (discriminant < 0) return std::nullopt;
        r = -(qb + std::sqrt(discriminant)) / (2 * qa);
    } else if (std::abs(qb) > tiny) {
        r = -qc / qb;
    } else {
        return std::nullopt;
    }
    const Circle result{x1 + xa + xb * r, y1 + ya + yb * r, r};
    if (!std::isfinite(result.x) || !std::isfinite(result.y) || !std::isfinite(result.r)) return std::nullopt;
    return result;
}

// A node whose packed children are being emitted; an explicit stack of these replaces the
// recursion so that deep trees cannot exhaust the thread's stack.
struct Frame {
    std::shared_ptr<const Group> group; // the children, packed in the group's own space
    double scale = 0;
    Point center;                       // the parent circle's centre
    int depth = 0;                      // the children's depth
    int tint = 0;                       // the tint passed down
    std::size_t next = 0;
};

std::size_t cap(const Options& options) {
    return static_cast<std::size_t>(std::max(options.maxCircles, 0));
}

// Packs the children of `node` in their own space; an empty group when none is kept.
std::shared_ptr<const Group> pack(const FileNode& node, const Options& options, std::mt19937_64& random) {
    auto group = std::make_shared<Group>();
    if (ChildOrder::enterable(node).empty()) return group;
    // Only children of at least one byte are candidates: a zero or negative key has no circle.
    double total = 0;
    std::vector<KeyedChild> kept = ChildOrder::largestFirstOfTotal(
        node, options.useAllocated, total,
        [&](std::int64_t key, double sum) { return static_cast<double>(key) / sum >= options.minShare; });
    if (!(total > 0) || kept.empty()) return group;
    group->nodes.reserve(kept.size());
    group->circles.reserve(kept.size());
    for (const KeyedChild& child : kept) {
        group->nodes.push_back(child.node);
        group->circles.push_back({0, 0, std::sqrt(static_cast<double>(child.key) / total)});
    }
    packSiblings(group->circles);
    group->disc = enclose(group->circles, random());
    return group;
}

// The packed children of `node`, from the cache when it holds them.
std::shared_ptr<const Group> packed(const FileNode& node, const Options& options, std::mt19937_64& random,
                                    std::unordered_map<const FileNode*, std::shared_ptr<const Group>>* groups,
                                    std::size_t& cachedCircles, std::size_t limit) {
    if (!groups) return pack(node, options, random);
    if (auto found = groups->find(&node); found != groups->end()) return found->second;
    std::shared_ptr<const Group> group = pack(node, options, random);
    if (cachedCircles + group->circles.size() > limit) {
        groups->clear();
        cachedCircles = 0;
    }
    cachedCircles += group->circles.size();
    groups->emplace(&node, group);
    return group;
}

} // namespace

void packSiblings(std::span<Circle> circles) {
    const std::size_t n = circles.size();
    if (n == 0) return;
    circles[0].y = 0;
    if (n == 1) {
        circles[0].x = 0;
        return;
    }
    circles[0].x = -circles[1].r;
    circles[1].x = circles[0].r;
    circles[1].y = 0;
    if (n == 2) return;
    placeTouching(circles[1], circles[0], circles[2]);

    // The front chain is a ring of indices; b always follows a on it.
    std::vector<std::size_t> next(n), prev(n);
    next[0] = 1, next[1] = 2, next[2] = 0;
    prev[1] = 0, prev[2] = 1, prev[0] = 2;
    std::size_t a = 0, b = 1;

    for (std::size_t i = 3; i < n; ++i) {
        Circle& c = circles[i];
        bool placed = false;
        while (!placed) {
            placeTouching(circles[a], circles[b], c);
            placed = true;
            // A chain of one circle has nothing else to collide with; searching it again would only
            // repeat the same placement.
            if (a == b) break;
            // Search the chain both ways from a and b for a circle that c overlaps; drop the part of
            // the chain it cuts off and place c again.
            std::size_t j = next[b], k = prev[a];
            double sj = circles[b].r, sk = circles[a].r;
            do {
                if (sj <= sk) {
                    if (overlaps(c, circles[j])) {
                        next[a] = j, prev[j] = a, b = j;
                        placed = false;
                        break;
                    }
                    sj += circles[j].r, j = next[j];
                } else {
                    if (overlaps(c, circles[k])) {
                        next[k] = b, prev[b] = k, a = k;
                        placed = false;
                        break;
                    }
                    sk += circles[k].r, k = prev[k];
                }
            } while (j != next[k]);
        }

        prev[i] = a, next[i] = b, next[a] = i, prev[b] = i;

        // The new a is the chain pair whose weighted midpoint lies nearest the origin; the first of
        // equal scores wins.
        std::size_t best = a;
        double bestScore = score(circles[a], circles[next[a]]);
        for (std::size_t u = next[i]; u != a; u = next[u]) {
            const double s = score(circles[u], circles[next[u]]);
            if (s < bestScore) best = u, bestScore = s;
        }
        a = best;
        b = next[a];
    }
}

std::optional<Circle> enclose(std::span<const Circle> circles, unsigned long long randomSeed) {
    if (circles.empty()) return std::nullopt;
    std::vector<Circle> shuffled(circles.begin(), circles.end());
    std::mt19937_64 random(randomSeed);
    std::shuffle(shuffled.begin(), shuffled.end(), random);

    Circle e = shuffled[0];
    for (std::size_t i = 1; i < shuffled.size(); ++i) {
        if (encloses(e, shuffled[i])) continue;
        const Circle& p = shuffled[i];
        e = p;
        for (std::size_t j = 0; j < i; ++j) {
            if (encloses(e, shuffled[j])) continue;
            const Circle& q = shuffled[j];
            e = encloseTwo(p, q);
            for (std::size_t k = 0; k < j; ++k) {
                if (encloses(e, shuffled[k])) continue;
                e = encloseThree(p, q, shuffled[k]).value_or(encloseTwo(p, q));
            }
        }
    }
    return e;
}

std::vector<LayoutCircle> layout(const FileNode& root, Rect area, const Options& options, GroupCache* cache) {
    std::vector<LayoutCircle> out;
    if (!area.isFinite()) return out;
    const double radius = std::min(area.width, area.height) * 0.5 - 4;
    if (!(radius > 8)) return out;

    const Point center{area.midX(), area.midY()};
    // The start node is a container whenever it has children, even as a package.
    out.push_back({&root, center, radius, 0, root.hasChildren(), 0});

    std::mt19937_64 random(std::random_device{}());
    std::size_t uncachedCircles = 0;
    auto* groups = cache ? &cache->m_groups : nullptr;
    std::size_t& cachedCircles = cache ? cache->m_circles : uncachedCircles;
    const std::size_t limit = cache ? cache->m_limit : 0;
    std::vector<Frame> stack;
    // Packs the children of `node` into the circle (center, radius) and pushes the frame that emits
    // them, unless the node gets no child circles.
    auto enter = [&](const FileNode& node, Point at, double within, int depth, int tint) {
        if (depth > options.maxDepth || out.size() >= cap(options)) return;
        if (ChildOrder::enterable(node).empty()) return;
        std::shared_ptr<const Group> group = packed(node, options, random, groups, cachedCircles, limit);
        const std::optional<Circle>& disc = group->disc;
        if (!disc || !(disc->r > 0) || !(options.minRadius < within - options.padding)) return;
        const double scale = (within - options.padding) / disc->r;
        stack.push_back({std::move(group), scale, at, depth, tint, 0});
    };
    enter(root, center, radius, 1, 0);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const Group& group = *frame.group;
        // The cap is also tested after every child and its subtree.
        if (frame.next >= group.nodes.size() || out.size() >= cap(options)) {
            stack.pop_back();
            continue;
        }
        // Skipped children keep their index: it is also their branch number.
        const std::size_t index = frame.next++;
        const Circle& circle = group.circles[index];
        const double r = frame.scale * circle.r;
        if (r < options.minRadius) continue;
        const FileNode& child = *group.nodes[index];
        const Point childCenter{frame.center.x + frame.scale * (circle.x - group.disc->x),
                                frame.center.y + frame.scale * (circle.y - group.disc->y)};
        const int tint = frame.depth == 1 ? static_cast<int>(index) : frame.tint;
        const int depth = frame.depth;
        const bool subdivides = r > subdivideRadius;
        out.push_back({&child, childCenter, r, depth, !child.isPackage && child.hasChildren() && subdivides, tint});
        // May push a frame: `frame` is not used after this call.
        if (subdivides) enter(child, childCenter, r, depth + 1, tint);
    }
    return out;
}

} // namespace tallymere::CirclePackLayout
