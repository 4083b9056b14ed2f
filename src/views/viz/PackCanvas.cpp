#include "views/viz/PackCanvas.h"

#include "style/Typography.h"
#include "views/components/ShapePaint.h"
#include "views/viz/VizText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace tallymere::PackCanvas {

namespace {

using ShapePaint::withOpacity;

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

// Brightens a leaf already filled with `flat` (its colour `c` over what lies beneath) into the
// radial shine: towards white by `strength`, fading out from a point up and left of the centre.
// `rim` is the width of the translucent rim lying over the disc's edge, whose inner half shows
// `showThrough` of the shine. Done on the pixels: the painter's gradient fill costs several times
// the whole flat picture.
void addShine(QImage& image, QPointF center, double radius, double rim, double showThrough, const QColor& c,
              const QColor& flat, double strength) {
    const QPointF focus(center.x() - 0.3 * radius, center.y() - 0.3 * radius);
    const double reach = 1.5 * radius, inner = radius - rim / 2, outer = radius + 0.5;
    // Pixels nearer the centre than this are wholly inside the rim and still exactly `flat`; only
    // the others are read and need their distance for the edge's coverage.
    const double solid = std::max(inner - 0.5, 0.0), solidSquared = solid * solid;
    const double reachSquared = reach * reach;
    const int top = std::max(int(std::floor(center.y() - outer)), 0);
    const int bottom = std::min(int(std::ceil(center.y() + outer)), image.height());
    const float room[3] = {255.0f - float(c.red()), 255.0f - float(c.green()), 255.0f - float(c.blue())};
    // With a half added, so that truncating rounds.
    const float base[3] = {float(flat.red()) + 0.5f, float(flat.green()) + 0.5f, float(flat.blue()) + 0.5f};
    const float lift = float(strength), perReach = float(1 / reach);
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int y = top; y < bottom; ++y) {
        const double py = y + 0.5, fy = py - focus.y(), cy = py - center.y();
        const double across = outer * outer - cy * cy;
        if (across <= 0) continue;
        const double half = std::sqrt(across);
        const int left = std::max(int(std::floor(center.x() - half)), 0);
        const int right = std::min(int(std::ceil(center.x() + half)), image.width());
        int solidLeft = right, solidRight = right;
        if (const double solidAcross = solidSquared - cy * cy; solidAcross > 0) {
            const double solidHalf = std::sqrt(solidAcross);
            solidLeft = std::clamp(int(std::ceil(center.x() - solidHalf - 0.5)), left, right);
            solidRight = std::clamp(int(std::floor(center.x() + solidHalf - 0.5)) + 1, solidLeft, right);
        }
        auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
        // The pixels along the edge, where the rim and the antialiasing leave a blend to read back.
        auto edge = [&](int x) __attribute__((always_inline)) {
            const float px = float(x) + 0.5f, cx = px - float(center.x()), fx = px - float(focus.x());
            const float focusSquared = fx * fx + float(fy * fy);
            if (focusSquared >= float(reachSquared)) return;
            const float d = std::sqrt(cx * cx + float(cy * cy));
            const float innerShare = std::clamp(float(inner) - d + 0.5f, 0.0f, 1.0f);
            const float share =
                innerShare + float(showThrough) * (std::clamp(float(radius) - d + 0.5f, 0.0f, 1.0f) - innerShare);
            const float amount = share * lift * (1 - std::sqrt(focusSquared) * perReach);
            if (amount <= 0) return;
            const QRgb p = row[x];
            const int a = qAlpha(p);
            auto up = [&](int channel, float toWhite) { return std::min(int(float(channel) + amount * toWhite + 0.5f), a); };
            row[x] = qRgba(up(qRed(p), room[0]), up(qGreen(p), room[1]), up(qBlue(p), room[2]), a);
        };
        for (int x = left; x < solidLeft; ++x) edge(x);
        const float focusX = float(focus.x()) - 0.5f, fySquared = float(fy * fy);
        for (int x = solidLeft; x < solidRight; ++x) {
            const float fx = float(x) - focusX;
            const float t = std::min(std::sqrt(fx * fx + fySquared) * perReach, 1.0f);
            const float amount = lift * (1 - t);
            row[x] = 0xff000000u | uint(base[0] + amount * room[0]) << 16 | uint(base[1] + amount * room[1]) << 8 |
                     uint(base[2] + amount * room[2]);
        }
        for (int x = solidRight; x < right; ++x) edge(x);
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

// Paints one bubble centred at `center` in the painter's coordinates, which are `scale` times the
// layout's. `interiors` holds, by depth, the colour inside the last container drawn at that depth:
// a bubble's parent is the last container one level up, and siblings never overlap, so what lies
// under a bubble is one flat colour.
void paintCircle(QPainter& painter, QImage* pixels, const LayoutCircle& circle, QPointF center, double scale,
                 const Theme& theme, ColorMode mode, std::vector<QColor>& interiors) {
    const double radius = circle.radius * scale;
    const std::size_t depth = std::size_t(std::max(circle.depth, 0));
    if (interiors.size() <= depth) interiors.resize(depth + 1, theme.surface);
    if (circle.depth == 0) {
        painter.setPen(QPen(theme.stroke, scale));
        painter.setBrush(theme.surface);
        painter.drawEllipse(center, radius, radius);
        painter.setPen(Qt::NoPen);
        interiors[0] = theme.surface;
        return;
    }
    const QColor& under = interiors[depth - 1];
    const QColor c = theme.nodeColor(*circle.node, circle.depth, circle.tint, mode);
    if (circle.hasChildren) {
        // The translucent wash is blended here onto the flat colour beneath and filled opaque.
        const QColor wash = over(c, c.alphaF() * (theme.isDark ? 0.2 : 0.26), under);
        const QColor rim = withOpacity(c, 0.8);
        fillRimmed(painter, center, radius, scale, rim, under, wash);
        interiors[depth] = wash;
        return;
    }
    const double lift = theme.isDark ? 0.28 : 0.16;
    const QColor shine = ColorRules::mix(c, Qt::white, lift);
    const QColor rim = withOpacity(theme.background, 0.7);
    const double rimWidth = circle.radius > 4 ? 0.8 * scale : 0;
    if (!pixels) {
        const QPointF focus(center.x() - 0.3 * radius, center.y() - 0.3 * radius);
        QRadialGradient gradient(focus, 1.5 * radius, focus);
        gradient.setColorAt(0, shine);
        gradient.setColorAt(1, c);
        painter.setBrush(gradient);
        painter.setPen(rimWidth > 0 ? QPen(rim, rimWidth) : QPen(Qt::NoPen));
        painter.drawEllipse(center, radius, radius);
        painter.setPen(Qt::NoPen);
        return;
    }
    // Flat first, blended onto what lies beneath (the colour may be translucent), then the shine.
    const QColor flat = over(c, c.alphaF(), under);
    fillRimmed(painter, center, radius, rimWidth, rim, under, flat);
    addShine(*pixels, center, radius, rimWidth, 1 - rim.alphaF(), c, flat, lift * c.alphaF());
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
                               bool showLabels, ColorMode colorMode) {
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
    std::vector<QColor> interiors;
    for (const LayoutCircle& circle : circles) {
        if (!circle.node || !(circle.radius > 0)) continue;
        paintCircle(painter, pixels, circle, {circle.center.x * scale + dx, circle.center.y * scale + dy}, scale, theme,
                    colorMode, interiors);
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

void paintHighlight(QPainter& painter, const LayoutCircle* hovered, const LayoutCircle* selected,
                    const Theme& theme) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = ink(theme);
    if (selected) {
        painter.setPen(QPen(color, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(circleRect(*selected));
    }
    if (hovered) {
        painter.setPen(QPen(withOpacity(color, 0.8), 1.6));
        painter.setBrush(withOpacity(color, 0.12));
        painter.drawEllipse(circleRect(*hovered));
    }
    painter.restore();
}

} // namespace tallymere::PackCanvas
