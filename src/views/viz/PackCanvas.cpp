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

// Paints one bubble. `interiors` holds, by depth, the colour inside the last container drawn at
// that depth: a bubble's parent is the last container one level up, and siblings never overlap,
// so what lies under a bubble is one flat colour.
void paintCircle(QPainter& painter, const LayoutCircle& circle, const Theme& theme, ColorMode mode,
                 std::vector<QColor>& interiors) {
    const QRectF shape = circleRect(circle);
    const std::size_t depth = std::size_t(std::max(circle.depth, 0));
    if (interiors.size() <= depth) interiors.resize(depth + 1, theme.surface);
    if (circle.depth == 0) {
        painter.setPen(QPen(theme.stroke, 1));
        painter.setBrush(theme.surface);
        painter.drawEllipse(shape);
        interiors[0] = theme.surface;
        return;
    }
    const QColor c = theme.nodeColor(*circle.node, circle.depth, circle.tint, mode);
    if (circle.hasChildren) {
        // The translucent wash is blended here onto the flat colour beneath and filled opaque:
        // the same pixels, edges included, at a fraction of the cost of many translucent fills.
        const QColor wash = over(c, c.alphaF() * (theme.isDark ? 0.2 : 0.26), interiors[depth - 1]);
        painter.setPen(QPen(withOpacity(c, 0.8), 1));
        painter.setBrush(wash);
        painter.drawEllipse(shape);
        interiors[depth] = wash;
        return;
    }
    const QPointF focus(circle.center.x - 0.3 * circle.radius, circle.center.y - 0.3 * circle.radius);
    QRadialGradient gradient(focus, 1.5 * circle.radius, focus);
    gradient.setColorAt(0, ColorRules::mix(c, Qt::white, theme.isDark ? 0.28 : 0.16));
    gradient.setColorAt(1, c);
    painter.setBrush(gradient);
    painter.setPen(circle.radius > 4 ? QPen(withOpacity(theme.background, 0.7), 0.8) : QPen(Qt::NoPen));
    painter.drawEllipse(shape);
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
    std::vector<QColor> interiors;
    for (const LayoutCircle& circle : circles)
        if (circle.node && circle.radius > 0) paintCircle(painter, circle, theme, colorMode, interiors);

    std::vector<CanvasLabel> labels;
    if (showLabels) {
        std::vector<QRectF> taken;
        for (const LayoutCircle& circle : circles) {
            if (labels.size() >= std::size_t(maxLabels)) break;
            if (!circle.node) continue;
            if (auto label = paintLabel(painter, circle, theme, taken)) labels.push_back(std::move(*label));
        }
    }
    painter.restore();
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
