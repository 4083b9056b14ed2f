#include "views/components/canvas/TileRaster.h"

#include "views/components/canvas/PixelBlend.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tallymere {

using namespace pixelblend;

namespace {

#if defined(__SSE2__)
// Fills rows [y0, y1) of an opaque rounded rectangle centred on (cx, cy) with half sides hw, hh and
// corner radius r, edge pixels four at a time: each pixel's coverage comes from its distance to the
// outline (the corner's root taken for all four at once) and mixes the shape's colour over what
// lies beneath in 16-bit lanes. `rowColours(y)` gives the colours of row y from x0 on, or null for
// the single colour `rowSolid(y)` across it. Small tiles are mostly edge, and one pixel at a time
// their edges cost several times their insides.
template <typename Line, typename RowColours, typename RowSolid>
void fillOpaqueRows(Line line, int width, int x0, int x1, int y0, int y1, float cx, float cy, float hw, float hh,
                    float r, RowColours rowColours, RowSolid rowSolid) {
    const __m128 lanes = _mm_setr_ps(0, 1, 2, 3);
    const __m128 half = _mm_set1_ps(0.5f), one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
    __m128 qy4 = _mm_setzero_ps(), qyOut = _mm_setzero_ps();
    std::uint32_t* pixels = nullptr;
    const std::uint32_t* colours = nullptr;
    const __m128 centre = _mm_set1_ps(cx), straight = _mm_set1_ps(hw - r), reach = _mm_set1_ps(0.5f + r);
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 step = _mm_setr_ps(0.5f, 1.5f, 2.5f, 3.5f), scale = _mm_set1_ps(256.0f);
    std::uint32_t solid = 0;
    __m128i solid4 = _mm_setzero_si128();
    const __m128i zeroI = _mm_setzero_si128(), full = _mm_set1_epi16(256);
    auto coverage = [&](int x) __attribute__((always_inline)) {
        const __m128 px = _mm_add_ps(_mm_set1_ps(float(x)), step);
        const __m128 qx = _mm_sub_ps(_mm_and_ps(_mm_sub_ps(px, centre), absMask), straight);
        const __m128 outX = _mm_max_ps(qx, zero);
        const __m128 outside = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(outX, outX), qyOut));
        const __m128 inside = _mm_min_ps(_mm_max_ps(qx, qy4), zero);
        return _mm_min_ps(_mm_max_ps(_mm_sub_ps(_mm_sub_ps(reach, outside), inside), zero), one);
    };
    auto source = [&](int x) __attribute__((always_inline)) {
        return colours ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(colours + (x - x0))) : solid4;
    };
    // Pixels [from, to) by their coverage.
    auto mixRange = [&](int from, int to) __attribute__((always_inline)) {
        int x = from;
        // The last four may reach past the range, those lanes left as they are (covered by none).
        for (; x < to && x + 4 <= width; x += 4) {
            __m128 cover = coverage(x);
            if (x + 4 > to) cover = _mm_and_ps(cover, _mm_cmplt_ps(lanes, _mm_set1_ps(float(to - x))));
            const __m128i src = source(x);
            auto* at = reinterpret_cast<__m128i*>(pixels + x);
            if (_mm_movemask_ps(_mm_cmplt_ps(cover, one)) == 0) {
                _mm_storeu_si128(at, src);
                continue;
            }
            const __m128i dst = _mm_loadu_si128(at);
            // Each pixel's coverage, 0...256, in the four 16-bit lanes of its channels.
            const __m128i c32 = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(cover, scale), half));
            const __m128i c16 = _mm_packs_epi32(c32, c32);
            const __m128i pairs = _mm_unpacklo_epi16(c16, c16);
            auto mix = [&](__m128i s16, __m128i d16, __m128i c) __attribute__((always_inline)) {
                return _mm_srli_epi16(
                    _mm_add_epi16(_mm_mullo_epi16(s16, c), _mm_mullo_epi16(d16, _mm_sub_epi16(full, c))), 8);
            };
            const __m128i low = mix(_mm_unpacklo_epi8(src, zeroI), _mm_unpacklo_epi8(dst, zeroI),
                                    _mm_unpacklo_epi32(pairs, pairs));
            const __m128i high = mix(_mm_unpackhi_epi8(src, zeroI), _mm_unpackhi_epi8(dst, zeroI),
                                     _mm_unpackhi_epi32(pairs, pairs));
            _mm_storeu_si128(at, _mm_packus_epi16(low, high));
        }
        if (x >= to) return;
        alignas(16) float tail[4];
        _mm_store_ps(tail, coverage(x));
        for (int i = 0; x < to; ++x, ++i) {
            const std::uint32_t src = colours ? colours[x - x0] : solid;
            if (tail[i] >= 1.0f) pixels[x] = src;
            else if (tail[i] > 0.0f) pixels[x] = mixOpaque(src, pixels[x], tail[i]);
        }
    };
    // Away from the corners and the top and bottom edges, the pixels within half a pixel of the
    // sides are wholly inside: copied, not worked out.
    const int sideFrom = std::clamp(ceilInt(cx - hw), x0, x1);
    const int sideTo = std::clamp(floorInt(cx + hw - 1.0f) + 1, sideFrom, x1);
    for (int y = y0; y < y1; ++y) {
        const float py = float(y) + 0.5f;
        const float qy = std::abs(py - cy) - (hh - r);
        qy4 = _mm_set1_ps(qy);
        qyOut = _mm_set1_ps(std::max(qy, 0.0f) * std::max(qy, 0.0f));
        pixels = line(y);
        colours = rowColours(y);
        if (!colours) solid = rowSolid(y), solid4 = _mm_set1_epi32(int(solid));
        int insideFrom = x1, insideTo = x1;
        if (qy <= 0 && std::abs(py - cy) <= hh - 0.5f) insideFrom = sideFrom, insideTo = sideTo;
        mixRange(x0, insideFrom);
        if (colours) copyPixels(pixels + insideFrom, colours + (insideFrom - x0), insideTo - insideFrom);
        else fillPixels(pixels + insideFrom, insideTo - insideFrom, solid);
        mixRange(insideTo, x1);
    }
}
#endif

} // namespace

struct TileRaster::Shape {
    double cx = 0, cy = 0, hw = 0, hh = 0, r = 0;
    double left = 0, top = 0, width = 0, height = 0;
    bool empty = true;

    // Signed distance from a device point to the outline: negative inside.
    double distance(double x, double y) const {
        const double qx = std::abs(x - cx) - (hw - r);
        const double qy = std::abs(y - cy) - (hh - r);
        const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
        const double outside = (ox > 0 || oy > 0) ? std::sqrt(ox * ox + oy * oy) : 0.0;
        return outside + std::min(std::max(qx, qy), 0.0) - r;
    }

    // The share of the pixel centred on a device point that lies inside, from its distance to the
    // outline; the root is taken only for pixels across a corner's arc.
    float coverage(double x, double y) const {
        const double qx = std::abs(x - cx) - (hw - r);
        const double qy = std::abs(y - cy) - (hh - r);
        if (qx > 0 && qy > 0) {
            const double d2 = qx * qx + qy * qy;
            const double inner = r - 0.5, outer = r + 0.5;
            if (inner > 0 && d2 <= inner * inner) return 1.0f;
            if (d2 >= outer * outer) return 0.0f;
            return float(std::clamp(0.5 - (std::sqrt(d2) - r), 0.0, 1.0));
        }
        return float(std::clamp(0.5 - (std::max(qx, qy) - r), 0.0, 1.0));
    }
};

TileRaster::TileRaster(QImage& image, double scale, QPointF offset, int rowFrom, int rowTo)
    : m_scale(scale), m_offset(offset) {
    if (image.format() != QImage::Format_ARGB32_Premultiplied || image.isNull()) return;
    m_bits = image.bits();
    m_stride = image.bytesPerLine();
    m_width = image.width();
    m_height = image.height();
    m_rowFrom = std::clamp(rowFrom, 0, image.height());
    m_rowTo = rowTo < 0 ? image.height() : std::clamp(rowTo, m_rowFrom, image.height());
}

TileRaster::TileRaster(const TileRaster& whole, int rowFrom, int rowTo) : TileRaster(whole) {
    m_rowFrom = std::clamp(rowFrom, whole.m_rowFrom, whole.m_rowTo);
    m_rowTo = std::clamp(rowTo, m_rowFrom, whole.m_rowTo);
}

bool TileRaster::meetsRows(const QRectF& rect, double margin) const {
    const double top = (rect.top() - margin) * m_scale + m_offset.y();
    const double bottom = (rect.bottom() + margin) * m_scale + m_offset.y();
    return bottom > m_rowFrom && top < m_rowTo;
}

TileRaster::Shape TileRaster::shape(const QRectF& rect, double radius) const {
    Shape s;
    if (!(rect.width() > 0) || !(rect.height() > 0) || !m_bits) return s;
    s.left = rect.left() * m_scale + m_offset.x();
    s.top = rect.top() * m_scale + m_offset.y();
    s.width = rect.width() * m_scale;
    s.height = rect.height() * m_scale;
    s.hw = s.width / 2;
    s.hh = s.height / 2;
    s.cx = s.left + s.hw;
    s.cy = s.top + s.hh;
    s.r = std::clamp(radius * m_scale, 0.0, std::min(s.hw, s.hh));
    s.empty = !(std::isfinite(s.left) && std::isfinite(s.top) && std::isfinite(s.width) && std::isfinite(s.height));
    return s;
}

void TileRaster::fill(const QRectF& rect, double radius, const QColor& color) {
    shade(rect, radius, color, color, false);
}

void TileRaster::fillAround(const QRectF& whole, const QColor& color, const QRectF& next, double nextRadius,
                            const QColor& nextColor) {
    const Shape all = shape(whole, 0);
    // Only a whole image's worth of rows is laid without blending; anything else as fill() would.
    constexpr double slack = 1e-6;
    if (all.empty || color.alpha() != 255 || all.left > slack || all.top > m_rowFrom + slack ||
        all.left + all.width < m_width - slack || all.top + all.height < m_rowTo - slack) {
        fill(whole, 0, color);
        return;
    }
    const Premultiplied c = premultiply(color);
    const std::uint32_t pixel = packed(c.a, c.r, c.g, c.b);
    const Shape s = shape(next, nextRadius);
    const bool hole = !s.empty && nextColor.alpha() == 255;
    // The rows and the run of each row that the next fill writes outright, as shade() finds them
    // for an opaque colour (in the same single precision): away from the corners, the pixels from
    // the left side to the right one, less one pixel at each end to stay clear of rounding.
    const int x0 = hole ? std::max(0, floorInt(s.left)) : 0;
    const int x1 = hole ? std::min(m_width, ceilInt(s.left + s.width)) : 0;
    const int y0 = hole ? floorInt(s.top) : 0, y1 = hole ? ceilInt(s.top + s.height) : 0;
    const float cx = float(s.cx), cy = float(s.cy), hw = float(s.hw), hh = float(s.hh), r = float(s.r);
    const int sideFrom = hole ? std::clamp(ceilInt(cx - hw), x0, x1) + 1 : 0;
    const int sideTo = hole ? std::clamp(floorInt(cx + hw - 1.0f) + 1, sideFrom - 1, x1) - 1 : 0;
    for (int y = m_rowFrom; y < m_rowTo; ++y) {
        std::uint32_t* line = row(y);
        const float py = float(y) + 0.5f;
        const bool middle = hole && y >= y0 && y < y1 && std::abs(py - cy) - (hh - r) <= 0 &&
                            std::abs(py - cy) <= hh - 0.5f && sideFrom < sideTo;
        if (!middle) {
            fillPixels(line, m_width, pixel);
            continue;
        }
        fillPixels(line, sideFrom, pixel);
        fillPixels(line + sideTo, m_width - sideTo, pixel);
    }
}

void TileRaster::fillGradient(const QRectF& rect, double radius, const QColor& from, const QColor& to) {
    shade(rect, radius, from, to, false);
}

void TileRaster::fillVerticalGradient(const QRectF& rect, double radius, const QColor& top, const QColor& bottom) {
    shade(rect, radius, top, bottom, true);
}

// One fill's colours, worked out once for its rows: the gradient from `a` to `b` (the same
// colour for a solid fill) along the diagonal, or downwards for a vertical one.
struct TileRaster::Shading {
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0; // the pixels the tile reaches in the raster's rows
    bool vertical = false;
    Premultiplied a{}, b{};
    float dR = 0, dG = 0, dB = 0;
    bool solid = false, opaque = false, opaqueGradient = false, opaqueBoth = false;
    std::uint32_t solidPixel = 0;
    // A translucent solid colour, premultiplied and rounded, for the inside's integer blend.
    std::uint32_t translucentPixel = 0, translucentKeep = 0;
    // The gradient runs along the diagonal: t is the projection onto it, 0 at the top-left corner.
    // Downwards, t is the share of the height above the pixel's centre.
    double dtx = 0, dty = 0;
    float stepT = 0;
    // Rows repeat the one above moved along by rampSlope pixels; the ramp's first rampLead entries
    // lead its diagonal, for a steep tile's first row.
    double rampSlope = 0;
    int rampLead = 0;
    const std::uint32_t* ramp = nullptr; // null when the rows are worked out pixel by pixel

    // Lays the fill's colour at pixel x of `line` over `coverage` of it. `rowStart` is t at the
    // row's first pixel, `shift` moves the row along the ramp.
    __attribute__((always_inline)) void paint(std::uint32_t* line, int x, float coverage, float rowStart,
                                              int shift) const {
        if (opaque) {
            line[x] = coverage >= 1.0f ? solidPixel : mixOpaque(solidPixel, line[x], coverage);
            return;
        }
        if (ramp) {
            const std::uint32_t pixel = ramp[std::size_t(x - x0 + shift)];
            line[x] = coverage >= 1.0f ? pixel : mixOpaque(pixel, line[x], coverage);
            return;
        }
        float t = rowStart + stepT * float(x - x0);
        t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
        const float cr = a.r + dR * t, cg = a.g + dG * t, cb = a.b + dB * t;
        if (opaqueBoth) {
            // An opaque source: the pixel is a plain mix of source and destination by coverage,
            // and every channel stays within range.
            if (coverage >= 1.0f) {
                line[x] = packed(255.0f, cr, cg, cb);
                return;
            }
            const std::uint32_t d = line[x];
            const float k = 1.0f - coverage;
            line[x] = packed(255.0f * coverage + float(d >> 24) * k, cr * coverage + float((d >> 16) & 0xff) * k,
                             cg * coverage + float((d >> 8) & 0xff) * k, cb * coverage + float(d & 0xff) * k);
            return;
        }
        line[x] = blend(line[x], Premultiplied{a.a + (b.a - a.a) * t, cr, cg, cb}, coverage);
    }

    // The pixels [from, to) of a row wholly inside the tile; `rowT` is t at the row's left edge.
    void fillInside(std::uint32_t* line, int from, int to, const Shape& s, double rowT, float rowStart,
                    int shift) const {
        const int count = to - from;
        if (opaque) {
            fillPixels(line + from, count, solidPixel);
        } else if (solid) {
            blendPixels(line + from, line + from, count, translucentPixel, translucentKeep);
        } else if (ramp) {
            copyPixels(line + from, ramp + (from - x0) + shift, count);
        } else if (opaqueGradient) {
            // Wholly inside: t stays within 0...1, so the channels step evenly along the row.
            const float t0 = float((from + 0.5 - s.left) * dtx + rowT);
            float r = a.r + dR * t0 + 0.5f, g = a.g + dG * t0 + 0.5f, bl = a.b + dB * t0 + 0.5f;
            const float dr = dR * stepT, dg = dG * stepT, db = dB * stepT;
            for (int i = from; i < to; ++i) {
                line[i] = 0xff000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | std::uint32_t(bl);
                r += dr, g += dg, bl += db;
            }
        } else {
            for (int i = from; i < to; ++i) paint(line, i, 1.0f, rowStart, shift);
        }
    }
};

void TileRaster::shade(const QRectF& rect, double radius, const QColor& from, const QColor& to, bool vertical) {
    const Shape s = shape(rect, radius);
    if (s.empty || (from.alpha() == 0 && to.alpha() == 0)) return;
    Shading shading;
    if (!plan(s, from, to, vertical, shading)) return;
    makeRamp(s, shading);
#if defined(__SSE2__)
    if (shading.opaque || shading.ramp || (vertical && shading.opaqueBoth)) {
        const Shading& g = shading;
        const double along = (g.x0 + 0.5 - s.left) + (0.5 - s.top) * g.rampSlope;
        fillOpaqueRows(
            [this](int y) { return row(y); }, m_width, g.x0, g.x1, g.y0, g.y1, float(s.cx), float(s.cy), float(s.hw),
            float(s.hh), float(s.r),
            [&](int y) { return g.ramp ? g.ramp + (g.rampLead + floorInt(along + y * g.rampSlope) + 1) : nullptr; },
            [&](int y) {
                if (g.opaque) return g.solidPixel;
                const float t = std::clamp(float((y + 0.5 - s.top) * g.dty), 0.0f, 1.0f);
                return packed(255.0f, g.a.r + g.dR * t, g.a.g + g.dG * t, g.a.b + g.dB * t);
            });
        return;
    }
#endif
    for (int y = shading.y0; y < shading.y1; ++y) shadeRow(s, shading, y);
}

bool TileRaster::plan(const Shape& s, const QColor& from, const QColor& to, bool vertical, Shading& g) const {
    g.x0 = std::max(0, floorInt(s.left)), g.x1 = std::min(m_width, ceilInt(s.left + s.width));
    g.y0 = std::max(m_rowFrom, floorInt(s.top)), g.y1 = std::min(m_rowTo, ceilInt(s.top + s.height));
    if (g.x0 >= g.x1 || g.y0 >= g.y1) return false;
    g.vertical = vertical;
    g.a = premultiply(from), g.b = premultiply(to);
    g.solid = from == to;
    g.opaque = g.solid && from.alpha() == 255;
    g.opaqueGradient = !g.solid && from.alpha() == 255 && to.alpha() == 255;
    g.opaqueBoth = from.alpha() == 255 && to.alpha() == 255;
    g.dR = g.b.r - g.a.r, g.dG = g.b.g - g.a.g, g.dB = g.b.b - g.a.b;
    g.solidPixel = g.opaque ? packed(255.0f, g.a.r, g.a.g, g.a.b) : 0;
    g.translucentPixel = g.solid ? packed(g.a.a, g.a.r, g.a.g, g.a.b) : 0;
    g.translucentKeep = 255u - (g.translucentPixel >> 24);
    const double span = s.width * s.width + s.height * s.height;
    g.dtx = vertical ? 0.0 : s.width / span, g.dty = vertical ? 1.0 / s.height : s.height / span;
    g.stepT = float(g.dtx);
    g.rampSlope = s.height / s.width;
    return true;
}

void TileRaster::makeRamp(const Shape& s, Shading& g) {
    // Along a row the gradient's colour steps evenly, and each row repeats the one above it moved by
    // height / width pixels: the colours along the diagonal are worked out once per tile, a ramp
    // with one entry per pixel, and each row's inside is copied from it. A tile much taller than
    // wide would need a long ramp for short rows; those are worked out pixel by pixel.
    // The ramp is made for the tile's rows in the whole image, not only this raster's band, so that
    // the picture does not depend on how it is cut into bands.
    const int tileY0 = std::max(0, floorInt(s.top)), tileY1 = std::min(m_height, ceilInt(s.top + s.height));
    const double firstAlong = (g.x0 + 0.5 - s.left) + (tileY0 + 0.5 - s.top) * g.rampSlope;
    const double lastAlong = (g.x0 + 0.5 - s.left) + (tileY1 - 0.5 - s.top) * g.rampSlope;
    // A steep tile's first row, its centre above the tile's top, starts before the diagonal's
    // start: the ramp leads with entries for it.
    g.rampLead = std::max(0, -(floorInt(firstAlong) + 1));
    // Three more entries than any row reads, for the four pixels at a time that reach past its end.
    const int rampLength = (g.x1 - g.x0) + ceilInt(std::max(lastAlong, 0.0)) + 6;
    const bool useRamp = !g.vertical && g.opaqueGradient && g.x1 - g.x0 >= 8 &&
                         rampLength <= 2 * ((g.x1 - g.x0) + (tileY1 - tileY0)) + 19;
    if (!useRamp) return;
    m_ramp.resize(std::size_t(g.rampLead + rampLength));
    for (int j = 0; j < g.rampLead + rampLength; ++j) {
        // Entry j stands for the pixel whose position along the diagonal is j - 1 - lead + 0.5.
        const float t = std::clamp(float((j - g.rampLead - 0.5) * g.dtx), 0.0f, 1.0f);
        m_ramp[std::size_t(j)] = packed(255.0f, g.a.r + g.dR * t, g.a.g + g.dG * t, g.a.b + g.dB * t);
    }
    g.ramp = m_ramp.data();
}

void TileRaster::shadeRow(const Shape& s, const Shading& g, int y) {
    const int x0 = g.x0, x1 = g.x1;
    auto* line = row(y);
    const double py = y + 0.5;
    const double qy = std::abs(py - s.cy) - (s.hh - s.r);
    const double rowT = (py - s.top) * g.dty;
    const float rowStart = float((x0 + 0.5 - s.left) * g.dtx + rowT);
    // This row's colours are the ramp's, moved along by the row's distance down: pixel x takes
    // entry x - x0 + shift.
    const int shift = g.ramp ? g.rampLead + floorInt((x0 + 0.5 - s.left) + (py - s.top) * g.rampSlope) + 1 : 0;
    // The run of pixels wholly inside: on a row wholly inside from top to bottom, up to where the
    // corner's arc (or the side) starts to cut the pixels. Everything else on the row is covered in
    // part, and blended pixel by pixel. Pixels wholly inside the corner's arc lie within innerArc
    // of its centre.
    const double innerArc = s.r - 0.5;
    int fullFrom = x1, fullTo = x1;
    if (std::abs(py - s.cy) <= s.hh - 0.5) {
        const double qyc = std::max(qy, 0.0);
        const double reach =
            innerArc > 0 ? (s.hw - s.r) + std::sqrt(std::max(innerArc * innerArc - qyc * qyc, 0.0)) : s.hw - 0.5;
        fullFrom = std::max(x0, ceilInt(s.cx - reach - 0.5));
        fullTo = std::min(x1, floorInt(s.cx + reach - 0.5) + 1);
        if (fullFrom >= fullTo) fullFrom = fullTo = x1;
    }
    // On a top or bottom row covered in part, the pixels between the corners share the row's
    // coverage.
    int bandFrom = x1, bandTo = x1;
    float bandCoverage = 0;
    if (fullFrom == x1 && qy > 0) {
        bandFrom = std::max(x0, ceilInt(s.cx - (s.hw - s.r) - 0.5));
        bandTo = std::min(x1, floorInt(s.cx + (s.hw - s.r) - 0.5) + 1);
        if (bandFrom >= bandTo) bandFrom = bandTo = x1;
        bandCoverage = float(std::clamp(0.5 - (qy - s.r), 0.0, 1.0));
    }
    for (int x = x0; x < x1; ++x) {
        if (x == fullFrom) {
            g.fillInside(line, fullFrom, fullTo, s, rowT, rowStart, shift);
            x = fullTo - 1;
            continue;
        }
        if (x == bandFrom) {
            if (bandCoverage > 0)
                for (int i = bandFrom; i < bandTo; ++i) g.paint(line, i, bandCoverage, rowStart, shift);
            x = bandTo - 1;
            continue;
        }
        const float coverage = s.coverage(x + 0.5, py);
        if (coverage > 0) g.paint(line, x, coverage, rowStart, shift);
    }
}

void TileRaster::stroke(const QRectF& rect, double radius, double width, const QColor& color) {
    const Shape s = shape(rect, radius);
    if (s.empty || color.alpha() == 0 || !(width > 0)) return;
    const double half = width * m_scale / 2;
    const int x0 = std::max(0, int(std::floor(s.left - half))),
              x1 = std::min(m_width, int(std::ceil(s.left + s.width + half)));
    const int y0 = std::max(m_rowFrom, int(std::floor(s.top - half))),
              y1 = std::min(m_rowTo, int(std::ceil(s.top + s.height + half)));
    if (x0 >= x1 || y0 >= y1) return;
    const Premultiplied c = premultiply(color);
    const double reach = half + 1.0;
#if defined(__SSE2__)
    // The same sums as one pixel at a time (the distance in double precision, the blend in single),
    // two distances and then four blends at once: the same picture, for a fraction of the time.
    const __m128d centre2 = _mm_set1_pd(s.cx), straight2 = _mm_set1_pd(s.hw - s.r), radius2 = _mm_set1_pd(s.r),
                  reach2 = _mm_set1_pd(half + 0.5), zero2 = _mm_setzero_pd(), one2 = _mm_set1_pd(1.0),
                  absMask2 = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    // The colour's channels in the order a pixel's bytes lie in memory: blue, green, red, alpha.
    const __m128 colour4 = _mm_setr_ps(c.b, c.g, c.r, c.a);
    const __m128 zero4 = _mm_setzero_ps(), top4 = _mm_set1_ps(255.0f), half4 = _mm_set1_ps(0.5f);
    const __m128i zeroI = _mm_setzero_si128();
    // What a pixel becomes where the colour covers it (nearly) wholly and opaquely.
    const std::uint32_t opaquePixel = 0xff000000u | (std::uint32_t(c.r + 0.5f) << 16) |
                                      (std::uint32_t(c.g + 0.5f) << 8) | std::uint32_t(c.b + 0.5f);
#endif
    for (int y = y0; y < y1; ++y) {
        auto* line = row(y);
        const double py = y + 0.5;
        // Away from the top and bottom bands only the pixels near the left and right edges are met.
        const bool middleRow = std::abs(py - s.cy) < s.hh - s.r - reach;
        auto visitPixel = [&](int x) __attribute__((always_inline)) {
            const double d = s.distance(x + 0.5, py);
            const float coverage = float(std::clamp(half + 0.5 - std::abs(d), 0.0, 1.0));
            if (coverage > 0) line[x] = blend(line[x], c, coverage);
        };
#if defined(__SSE2__)
        // Four pixels at a time; lanes past the range's end are given no coverage.
        const double qyRow = std::abs(py - s.cy) - (s.hh - s.r);
        const __m128d qy2 = _mm_set1_pd(qyRow), qyOut2 = _mm_set1_pd(std::max(qyRow, 0.0) * std::max(qyRow, 0.0));
        auto coverage2 = [&](double x) __attribute__((always_inline)) {
            const __m128d px = _mm_add_pd(_mm_set1_pd(x), _mm_setr_pd(0.5, 1.5));
            const __m128d qx = _mm_sub_pd(_mm_and_pd(_mm_sub_pd(px, centre2), absMask2), straight2);
            const __m128d outX = _mm_max_pd(qx, zero2);
            const __m128d outside = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(outX, outX), qyOut2));
            const __m128d d = _mm_sub_pd(_mm_add_pd(outside, _mm_min_pd(_mm_max_pd(qx, qy2), zero2)), radius2);
            return _mm_cvtpd_ps(_mm_min_pd(_mm_max_pd(_mm_sub_pd(reach2, _mm_and_pd(d, absMask2)), zero2), one2));
        };
        auto visit = [&](int from, int to) {
            to = std::min(to, x1);
            int x = std::max(from, x0);
            for (; x + 4 <= to; x += 4) {
                alignas(16) float cover[4];
                _mm_store_ps(cover, _mm_movelh_ps(coverage2(x), coverage2(x + 2)));
                if (cover[0] <= 0 && cover[1] <= 0 && cover[2] <= 0 && cover[3] <= 0) continue;
                for (int i = 0; i < 4; ++i) {
                    const float k = cover[i];
                    if (!(k > 0)) continue;
                    const float sa = c.a * k;
                    if (sa >= 254.5f) {
                        line[x + i] = opaquePixel;
                        continue;
                    }
                    const __m128 dst = _mm_cvtepi32_ps(_mm_unpacklo_epi16(
                        _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(line[x + i])), zeroI), zeroI));
                    const __m128 mixed = _mm_add_ps(_mm_mul_ps(colour4, _mm_set1_ps(k)),
                                                    _mm_mul_ps(dst, _mm_set1_ps(1.0f - sa / 255.0f)));
                    const __m128i v = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(_mm_add_ps(mixed, half4), zero4), top4));
                    const __m128i w = _mm_packs_epi32(v, v);
                    line[x + i] = std::uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
                }
            }
            for (; x < to; ++x) visitPixel(x);
        };
#else
        auto visit = [&](int from, int to) {
            for (int x = std::max(from, x0); x < std::min(to, x1); ++x) visitPixel(x);
        };
#endif
        if (!middleRow) {
            // Between the corners every pixel of the row lies as far from the top or bottom edge,
            // so they share one coverage: none for most rows, one blend across for the line's own.
            const double qy = std::abs(py - s.cy) - (s.hh - s.r);
            const double straight = (s.hw - s.r) + std::min(qy, 0.0);
            const int from = std::max(x0, int(std::ceil(s.cx - straight - 0.5)));
            const int to = std::min(x1, int(std::floor(s.cx + straight - 0.5)) + 1);
            if (from >= to) {
                visit(x0, x1);
                continue;
            }
            visit(x0, from);
            const float coverage = float(std::clamp(half + 0.5 - std::abs(qy - s.r), 0.0, 1.0));
            if (coverage > 0) {
                const std::uint32_t pixel = packed(c.a * coverage, c.r * coverage, c.g * coverage, c.b * coverage);
                blendPixels(line + from, line + from, to - from, pixel, 255u - (pixel >> 24));
            }
            visit(to, x1);
            continue;
        }
        const int leftTo = int(std::ceil(s.left + reach)), rightFrom = int(std::floor(s.left + s.width - reach));
        if (leftTo >= rightFrom) {
            visit(x0, x1);
        } else {
            visit(x0, leftTo);
            visit(rightFrom, x1);
        }
    }
}

} // namespace tallymere
