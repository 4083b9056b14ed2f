#include "views/viz/PackCanvas.h"

#include "style/Typography.h"
#include "views/components/canvas/LayeredCanvas.h"
#include "views/components/canvas/ParallelBands.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/canvas/TileRaster.h"
#include "views/viz/VizText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRadialGradient>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>
#include <optional>
#include <vector>

namespace tallymere::PackCanvas {

namespace {

using ShapePaint::withOpacity;

// Most threads the bubbles of one picture are drawn on, and how many pieces each thread's share of
// the rows is cut into: the bubbles crowd some rows and leave others bare, and pieces handed out as
// threads come free keep every thread busy to the end.
constexpr int maxBands = 8;
constexpr int piecesPerBand = 3;

QRectF circleRect(const LayoutCircle& c) {
    return {c.center.x - c.radius, c.center.y - c.radius, 2 * c.radius, 2 * c.radius};
}

QColor ink(const Theme& theme) { return theme.isDark ? QColor(Qt::white) : QColor(18, 17, 16); }

// `c` at opacity `alpha` over the opaque colour `under`, as the painter would blend it.
QColor over(const QColor& c, double alpha, const QColor& under) {
    auto channel = [&](double top, double bottom) { return int(std::lround(top * alpha + bottom * (1 - alpha))); };
    return QColor(channel(c.red(), under.red()), channel(c.green(), under.green()), channel(c.blue(), under.blue()));
}

// The image the painter draws on, when its pixels may be written directly: an unshared image in a
// 32-bit layout, with no clipping to honour. Null otherwise.
QImage* directPixels(QPainter& painter) {
    QPaintDevice* device = painter.device();
    if (!device || device->devType() != QInternal::Image || painter.hasClipping() ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return nullptr;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    if (format != QImage::Format_ARGB32_Premultiplied && format != QImage::Format_RGB32) return nullptr;
    return image->isDetached() ? image : nullptr;
}

// The colours of a leaf, blended onto the flat colour beneath it.
struct LeafColors {
    QColor outerRim; // the rim's outer half
    QColor innerRim; // the rim's inner half, over the leaf
    QColor flat;     // the leaf before its shine
    QColor color;    // the leaf's own colour, which the shine lifts towards white
};

// The pixels a disc reaches on one row, [left, right), and among them [solidLeft, solidRight), those
// wholly inside its rim, which drawLeaf() writes without reading what lay there; `reaches` is false
// for a row the disc does not reach.
struct RowSpan {
    bool reaches = false;
    int left = 0, right = 0, solidLeft = 0, solidRight = 0;
};

// `extent` is how far from the centre the disc's pixels reach, `solidSquared` the square of how far
// its wholly inside pixels do.
inline RowSpan rowSpan(QPointF center, double extent, double solidSquared, int y, int width) {
    RowSpan span;
    const double cy = y + 0.5 - center.y();
    const double across = extent * extent - cy * cy;
    if (across <= 0) return span;
    const double half = std::sqrt(across);
    span.left = std::max(int(std::floor(center.x() - half)), 0);
    span.right = std::min(int(std::ceil(center.x() + half)), width);
    if (span.right <= span.left) return span;
    span.reaches = true;
    span.solidLeft = span.solidRight = span.right;
    if (const double solidAcross = solidSquared - cy * cy; solidAcross > 0) {
        const double solidHalf = std::sqrt(solidAcross);
        span.solidLeft = std::clamp(int(std::ceil(center.x() - solidHalf - 0.5)), span.left, span.right);
        span.solidRight = std::clamp(int(std::floor(center.x() + solidHalf - 0.5)) + 1, span.solidLeft, span.right);
    }
    return span;
}

// Draws a leaf straight into the pixels: a disc of `colors.flat` with a rim of `rim` along its edge
// (none at zero) and the radial shine, lifted towards white by `strength` and fading out from a
// point up and left of the centre; the rim's inner half shows `showThrough` of the shine. The
// painter would fill the gradient and the rim's rings span by span, several times the cost of the
// whole rest of the picture; here the inside is written without reading it back, and only the
// pixels along the edge are blended with what lies beneath.
void drawLeaf(QImage& image, QPointF center, double radius, double rim, double showThrough, const LeafColors& colors,
              double strength, int rowFrom, int rowTo) {
    const double inner = radius - rim / 2, outer = radius + rim / 2;
    const double extent = outer + 0.5;
    const int top = std::max(int(std::floor(center.y() - extent)), rowFrom);
    const int bottom = std::min(int(std::ceil(center.y() + extent)), rowTo);
    // Every band is handed every bubble: most lie outside it.
    if (top >= bottom) return;
    const QPointF focus(center.x() - 0.3 * radius, center.y() - 0.3 * radius);
    const double reach = 1.5 * radius;
    // Pixels nearer the centre than this are wholly inside the rim.
    const double solid = std::max(inner - 0.5, 0.0), solidSquared = solid * solid;
    const QColor& c = colors.color;
    const float room[3] = {255.0f - float(c.red()), 255.0f - float(c.green()), 255.0f - float(c.blue())};
    auto channels = [](const QColor& color) {
        return std::array<float, 3>{float(color.red()), float(color.green()), float(color.blue())};
    };
    const std::array<float, 3> outerRim = channels(colors.outerRim), innerRim = channels(colors.innerRim),
                               flat = channels(colors.flat);
    const float lift = float(strength), perReach = float(1 / reach);
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int y = top; y < bottom; ++y) {
        const double py = y + 0.5, fy = py - focus.y(), cy = py - center.y();
        const RowSpan span = rowSpan(center, extent, solidSquared, y, image.width());
        if (!span.reaches) continue;
        const int left = span.left, right = span.right, solidLeft = span.solidLeft, solidRight = span.solidRight;
        auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
        const float fySquared = float(fy * fy), cySquared = float(cy * cy);
        // Along the edge each ring covers part of the pixel, blended over what was there, as the
        // painter's antialiasing would.
        auto edge = [&](int x) __attribute__((always_inline)) {
            const float px = float(x) + 0.5f, cx = px - float(center.x()), fx = px - float(focus.x());
            const float d = std::sqrt(cx * cx + cySquared);
            auto cover = [d](double r) { return std::clamp(float(r) - d + 0.5f, 0.0f, 1.0f); };
            const float inside = cover(inner), middle = rim > 0 ? cover(radius) : inside;
            const QRgb p = row[x];
            float a = float(qAlpha(p));
            std::array<float, 3> v{float(qRed(p)), float(qGreen(p)), float(qBlue(p))};
            auto lay = [&](const std::array<float, 3>& color, float share) __attribute__((always_inline)) {
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
            if (rim > 0) {
                lay(outerRim, cover(outer));
                lay(innerRim, middle);
            }
            lay(flat, inside);
            const float focusSquared = fx * fx + fySquared;
            const float t = std::min(std::sqrt(focusSquared) * perReach, 1.0f);
            const float amount = (inside + float(showThrough) * (middle - inside)) * lift * (1 - t);
            auto out = [&](int k) { return std::min(int(v[std::size_t(k)] + amount * room[k] + 0.5f), int(a + 0.5f)); };
            row[x] = qRgba(out(0), out(1), out(2), int(a + 0.5f));
        };
#if defined(__SSE2__)
        // The same as edge() for the four pixels from x on, in vector lanes: a bubble a few pixels
        // across is mostly edge. Pixels outside come out as they were, and those wholly inside are
        // written again by the inside's loop, so four may reach past an edge's end: never past the
        // image's, nor onto the other edge, which would be blended twice.
        const __m128 zero4 = _mm_setzero_ps(), one4 = _mm_set1_ps(1.0f), half4 = _mm_set1_ps(0.5f),
                     full4 = _mm_set1_ps(255.0f), cySq4 = _mm_set1_ps(cySquared),
                     fySq4 = _mm_set1_ps(fySquared), steps4 = _mm_setr_ps(0.5f, 1.5f, 2.5f, 3.5f);
        const __m128i byte4 = _mm_set1_epi32(0xff);
        auto edge4 = [&](int x) __attribute__((always_inline)) {
            const __m128 px = _mm_add_ps(_mm_set1_ps(float(x)), steps4);
            const __m128 cx = _mm_sub_ps(px, _mm_set1_ps(float(center.x())));
            const __m128 fx = _mm_sub_ps(px, _mm_set1_ps(float(focus.x())));
            const __m128 d = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(cx, cx), cySq4));
            auto cover = [&](double r) __attribute__((always_inline)) {
                return _mm_min_ps(_mm_max_ps(_mm_add_ps(_mm_sub_ps(_mm_set1_ps(float(r)), d), half4), zero4), one4);
            };
            const __m128 inside = cover(inner), middle = rim > 0 ? cover(radius) : inside;
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            __m128 a = _mm_cvtepi32_ps(_mm_srli_epi32(p, 24));
            __m128 v[3] = {_mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 16), byte4)),
                           _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(p, 8), byte4)),
                           _mm_cvtepi32_ps(_mm_and_si128(p, byte4))};
            // Clamped shares make laying a ring wholly over or not at all the same sum as in part.
            auto lay = [&](const std::array<float, 3>& color, __m128 share) __attribute__((always_inline)) {
                for (int k = 0; k < 3; ++k)
                    v[k] = _mm_add_ps(v[k], _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(color[std::size_t(k)]), v[k]), share));
                a = _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(full4, a), share));
            };
            if (rim > 0) {
                lay(outerRim, cover(outer));
                lay(innerRim, middle);
            }
            lay(flat, inside);
            const __m128 t = _mm_min_ps(
                _mm_mul_ps(_mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(fx, fx), fySq4)), _mm_set1_ps(perReach)), one4);
            const __m128 shown = _mm_add_ps(inside, _mm_mul_ps(_mm_set1_ps(float(showThrough)), _mm_sub_ps(middle, inside)));
            const __m128 amount = _mm_mul_ps(_mm_mul_ps(shown, _mm_set1_ps(lift)), _mm_sub_ps(one4, t));
            const __m128i alpha = _mm_cvttps_epi32(_mm_add_ps(a, half4));
            __m128i out[3];
            for (int k = 0; k < 3; ++k) {
                const __m128i c = _mm_cvttps_epi32(
                    _mm_add_ps(_mm_add_ps(v[k], _mm_mul_ps(amount, _mm_set1_ps(room[k]))), half4));
                // The smaller of the channel and the alpha (both within 0...255 here).
                const __m128i over = _mm_cmpgt_epi32(c, alpha);
                out[k] = _mm_or_si128(_mm_and_si128(over, alpha), _mm_andnot_si128(over, c));
            }
            const __m128i pixel = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(alpha, 24), _mm_slli_epi32(out[0], 16)),
                                               _mm_or_si128(_mm_slli_epi32(out[1], 8), out[2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), pixel);
        };
        const int width = image.width();
        auto edges = [&](int from, int to, int limit) {
            int x = from;
            for (; x < to && x + 4 <= limit; x += 4) edge4(x);
            for (; x < to; ++x) edge(x);
        };
#else
        auto edges = [&](int from, int to, int) {
            for (int x = from; x < to; ++x) edge(x);
        };
        const int width = image.width();
#endif
        edges(left, solidLeft, solidRight < right ? solidRight : width);
        const QRgb flatPixel = 0xff000000u | uint(flat[0] + 0.5f) << 16 | uint(flat[1] + 0.5f) << 8 | uint(flat[2] + 0.5f);
        const float focusX = float(focus.x()) - 0.5f;
        int x = solidLeft;
        if (lift <= 0) {
            // No shine (a container): one colour across.
            fillPixels(row + solidLeft, solidRight - solidLeft, flatPixel);
            x = solidRight;
        }
#if defined(__SSE2__)
        // Four pixels at a time: the shine's distance from its focus is the one root per pixel.
        const __m128 fySq = _mm_set1_ps(fySquared), perReach4 = _mm_set1_ps(perReach), one = _mm_set1_ps(1.0f),
                     lift4 = _mm_set1_ps(lift), step = _mm_setr_ps(0, 1, 2, 3);
        const __m128 base[3] = {_mm_set1_ps(flat[0] + 0.5f), _mm_set1_ps(flat[1] + 0.5f), _mm_set1_ps(flat[2] + 0.5f)};
        const __m128 rooms[3] = {_mm_set1_ps(room[0]), _mm_set1_ps(room[1]), _mm_set1_ps(room[2])};
        for (; x + 4 <= solidRight; x += 4) {
            const __m128 fx = _mm_add_ps(_mm_set1_ps(float(x) - focusX), step);
            const __m128 t = _mm_min_ps(_mm_mul_ps(_mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(fx, fx), fySq)), perReach4), one);
            const __m128 amount = _mm_mul_ps(lift4, _mm_sub_ps(one, t));
            __m128i channel[3];
            for (int k = 0; k < 3; ++k) channel[k] = _mm_cvttps_epi32(_mm_add_ps(base[k], _mm_mul_ps(amount, rooms[k])));
            const __m128i pixel = _mm_or_si128(
                _mm_or_si128(_mm_set1_epi32(int(0xff000000u)), _mm_slli_epi32(channel[0], 16)),
                _mm_or_si128(_mm_slli_epi32(channel[1], 8), channel[2]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), pixel);
        }
#endif
        for (; x < solidRight; ++x) {
            const float fx = float(x) - focusX;
            const float t = std::min(std::sqrt(fx * fx + fySquared) * perReach, 1.0f);
            const float amount = lift * (1 - t);
            row[x] = 0xff000000u | uint(flat[0] + 0.5f + amount * room[0]) << 16 |
                     uint(flat[1] + 0.5f + amount * room[1]) << 8 | uint(flat[2] + 0.5f + amount * room[2]);
        }
        edges(solidRight, right, width);
    }
}

// One bubble to be drawn straight into the pixels: drawLeaf's arguments.
struct Leaf {
    QPointF center;
    double radius = 0, rim = 0, showThrough = 0;
    LeafColors colors;
    double strength = 0;
};

// Lays `pixel` on rows [top, bottom) except inside `first`, the bubble drawn first, whose inside is
// written without being read: the start node's disc covers much of the picture, and laying the
// backdrop there too would only be overwritten.
void layBackdrop(QImage& image, uchar* bits, std::uint32_t pixel, const Leaf* first, int top, int bottom) {
    const qsizetype stride = image.bytesPerLine();
    const int width = image.width();
    double extent = 0, solidSquared = 0;
    if (first) {
        const double inner = first->radius - first->rim / 2, outer = first->radius + first->rim / 2;
        const double solid = std::max(inner - 0.5, 0.0);
        extent = outer + 0.5, solidSquared = solid * solid;
    }
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(bits + qsizetype(y) * stride);
        RowSpan span;
        if (first) span = rowSpan(first->center, extent, solidSquared, y, width);
        if (!span.reaches || span.solidLeft >= span.solidRight) {
            fillPixels(row, width, pixel);
            continue;
        }
        fillPixels(row, span.solidLeft, pixel);
        fillPixels(row + span.solidRight, width - span.solidRight, pixel);
    }
}

// Fills a disc of `radius` around `center` in one flat colour.
void fillDisc(QPainter& painter, QPointF center, double radius, const QColor& color) {
    if (!(radius > 0)) return;
    painter.setBrush(color);
    painter.drawEllipse(center, radius, radius);
}

// A disc of `fill` with a translucent `rim` of `width` along its edge, over the flat colour `under`.
// A rim up to a device pixel wide is stroked, which the painter does fast; a wider one (every rim on
// a high-density screen) would take its general stroker, many times slower, so it is drawn as
// opaque rings of the blended colours instead, one disc over the next: the same pixels.
void fillRimmed(QPainter& painter, QPointF center, double radius, double width, const QColor& rim,
                const QColor& under, const QColor& fill) {
    if (!(width > 1)) {
        painter.setPen(width > 0 ? QPen(rim, width) : QPen(Qt::NoPen));
        fillDisc(painter, center, radius, fill);
        painter.setPen(Qt::NoPen);
        return;
    }
    fillDisc(painter, center, radius + width / 2, over(rim, rim.alphaF(), under));
    fillDisc(painter, center, radius, over(rim, rim.alphaF(), fill));
    fillDisc(painter, center, radius - width / 2, fill);
}

// The colours of the bubbles written into the pixels, by their own colour and the one beneath:
// the bubbles of a picture share a handful of each, and blending them through QColor costs more
// than drawing a small bubble.
class LeafColorMemo {
public:
    struct Entry {
        QColor color, under;
        bool container = false;
        bool used = false;
        LeafColors colors;
    };
    // The entry for these colours: `fresh` tells that it holds nothing for them yet.
    Entry& at(const QColor& color, const QColor& under, bool container, bool& fresh) {
        const QRgb a = color.rgba(), b = under.rgba();
        const QRgb hash = a ^ (a >> 11) ^ (b * 31) ^ (b >> 13) ^ (container ? 0x5bd1u : 0u);
        Entry& entry = m_entries[hash % m_entries.size()];
        fresh = !entry.used || entry.container != container || entry.color != color || entry.under != under;
        if (fresh) entry.used = true, entry.container = container, entry.color = color, entry.under = under;
        return entry;
    }

private:
    std::array<Entry, 128> m_entries;
};

// Paints one bubble centred at `center` in the painter's coordinates, which are `scale` times the
// layout's. `interiors` holds, by depth, the colour inside the last container drawn at that depth:
// a bubble's parent is the last container one level up, and siblings never overlap, so what lies
// under a bubble is one flat colour.
void paintCircle(QPainter& painter, std::vector<Leaf>* pixels, const LayoutCircle& circle, QPointF center,
                 double scale, const Theme& theme, ColorMode mode, std::vector<QColor>& interiors,
                 LeafColorMemo& memo, const QColor* known) {
    const double radius = circle.radius * scale;
    const std::size_t depth = std::size_t(std::max(circle.depth, 0));
    if (interiors.size() <= depth) interiors.resize(depth + 1, theme.surface);
    if (circle.depth == 0) {
        interiors[0] = theme.surface;
        if (pixels) {
            // Laid on the backdrop, the one colour under the whole picture.
            const QColor under = LayeredCanvas::backdrop(theme);
            const QColor& rim = theme.stroke;
            const LeafColors colors{over(rim, rim.alphaF(), under), over(rim, rim.alphaF(), theme.surface),
                                    theme.surface, theme.surface};
            pixels->push_back({center, radius, scale, 0, colors, 0});
            return;
        }
        painter.setPen(QPen(theme.stroke, scale));
        painter.setBrush(theme.surface);
        painter.drawEllipse(center, radius, radius);
        painter.setPen(Qt::NoPen);
        return;
    }
    const QColor& under = interiors[depth - 1];
    const QColor c = known ? *known : theme.nodeColor(*circle.node, circle.depth, circle.tint, mode);
    if (circle.hasChildren) {
        if (pixels) {
            // Rim and wash in one pass over the disc's pixels, only the edge blended.
            bool fresh = false;
            LeafColorMemo::Entry& entry = memo.at(c, under, true, fresh);
            if (fresh) {
                const QColor wash = over(c, c.alphaF() * (theme.isDark ? 0.2 : 0.26), under);
                const QColor rim = withOpacity(c, 0.8);
                entry.colors = {over(rim, rim.alphaF(), under), over(rim, rim.alphaF(), wash), wash, wash};
            }
            interiors[depth] = entry.colors.flat;
            pixels->push_back({center, radius, scale, 0, entry.colors, 0});
            return;
        }
        // The translucent wash is blended here onto the flat colour beneath and filled opaque.
        const QColor wash = over(c, c.alphaF() * (theme.isDark ? 0.2 : 0.26), under);
        const QColor rim = withOpacity(c, 0.8);
        interiors[depth] = wash;
        fillRimmed(painter, center, radius, scale, rim, under, wash);
        return;
    }
    const double lift = theme.isDark ? 0.28 : 0.16;
    const QColor rim = withOpacity(theme.background, 0.7);
    const double rimWidth = circle.radius > 4 ? 0.8 * scale : 0;
    if (pixels) {
        // The leaf's colour may be translucent: blended onto what lies beneath, it is flat and opaque.
        bool fresh = false;
        LeafColorMemo::Entry& entry = memo.at(c, under, false, fresh);
        if (fresh) {
            const QColor flat = over(c, c.alphaF(), under);
            entry.colors = {over(rim, rim.alphaF(), under), over(rim, rim.alphaF(), flat), flat, c};
        }
        pixels->push_back({center, radius, rimWidth, 1 - rim.alphaF(), entry.colors, lift * c.alphaF()});
        return;
    }
    const QColor shine = ColorRules::mix(c, Qt::white, lift);
    const QPointF focus(center.x() - 0.3 * radius, center.y() - 0.3 * radius);
    QRadialGradient gradient(focus, 1.5 * radius, focus);
    gradient.setColorAt(0, shine);
    gradient.setColorAt(1, c);
    painter.setBrush(gradient);
    painter.setPen(rimWidth > 0 ? QPen(rim, rimWidth) : QPen(Qt::NoPen));
    painter.drawEllipse(center, radius, radius);
    painter.setPen(Qt::NoPen);
}

// One bubble's label, when it gets one.
std::optional<CanvasLabel> paintLabel(QPainter& painter, const LayoutCircle& circle, const Theme& theme,
                                      std::vector<QRectF>& taken) {
    const double r = circle.radius;
    if (circle.hasChildren ? !(r > 34) : !(r > 19)) return std::nullopt;
    const double f = std::clamp((circle.hasChildren ? 0.2 : 0.34) * r, 8.5, 13.0);
    const double allowance = (circle.hasChildren ? 1.5 : 1.7) * r;

    QString text = circle.depth == 0 ? VizText::startTitle(*circle.node) : VizText::name(*circle.node);
    const int n = int(allowance / (f * 0.55));
    if (n >= 7 && VizText::characterCount(text) > n) text = VizText::cutMiddle(text, n - 5, 4);

    const QFont font = Typography::font(f, QFont::DemiBold);
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(text);
    const double height = metrics.height();
    if (width > allowance) return std::nullopt;

    const double x = circle.center.x;
    const double y = circle.hasChildren ? circle.center.y - r + 0.75 * height : circle.center.y;
    const QRectF box(x - width / 2 - 4, y - height / 2 - 1, width + 8, height + 2);
    for (const QRectF& other : taken)
        if (other.intersects(box)) return std::nullopt;
    taken.push_back(box);

    if (circle.hasChildren) ShapePaint::fillRounded(painter, box, 5, withOpacity(theme.background, 0.82));
    painter.setFont(font);
    painter.setPen(circle.hasChildren ? theme.text : QColor(26, 25, 22, int(std::lround(0.86 * 255))));
    painter.drawText(QRectF(x - width / 2 - 2, y - height / 2, width + 4, height), Qt::AlignCenter, text);
    return CanvasLabel{text, box};
}

} // namespace

std::vector<CanvasLabel> paint(QPainter& painter, std::span<const LayoutCircle> circles, const Theme& theme,
                               bool showLabels, ColorMode colorMode, std::optional<QColor> backdrop) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // The bubbles are drawn in device pixels at an identity transform, each circle mapped by hand,
    // so that a rim's width is known in device pixels (see fillRimmed) and the leaves' shine can be
    // written into the pixels. Only a uniform scale with a shift maps circles to circles; anything
    // else is drawn as it stands.
    const QTransform toDevice = painter.deviceTransform();
    const bool mapByHand = toDevice.type() <= QTransform::TxScale && toDevice.m11() == toDevice.m22() &&
                           toDevice.m11() > 0 && toDevice.type() != QTransform::TxNone;
    if (mapByHand) painter.setWorldTransform(toDevice.inverted() * painter.worldTransform());
    const double scale = mapByHand ? toDevice.m11() : 1;
    const double dx = mapByHand ? toDevice.dx() : 0, dy = mapByHand ? toDevice.dy() : 0;
    painter.setPen(Qt::NoPen);
    // The leaves' shine is written straight into the pixels only where they lie at the painter's
    // coordinates.
    QImage* pixels = mapByHand || toDevice.type() == QTransform::TxNone ? directPixels(painter) : nullptr;
    std::vector<Leaf> leaves;
    std::vector<QColor> interiors;
    LeafColorMemo memo;
    // Each bubble's own colour, found on several threads at once: reading thousands of nodes spread
    // over a large tree waits mostly on memory.
    std::vector<QColor> colors;
    if (pixels) {
        leaves.reserve(circles.size());
        colors.resize(circles.size());
        ParallelBands::share(int(circles.size()), maxBands, [&](int from, int to) {
            Theme::BranchColors branch(theme);
            for (int i = from; i < to; ++i) {
                const LayoutCircle& circle = circles[std::size_t(i)];
                if (circle.node && circle.depth > 0)
                    colors[std::size_t(i)] = colorMode == ColorMode::branch
                                                 ? branch.of(*circle.node, circle.depth, circle.tint)
                                                 : theme.nodeColor(*circle.node, circle.depth, circle.tint, colorMode);
            }
        });
    }
    for (std::size_t i = 0; i < circles.size(); ++i) {
        const LayoutCircle& circle = circles[i];
        if (!circle.node || !(circle.radius > 0)) continue;
        paintCircle(painter, pixels ? &leaves : nullptr, circle,
                    {circle.center.x * scale + dx, circle.center.y * scale + dy}, scale, theme, colorMode, interiors,
                    memo, pixels ? &colors[i] : nullptr);
    }
    if (backdrop && !pixels) {
        painter.save();
        painter.resetTransform();
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(painter.window(), *backdrop);
        painter.restore();
    }
    if (pixels) {
        // The backdrop's pixel exactly as the image would store it when filled with the colour.
        std::uint32_t backdropPixel = 0;
        if (backdrop) {
            QImage one(1, 1, pixels->format());
            one.fill(*backdrop);
            backdropPixel = *reinterpret_cast<const std::uint32_t*>(one.constBits());
        }
        uchar* bits = pixels->bits();
        // Disjoint bands of rows at once, each laying its rows' backdrop and then drawing every
        // bubble that reaches it, in the same order; the window's thread takes bands too, rather
        // than wait for the pool's threads, which start late on a busy machine.
        ParallelBands::share(pixels->height(), maxBands * piecesPerBand, [&](int top, int bottom) {
            if (backdrop)
                layBackdrop(*pixels, bits, backdropPixel, leaves.empty() ? nullptr : &leaves.front(), top, bottom);
            for (const Leaf& leaf : leaves)
                drawLeaf(*pixels, leaf.center, leaf.radius, leaf.rim, leaf.showThrough, leaf.colors, leaf.strength, top,
                         bottom);
        });
    }
    painter.restore();

    std::vector<CanvasLabel> labels;
    if (showLabels) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        std::vector<QRectF> taken;
        for (const LayoutCircle& circle : circles) {
            if (labels.size() >= std::size_t(maxLabels)) break;
            if (!circle.node) continue;
            if (auto label = paintLabel(painter, circle, theme, taken)) labels.push_back(std::move(*label));
        }
        painter.restore();
    }
    return labels;
}

QColor hoverFill(const Theme& theme) { return withOpacity(ink(theme), 0.12); }

QPen hoverRing(const Theme& theme) { return QPen(withOpacity(ink(theme), 0.8), 1.6); }

void paintHighlight(QPainter& painter, const LayoutCircle* hovered, const LayoutCircle* selected,
                    const Theme& theme, bool hoverTinted, std::array<KeptStroke, 2>* rings) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = ink(theme);
    if (selected) {
        if (rings) (*rings)[0].ellipse(painter, circleRect(*selected), QPen(color, selectionPenWidth));
        else {
            painter.setPen(QPen(color, selectionPenWidth));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(circleRect(*selected));
        }
    }
    if (hovered) {
        const QPen pen = hoverRing(theme);
        if (rings && hoverTinted) (*rings)[1].ellipse(painter, circleRect(*hovered), pen);
        else {
            painter.setPen(pen);
            painter.setBrush(hoverTinted ? QBrush() : QBrush(hoverFill(theme)));
            painter.drawEllipse(circleRect(*hovered));
        }
    }
    painter.restore();
}

} // namespace tallymere::PackCanvas
