#include "views/viz/PackLeaf.h"

#include "views/components/canvas/TileRaster.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>

namespace tallymere::PackLeaf {

namespace {

using Channels = std::array<float, 3>;

Channels channels(const QColor& color) { return {float(color.red()), float(color.green()), float(color.blue())}; }

// What one leaf's rows are drawn from, worked out once for all of them.
class Raster {
public:
    Raster(QPointF center, double radius, double rim, double showThrough, const Colors& colors, double strength)
        : m_center(center), m_focus(center.x() - 0.3 * radius, center.y() - 0.3 * radius), m_radius(radius), m_rim(rim),
          m_showThrough(showThrough), m_inner(radius - rim / 2), m_outer(radius + rim / 2), m_extent(m_outer + 0.5),
          m_outerRim(channels(colors.outerRim)), m_innerRim(channels(colors.innerRim)), m_flat(channels(colors.flat)),
          m_lift(float(strength)), m_perReach(float(1 / (1.5 * radius))) {
        // Pixels nearer the centre than this are wholly inside the rim.
        const double solid = std::max(m_inner - 0.5, 0.0);
        m_solidSquared = solid * solid;
        const QColor& c = colors.color;
        m_room = {255.0f - float(c.red()), 255.0f - float(c.green()), 255.0f - float(c.blue())};
    }

    // The rows the leaf reaches within [rowFrom, rowTo).
    int top(int rowFrom) const { return std::max(int(std::floor(m_center.y() - m_extent)), rowFrom); }
    int bottom(int rowTo) const { return std::min(int(std::ceil(m_center.y() + m_extent)), rowTo); }

    // Row `y`: blended along the edges, written inside.
    void drawRow(QImage& image, uchar* bits, qsizetype stride, int y) const {
        const RowSpan span = rowSpan(m_center, m_extent, m_solidSquared, y, image.width());
        if (!span.reaches) return;
        const double py = y + 0.5, fy = py - m_focus.y(), cy = py - m_center.y();
        const Row row{reinterpret_cast<QRgb*>(bits + y * stride), float(cy * cy), float(fy * fy), image.width()};
        edges(row, span.left, span.solidLeft, span.solidRight < span.right ? span.solidRight : row.width);
        fillInside(row, span.solidLeft, span.solidRight);
        edges(row, span.solidRight, span.right, row.width);
    }

private:
    // One row's pixels and its distances, squared, from the centre and from the shine's focus.
    struct Row {
        QRgb* pixels;
        float cySquared, fySquared;
        int width;
    };

    // The shine's strength at a distance (squared) from its focus, fading out over 1.5 radii.
    float shine(float focusSquared) const { return m_lift * (1 - std::min(std::sqrt(focusSquared) * m_perReach, 1.0f)); }

    // Along the edge each ring covers part of the pixel, blended over what was there, as the
    // painter's antialiasing would.
    __attribute__((always_inline)) void edge(const Row& row, int x) const {
        const float px = float(x) + 0.5f, cx = px - float(m_center.x()), fx = px - float(m_focus.x());
        const float d = std::sqrt(cx * cx + row.cySquared);
        auto cover = [d](double r) { return std::clamp(float(r) - d + 0.5f, 0.0f, 1.0f); };
        const float inside = cover(m_inner), middle = m_rim > 0 ? cover(m_radius) : inside;
        const QRgb p = row.pixels[x];
        float a = float(qAlpha(p));
        Channels v{float(qRed(p)), float(qGreen(p)), float(qBlue(p))};
        auto lay = [&](const Channels& color, float share) __attribute__((always_inline)) {
            // Most edge pixels are wholly in or out of each ring.
            if (share <= 0) return;
            if (share >= 1) {
                v = color;
                a = 255.0f;
                return;
            }
            for (int k = 0; k < 3; ++k) v[std::size_t(k)] += (color[std::size_t(k)] - v[std::size_t(k)]) * share;
            a += (255.0f - a) * share;
        };
        if (m_rim > 0) {
            lay(m_outerRim, cover(m_outer));
            lay(m_innerRim, middle);
        }
        lay(m_flat, inside);
        const float focusSquared = fx * fx + row.fySquared;
        const float t = std::min(std::sqrt(focusSquared) * m_perReach, 1.0f);
        const float amount = (inside + float(m_showThrough) * (middle - inside)) * m_lift * (1 - t);
        auto out = [&](int k) { return std::min(int(v[std::size_t(k)] + amount * m_room[std::size_t(k)] + 0.5f), int(a + 0.5f)); };
        row.pixels[x] = qRgba(out(0), out(1), out(2), int(a + 0.5f));
    }

#if defined(__SSE2__)
    // The same as edge() for the four pixels from x on, in vector lanes: a bubble a few pixels
    // across is mostly edge. Pixels outside come out as they were, and those wholly inside are
    // written again by fillInside(), so four may reach past an edge's end: never past the image's,
    // nor onto the other edge, which would be blended twice.
    __attribute__((always_inline)) void edge4(const Row& row, int x) const {
        const __m128 zero4 = _mm_setzero_ps(), one4 = _mm_set1_ps(1.0f), half4 = _mm_set1_ps(0.5f),
                     full4 = _mm_set1_ps(255.0f), cySq4 = _mm_set1_ps(row.cySquared),
                     fySq4 = _mm_set1_ps(row.fySquared), steps4 = _mm_setr_ps(0.5f, 1.5f, 2.5f, 3.5f);
        const __m128i byte4 = _mm_set1_epi32(0xff);
        const __m128 px = _mm_add_ps(_mm_set1_ps(float(x)), steps4);
        const __m128 cx = _mm_sub_ps(px, _mm_set1_ps(float(m_center.x())));
        const __m128 fx = _mm_sub_ps(px, _mm_set1_ps(float(m_focus.x())));
        const __m128 d = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(cx, cx), cySq4));
        auto cover = [&](double r) __attribute__((always_inline)) {
            return _mm_min_ps(_mm_max_ps(_mm_add_ps(_mm_sub_ps(_mm_set1_ps(float(r)), d), half4), zero4), one4);
        };
        const __m128 inside = cover(m_inner), middle = m_rim > 0 ? cover(m_radius) : inside;
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.pixels + x));
        __m128 a = _mm_cvtepi32_ps(_mm_srli_epi32(p, 24));
        __m128 v[3] = {_mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 16), byte4)),
                       _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 8), byte4)),
                       _mm_cvtepi32_ps(_mm_and_si128(p, byte4))};
        // Clamped shares make laying a ring wholly over or not at all the same sum as in part.
        auto lay = [&](const Channels& color, __m128 share) __attribute__((always_inline)) {
            for (int k = 0; k < 3; ++k)
                v[k] = _mm_add_ps(v[k], _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(color[std::size_t(k)]), v[k]), share));
            a = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(full4, a), share));
        };
        if (m_rim > 0) {
            lay(m_outerRim, cover(m_outer));
            lay(m_innerRim, middle);
        }
        lay(m_flat, inside);
        const __m128 t =
            _mm_min_ps(_mm_mul_ps(_mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(fx, fx), fySq4)), _mm_set1_ps(m_perReach)), one4);
        const __m128 shown = _mm_add_ps(inside, _mm_mul_ps(_mm_set1_ps(float(m_showThrough)), _mm_sub_ps(middle, inside)));
        const __m128 amount = _mm_mul_ps(_mm_mul_ps(shown, _mm_set1_ps(m_lift)), _mm_sub_ps(one4, t));
        const __m128i alpha = _mm_cvttps_epi32(_mm_add_ps(a, half4));
        __m128i out[3];
        for (int k = 0; k < 3; ++k) {
            const __m128i c =
                _mm_cvttps_epi32(_mm_add_ps(_mm_add_ps(v[k], _mm_mul_ps(amount, _mm_set1_ps(m_room[std::size_t(k)]))), half4));
            // The smaller of the channel and the alpha (both within 0...255 here).
            const __m128i over = _mm_cmpgt_epi32(c, alpha);
            out[k] = _mm_or_si128(_mm_and_si128(over, alpha), _mm_andnot_si128(over, c));
        }
        const __m128i pixel = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(alpha, 24), _mm_slli_epi32(out[0], 16)),
                                           _mm_or_si128(_mm_slli_epi32(out[1], 8), out[2]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row.pixels + x), pixel);
    }
#endif

    // The edge pixels [from, to), four at a time while they stay below `limit`.
    void edges(const Row& row, int from, int to, [[maybe_unused]] int limit) const {
        int x = from;
#if defined(__SSE2__)
        for (; x < to && x + 4 <= limit; x += 4) edge4(row, x);
#endif
        for (; x < to; ++x) edge(row, x);
    }

    // The pixels [from, to) wholly inside the rim, written without reading what lay there.
    void fillInside(const Row& row, int from, int to) const {
        const Channels& flat = m_flat;
        const QRgb flatPixel = 0xff000000u | uint(flat[0] + 0.5f) << 16 | uint(flat[1] + 0.5f) << 8 | uint(flat[2] + 0.5f);
        const float focusX = float(m_focus.x()) - 0.5f;
        int x = from;
        if (m_lift <= 0) {
            // No shine (a container): one colour across.
            fillPixels(row.pixels + from, to - from, flatPixel);
            return;
        }
#if defined(__SSE2__)
        // Four pixels at a time: the shine's distance from its focus is the one root per pixel.
        const __m128 fySq = _mm_set1_ps(row.fySquared), perReach4 = _mm_set1_ps(m_perReach), one = _mm_set1_ps(1.0f),
                     lift4 = _mm_set1_ps(m_lift), step = _mm_setr_ps(0, 1, 2, 3);
        const __m128 base[3] = {_mm_set1_ps(flat[0] + 0.5f), _mm_set1_ps(flat[1] + 0.5f), _mm_set1_ps(flat[2] + 0.5f)};
        const __m128 rooms[3] = {_mm_set1_ps(m_room[0]), _mm_set1_ps(m_room[1]), _mm_set1_ps(m_room[2])};
        for (; x + 4 <= to; x += 4) {
            const __m128 fx = _mm_add_ps(_mm_set1_ps(float(x) - focusX), step);
            const __m128 t = _mm_min_ps(_mm_mul_ps(_mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(fx, fx), fySq)), perReach4), one);
            const __m128 amount = _mm_mul_ps(lift4, _mm_sub_ps(one, t));
            __m128i channel[3];
            for (int k = 0; k < 3; ++k) channel[k] = _mm_cvttps_epi32(_mm_add_ps(base[k], _mm_mul_ps(amount, rooms[k])));
            const __m128i pixel = _mm_or_si128(_mm_or_si128(_mm_set1_epi32(int(0xff000000u)), _mm_slli_epi32(channel[0], 16)),
                                               _mm_or_si128(_mm_slli_epi32(channel[1], 8), channel[2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row.pixels + x), pixel);
        }
#endif
        for (; x < to; ++x) {
            const float fx = float(x) - focusX;
            const float amount = shine(fx * fx + row.fySquared);
            row.pixels[x] = 0xff000000u | uint(flat[0] + 0.5f + amount * m_room[0]) << 16 |
                            uint(flat[1] + 0.5f + amount * m_room[1]) << 8 | uint(flat[2] + 0.5f + amount * m_room[2]);
        }
    }

    QPointF m_center, m_focus;
    double m_radius, m_rim, m_showThrough;
    double m_inner, m_outer, m_extent;
    double m_solidSquared = 0;
    Channels m_outerRim, m_innerRim, m_flat;
    Channels m_room{};
    float m_lift, m_perReach;
};

} // namespace

void draw(QImage& image, QPointF center, double radius, double rim, double showThrough, const Colors& colors,
          double strength, int rowFrom, int rowTo) {
    const Raster raster(center, radius, rim, showThrough, colors, strength);
    const int top = raster.top(rowFrom), bottom = raster.bottom(rowTo);
    // Every band is handed every bubble: most lie outside it.
    if (top >= bottom) return;
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int y = top; y < bottom; ++y) raster.drawRow(image, bits, stride, y);
}

} // namespace tallymere::PackLeaf
