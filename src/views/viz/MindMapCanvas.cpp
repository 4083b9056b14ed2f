#include "views/viz/MindMapCanvas.h"

#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/viz/VizText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <optional>

namespace tallymere::MindMapCanvas {

namespace {

using ShapePaint::withOpacity;

QPointF toQt(Point p) { return {p.x, p.y}; }

QRectF disc(QPointF centre, double radius) { return {centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius}; }

QColor ink(const Theme& theme) { return theme.isDark ? QColor(Qt::white) : QColor(18, 17, 16); }

// Adds one edge's curve to `path`: from the parent's rim to one point short of the child's rim, bent
// the same way for every edge.
void addEdge(QPainterPath& path, const GraphEdge& edge) {
    const QPointF from = toQt(edge.from), to = toQt(edge.to);
    const QPointF chord = to - from;
    const double length = std::max(std::hypot(chord.x(), chord.y()), 0.0001);
    const QPointF u = chord / length;
    const QPointF start = from + u * edge.fromRadius;
    const QPointF end = to - u * (edge.toRadius + 1);
    const QPointF mid = (start + end) / 2, d = end - start;
    const QPointF control(mid.x() - 0.16 * d.y(), mid.y() + 0.16 * d.x());
    path.moveTo(start);
    path.quadTo(control, end);
}

// Every edge, stroked as one path per pen (a branch's colour, and whether it leaves the centre):
// one stroke of a few hundred curves costs little more than one of a single curve.
void paintEdges(QPainter& painter, const std::vector<GraphEdge>& edges, const Theme& theme) {
    const std::size_t colours = theme.ramp.size();
    std::vector<QPainterPath> paths(2 * colours);
    for (const GraphEdge& edge : edges) {
        const std::size_t colour = std::size_t(std::abs(edge.tint)) % colours;
        addEdge(paths[colour * 2 + (edge.depth == 0 ? 1 : 0)], edge);
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (paths[i].isEmpty()) continue;
        const bool fromCentre = i % 2 == 1;
        QPen pen(withOpacity(theme.ramp[i / 2], fromCentre ? 0.75 : 0.45), fromCentre ? 1.8 : 1.1, Qt::SolidLine,
                 Qt::RoundCap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        painter.strokePath(paths[i], pen);
    }
}

void paintDisc(QPainter& painter, const GraphNode& node, const Theme& theme, ColorMode mode) {
    const QPointF centre = toQt(node.position);
    painter.setPen(Qt::NoPen);
    if (node.depth == 0) {
        painter.setBrush(withOpacity(theme.accent, 0.07));
        painter.drawEllipse(disc(centre, node.radius + 9));
        painter.setBrush(theme.accent);
        painter.drawEllipse(disc(centre, node.radius));
        return;
    }
    const QColor c = theme.nodeColor(*node.node, node.depth, node.tint, mode);
    const QPointF focus(centre.x() - 0.35 * node.radius, centre.y() - 0.35 * node.radius);
    QRadialGradient gradient(focus, 1.6 * node.radius, focus);
    gradient.setColorAt(0, ColorRules::mix(c, Qt::white, theme.isDark ? 0.3 : 0.18));
    gradient.setColorAt(1, c);
    painter.setBrush(gradient);
    painter.setPen(QPen(theme.background, 1.8));
    painter.drawEllipse(disc(centre, node.radius));
}

// Text drawn with its vertical centre on `anchor`, starting there (leading) or ending there.
void drawAnchored(QPainter& painter, const QString& text, QPointF anchor, bool trailing) {
    const QFontMetricsF metrics(painter.font());
    const double width = metrics.horizontalAdvance(text) + 2, height = metrics.height();
    const QRectF box(trailing ? anchor.x() - width : anchor.x(), anchor.y() - height / 2, width, height);
    painter.drawText(box, (trailing ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, text);
}

void drawCentred(QPainter& painter, const QString& text, QPointF centre) {
    const QFontMetricsF metrics(painter.font());
    const double width = metrics.horizontalAdvance(text) + 4, height = metrics.height();
    painter.drawText(QRectF(centre.x() - width / 2, centre.y() - height / 2, width, height), Qt::AlignCenter, text);
}

std::optional<CanvasLabel> drawLabel(QPainter& painter, const GraphNode& node, const QString& title,
                                     const QString& subtitle, const Theme& theme, std::vector<QRectF>& placed) {
    const QPointF centre = toQt(node.position);
    if (node.depth == 0) {
        painter.setPen(theme.onAccent());
        painter.setFont(Typography::font(11, QFont::Bold));
        drawCentred(painter, title, {centre.x(), centre.y() - 7});
        painter.setPen(withOpacity(theme.onAccent(), 0.86));
        painter.setFont(Typography::font(12, QFont::ExtraBold));
        drawCentred(painter, subtitle, {centre.x(), centre.y() + 8});
        return CanvasLabel{title, QRectF(centre.x() - node.radius, centre.y() - 16, 2 * node.radius, 32)};
    }
    if (node.radius <= 8) return std::nullopt;
    const QString shownTitle = VizText::characterCount(title) >= 31 ? VizText::cutMiddle(title, 22, 5) : title;
    const double d = node.radius + 6;
    const QPointF p(centre.x() + std::cos(node.angle) * d, centre.y() + std::sin(node.angle) * d);
    const QFont titleFont = Typography::font(9.8, QFont::DemiBold);
    const QFont subtitleFont = Typography::font(8.8, QFont::Medium);
    const bool trailing = std::cos(node.angle) < -0.15;
    const double w = std::max(std::min(QFontMetricsF(titleFont).horizontalAdvance(shownTitle), 200.0),
                              std::min(QFontMetricsF(subtitleFont).horizontalAdvance(subtitle), 200.0));
    const QRectF box(trailing ? p.x() - w : p.x(), p.y() - 12, w, 24);
    for (const QRectF& other : placed)
        if (other.intersects(box)) return std::nullopt;
    placed.push_back(box);
    painter.setFont(titleFont);
    painter.setPen(withOpacity(theme.text, 0.94));
    drawAnchored(painter, shownTitle, {p.x(), p.y() - 5}, trailing);
    painter.setFont(subtitleFont);
    painter.setPen(theme.textTertiary);
    drawAnchored(painter, subtitle, {p.x(), p.y() + 5}, trailing);
    return CanvasLabel{shownTitle, box};
}

} // namespace

std::vector<CanvasLabel> paint(QPainter& painter, const GraphLayout& graph, const Theme& theme, bool showLabels,
                               bool useAllocated, ColorMode colorMode) {
    std::vector<CanvasLabel> labels;
    if (graph.nodes.empty()) return labels;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    paintEdges(painter, graph.edges, theme);
    for (const GraphNode& node : graph.nodes)
        if (node.node && node.radius > 0) paintDisc(painter, node, theme, colorMode);
    if (showLabels) {
        std::vector<QRectF> placed;
        for (const GraphNode& node : graph.nodes) {
            if (!node.node) continue;
            const QString title = node.depth == 0 ? VizText::startTitle(*node.node) : VizText::name(*node.node);
            const QString subtitle = DisplayText::sizeText(node.node->bytes(useAllocated));
            if (auto label = drawLabel(painter, node, title, subtitle, theme, placed)) labels.push_back(std::move(*label));
        }
    }
    painter.restore();
    return labels;
}

void paintHighlight(QPainter& painter, const GraphNode* hovered, const GraphNode* selected, const Theme& theme) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const QColor colour = ink(theme);
    if (selected) {
        painter.setPen(QPen(colour, 2.2));
        painter.drawEllipse(disc(toQt(selected->position), selected->radius + 4));
    }
    if (hovered) {
        painter.setPen(QPen(withOpacity(colour, 0.75), 2));
        painter.drawEllipse(disc(toQt(hovered->position), hovered->radius + 3));
    }
    painter.restore();
}

} // namespace tallymere::MindMapCanvas
