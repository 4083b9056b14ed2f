#include "views/viz/PackCanvas.h"

#include "style/Typography.h"
#include "views/components/canvas/LayeredCanvas.h"
#include "views/components/canvas/ParallelBands.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/canvas/TileRaster.h"
#include "views/viz/PackLeaf.h"
#include "views/viz/VizText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRadialGradient>

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

// One bubble to be drawn straight into the pixels: PackLeaf::draw's arguments.
struct Leaf {
    QPointF center;
    double radius = 0, rim = 0, showThrough = 0;
    PackLeaf::Colors colors;
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
        PackLeaf::RowSpan span;
        if (first) span = PackLeaf::rowSpan(first->center, extent, solidSquared, y, width);
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
        PackLeaf::Colors colors;
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
            const PackLeaf::Colors colors{over(rim, rim.alphaF(), under), over(rim, rim.alphaF(), theme.surface),
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
                PackLeaf::draw(*pixels, leaf.center, leaf.radius, leaf.rim, leaf.showThrough, leaf.colors, leaf.strength,
                               top, bottom);
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
