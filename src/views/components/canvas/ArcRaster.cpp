#include "views/components/canvas/ArcRaster.h"
#include "views/components/canvas/TileRaster.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace tallymere {

namespace {

constexpr double pi = std::numbers::pi;

inline float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// An opaque pixel laid over `dst` at `coverage` (0...1), two channels per multiply.
inline std::uint32_t mixOpaque(std::uint32_t src, std::uint32_t dst, float coverage) {
    const std::uint32_t c = std::uint32_t(coverage * 256.0f + 0.5f), k = 256u - c;
    const std::uint32_t rb = (((src & 0x00ff00ffu) * c + (dst & 0x00ff00ffu) * k) >> 8) & 0x00ff00ffu;
    const std::uint32_t ag = (((src >> 8) & 0x00ff00ffu) * c + ((dst >> 8) & 0x00ff00ffu) * k) & 0xff00ff00u;
    return rb | ag;
}

// Source-over of the premultiplied pixel `src` at `coverage` onto `dst`.
inline std::uint32_t blendOver(std::uint32_t src, std::uint32_t dst, float coverage) {
    const std::uint32_t c = std::uint32_t(coverage * 256.0f + 0.5f);
    const std::uint32_t s = ((((src & 0x00ff00ffu) * c) >> 8) & 0x00ff00ffu) | ((((src >> 8) & 0x00ff00ffu) * c) & 0xff00ff00u);
    return sourceOverPixel(s, dst);
}

std::uint32_t premultiplied(const QColor& color) {
    const QRgb c = color.rgba();
    const std::uint32_t a = qAlpha(c);
    auto channel = [a](std::uint32_t v) { return (v * a + 127) / 255; };
    return (a << 24) | (channel(qRed(c)) << 16) | (channel(qGreen(c)) << 8) | channel(qBlue(c));
}

// A segment's outline as distances: pixel coverage is the product of how much of the pixel lies
// between the two circles and how much within the angle, each worked out from the pixel centre's
// distance to the edges (a box filter one pixel wide). The same shape grown or shrunk by g pixels
// on every side gives the band of an outline g wide on each side of it.
struct Outline {
    float inner = 0, outer = 0;
    // Normals of the start and end edges, pointing into the segment.
    float startX = 0, startY = 0, endX = 0, endY = 0;
    // Direction of the start edge, outwards: the whole ring's seam lies along it.
    float seamX = 0, seamY = 0;
    bool whole = false;  // the whole ring: no start or end edge
    bool convex = true;  // a sweep of at most half a turn: inside both edges, else inside either

    float radial(float d, float g) const {
        return clamp01(clamp01(d - inner + g + 0.5f) + clamp01(outer + g - d + 0.5f) - 1.0f);
    }
    float angular(float fx, float fy, float g) const {
        if (whole) return 1.0f;
        const float a = clamp01(fx * startX + fy * startY + g + 0.5f) + clamp01(fx * endX + fy * endY + g + 0.5f);
        return convex ? clamp01(a - 1.0f) : clamp01(a);
    }
    float coverage(float fx, float fy, float d, float g) const { return radial(d, g) * angular(fx, fy, g); }
};

} // namespace

ArcRaster::ArcRaster(QImage& image, QPointF centre, int rowFrom, int rowTo) : m_centre(centre) {
    if (image.format() != QImage::Format_ARGB32_Premultiplied || image.isNull()) return;
    m_bits = image.bits();
    m_stride = image.bytesPerLine();
    m_width = image.width();
    m_rowFrom = std::clamp(rowFrom, 0, image.height());
    m_rowTo = rowTo < 0 ? image.height() : std::clamp(rowTo, m_rowFrom, image.height());
}

ArcRaster::ArcRaster(const ArcRaster& whole, int rowFrom, int rowTo) : ArcRaster(whole) {
    m_rowFrom = std::clamp(rowFrom, whole.m_rowFrom, whole.m_rowTo);
    m_rowTo = std::clamp(rowTo, m_rowFrom, whole.m_rowTo);
}

void ArcRaster::fill(const Segment& segment, const QColor& fill, double lineWidth, const QColor& line) {
    if (!m_bits || !(segment.outer > 0) || !(segment.end > segment.start) || !std::isfinite(segment.outer) ||
        !std::isfinite(segment.start) || !std::isfinite(segment.end))
        return;
    const double sweep = segment.end - segment.start;
    const bool lined = lineWidth > 0 && line.alpha() > 0;
    const float half = lined ? float(lineWidth / 2) : 0.0f;
    // The outline's band reaches no further than its full coverage: a line under a pixel wide
    // covers at most its width of any pixel.
    const float lineCap = std::min(1.0f, 2.0f * half);

    Outline o;
    o.inner = segment.inner > 0 ? float(segment.inner) : -1e9f;
    o.outer = float(segment.outer);
    o.whole = sweep >= 2 * pi - 1e-9;
    o.convex = sweep <= pi;
    o.startX = float(std::cos(segment.start)), o.startY = float(std::sin(segment.start));
    o.endX = float(-std::cos(segment.end)), o.endY = float(-std::sin(segment.end));
    o.seamX = float(std::sin(segment.start)), o.seamY = float(-std::cos(segment.start));

    // The rows and columns the segment can reach: its bounding box, grown by the line and a pixel.
    const double margin = half + 1.0;
    const double cx = m_centre.x(), cy = m_centre.y();
    double left = cx, right = cx, top = cy, bottom = cy;
    auto include = [&](double angle, double radius) {
        const double x = cx + radius * std::sin(angle), y = cy - radius * std::cos(angle);
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    };
    if (o.whole) {
        left = cx - segment.outer, right = cx + segment.outer, top = cy - segment.outer, bottom = cy + segment.outer;
    } else {
        if (segment.inner > 0) {
            left = right = cx + segment.inner * std::sin(segment.start);
            top = bottom = cy - segment.inner * std::cos(segment.start);
            include(segment.end, segment.inner);
        }
        include(segment.start, segment.outer);
        include(segment.end, segment.outer);
        for (double k = std::ceil(segment.start / (pi / 2)); k * (pi / 2) <= segment.end; ++k)
            include(k * (pi / 2), segment.outer);
    }
    const int y0 = std::max(m_rowFrom, int(std::floor(top - margin)));
    const int y1 = std::min(m_rowTo, int(std::ceil(bottom + margin)));
    const double boxLeft = left - margin - cx, boxRight = right + margin - cx;
    if (y0 >= y1) return;

    const std::uint32_t fillPixel = premultiplied(fill) | 0xff000000u;
    const std::uint32_t linePixel = lined ? premultiplied(line) : 0;
    const double reachOut = segment.outer + margin, reachIn = segment.inner - margin;
    // Pixels this far inside every edge are wholly filled and clear of the line.
    const float solid = half + 0.5f;

    for (int y = y0; y < y1; ++y) {
        const double fy = y + 0.5 - cy;
        if (fy * fy >= reachOut * reachOut) continue;
        const double across = std::sqrt(reachOut * reachOut - fy * fy);
        // Where the row crosses the ring: one span, or two either side of the hole.
        double spans[2][2] = {{-across, across}, {1, 0}};
        if (reachIn > 0 && fy * fy < reachIn * reachIn) {
            const double hole = std::sqrt(reachIn * reachIn - fy * fy);
            spans[0][1] = -hole;
            spans[1][0] = hole, spans[1][1] = across;
        }
        // Within a segment of at most half a turn the row lies between the two edges' crossings.
        double from = boxLeft, to = boxRight;
        if (!o.whole && o.convex) {
            auto within = [&](float nx, float ny) {
                // nx · x + ny · fy ≥ -margin
                const double bound = (-margin - ny * fy);
                if (std::abs(nx) < 1e-7) {
                    if (0 < bound) from = 1, to = 0;
                } else if (nx > 0) {
                    from = std::max(from, bound / nx);
                } else {
                    to = std::min(to, bound / nx);
                }
            };
            within(o.startX, o.startY);
            within(o.endX, o.endY);
        }
        auto* pixels = row(y);
        const float py = float(fy);
        for (const auto& span : spans) {
            const double a = std::max(span[0], from), b = std::min(span[1], to);
            if (!(a <= b)) continue;
            const int x0 = std::max(0, int(std::ceil(cx + a - 0.5)));
            const int x1 = std::min(m_width, int(std::floor(cx + b - 0.5)) + 1);
            for (int x = x0; x < x1; ++x) {
                const float px = float(x + 0.5 - cx);
                const float d = std::sqrt(px * px + py * py);
                const float l0 = px * o.startX + py * o.startY, l1 = px * o.endX + py * o.endY;
                const bool clear = d >= o.inner + solid && d <= o.outer - solid &&
                                   (o.whole ? !lined || px * o.seamX + py * o.seamY <= 0 ||
                                                  std::abs(l0) >= solid
                                            : o.convex ? l0 >= solid && l1 >= solid : l0 >= solid || l1 >= solid);
                if (clear) {
                    pixels[x] = fillPixel;
                    continue;
                }
                const float covered = o.coverage(px, py, d, 0.0f);
                std::uint32_t pixel = pixels[x];
                if (covered > 0.0f) pixel = covered >= 1.0f ? fillPixel : mixOpaque(fillPixel, pixel, covered);
                if (lined) {
                    float band = o.coverage(px, py, d, half) - o.coverage(px, py, d, -half);
                    if (o.whole && px * o.seamX + py * o.seamY > 0)
                        band = std::max(band, clamp01(half + 0.5f - std::abs(l0)) * o.radial(d, half));
                    band = std::min(band, lineCap);
                    if (band > 0.0f) pixel = blendOver(linePixel, pixel, band);
                }
                pixels[x] = pixel;
            }
        }
    }
}

} // namespace tallymere
