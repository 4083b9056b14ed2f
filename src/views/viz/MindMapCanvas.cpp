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
#include <limits>
#include <optional>

namespace tallymere::MindMapCanvas {

namespace {

using ShapePaint::withOpacity;

QPointF toQt(Point p) { return {p.x, p.y}; }

QRectF disc(QPointF centre, double radius) { return {centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius}; }

QColor ink(const Theme& theme) { return theme.isDark ? QColor(Qt::white) : QColor(18, 17, 16); }

// One edge's curve: from the parent's rim to one point short of the child's rim, bent the same way
// for every edge.
struct EdgeCurve {
    QPointF start, control, end;
    // The rows the curve stays within (it never leaves the triangle of its three points).
    double top() const { return std::min({start.y(), control.y(), end.y()}); }
    double bottom() const { return std::max({start.y(), control.y(), end.y()}); }
};

EdgeCurve curveOf(const GraphEdge& edge) {
    const QPointF from = toQt(edge.from), to = toQt(edge.to);
    const QPointF chord = to - from;
    const double length = std::max(std::hypot(chord.x(), chord.y()), 0.0001);
    const QPointF u = chord / length;
    const QPointF start = from + u * edge.fromRadius;
    const QPointF end = to - u * (edge.toRadius + 1);
    const QPointF mid = (start + end) / 2, d = end - start;
    return {start, QPointF(mid.x() - 0.16 * d.y(), mid.y() + 0.16 * d.x()), end};
}

// How far a stroke or a disc's rim or halo reaches past what it is measured by,
// antialiasing included; generous, since leaving out a mark that shows would change the picture.
constexpr double reach = 4;

// The edges that reach the rows, stroked as one path per pen (a branch's colour, and whether it
// leaves the centre): one stroke of a few hundred curves costs little more than one of a single
// curve. A path's stroke is filled as one shape, so curves far from the rows add nothing to them.
void paintEdges(QPainter& painter, const std::vector<GraphEdge>& edges, const Theme& theme, double top, double bottom) {
    const std::size_t colours = theme.ramp.size();
    std::vector<QPainterPath> paths(2 * colours);
    for (const GraphEdge& edge : edges) {
        const EdgeCurve curve = curveOf(edge);
        if (curve.bottom() + reach < top || curve.top() - reach > bottom) continue;
        const std::size_t colour = std::size_t(std::abs(edge.tint)) % colours;
        QPainterPath& path = paths[colour * 2 + (edge.depth == 0 ? 1 : 0)];
        path.moveTo(curve.start);
        path.quadTo(curve.control, curve.end);
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

// The centre's disc has a halo 9 beyond its rim.
double discReach(const GraphNode& node) { return node.radius + (node.depth == 0 ? 9 : 0) + reach; }

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

// Text `advance` wide with its vertical centre on `anchor`, starting there (leading) or ending there.
LabelText anchored(const QString& text, double advance, const QFont& font, const QColor& ink, QPointF anchor,
                   bool trailing) {
    const double width = advance + 2, height = QFontMetricsF(font).height();
    const QRectF box(trailing ? anchor.x() - width : anchor.x(), anchor.y() - height / 2, width, height);
    return {text, box, int((trailing ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter), font, ink};
}

LabelText centred(const QString& text, const QFont& font, const QColor& ink, QPointF centre) {
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(text) + 4, height = metrics.height();
    return {text, QRectF(centre.x() - width / 2, centre.y() - height / 2, width, height), int(Qt::AlignCenter), font, ink};
}

struct LabelFonts {
    QFont centreTitle = Typography::font(11, QFont::Bold);
    QFont centreSubtitle = Typography::font(12, QFont::ExtraBold);
    QFont title = Typography::font(9.8, QFont::DemiBold);
    QFont subtitle = Typography::font(8.8, QFont::Medium);
};

// Room kept clear between a shortened label and the canvas's side, and the least room a label is
// shortened into rather than left out: a few letters and the ellipsis.
constexpr double labelEdgeMargin = 2, labelLeastRoom = 24;

std::optional<PlacedLabel> placeLabel(const GraphNode& node, const QString& title, const QString& subtitle,
                                      const Theme& theme, const LabelFonts& fonts, std::vector<QRectF>& placed,
                                      double width) {
    const QPointF centre = toQt(node.position);
    PlacedLabel label;
    if (node.depth == 0) {
        // The name is written in the disc's own ink, which the ground around it swallows: it keeps
        // within the disc's width, a longer name giving up its middle.
        const QString shown = QFontMetricsF(fonts.centreTitle).elidedText(title, Qt::ElideMiddle, 2 * node.radius);
        label.title = centred(shown, fonts.centreTitle, theme.onAccent(), {centre.x(), centre.y() - 7});
        label.subtitle =
            centred(subtitle, fonts.centreSubtitle, withOpacity(theme.onAccent(), 0.86), {centre.x(), centre.y() + 8});
        label.label = CanvasLabel{shown, QRectF(centre.x() - node.radius, centre.y() - 16, 2 * node.radius, 32)};
        label.centre = true;
    } else {
        if (node.radius <= 8) return std::nullopt;
        QString shownTitle = VizText::characterCount(title) >= 31 ? VizText::cutMiddle(title, 22, 5) : title;
        const double d = node.radius + 6;
        const QPointF p(centre.x() + std::cos(node.angle) * d, centre.y() + std::sin(node.angle) * d);
        const bool trailing = std::cos(node.angle) < -0.15;
        // Each text is measured once, for its box and for where it is written.
        double titleAdvance = QFontMetricsF(fonts.title).horizontalAdvance(shownTitle);
        const double subtitleAdvance = QFontMetricsF(fonts.subtitle).horizontalAdvance(subtitle);
        double w = std::max(std::min(titleAdvance, 200.0), std::min(subtitleAdvance, 200.0));
        // Near a side of the canvas the name ends in an ellipsis there, not cut mid-letter by it.
        const double room = (trailing ? p.x() : width - p.x()) - labelEdgeMargin;
        if (w > room) {
            if (room < labelLeastRoom || subtitleAdvance > room) return std::nullopt;
            shownTitle = QFontMetricsF(fonts.title).elidedText(shownTitle, Qt::ElideRight, room);
            titleAdvance = QFontMetricsF(fonts.title).horizontalAdvance(shownTitle);
            w = std::max(titleAdvance, subtitleAdvance);
        }
        const QRectF box(trailing ? p.x() - w : p.x(), p.y() - 12, w, 24);
        for (const QRectF& other : placed)
            if (other.intersects(box)) return std::nullopt;
        placed.push_back(box);
        label.title =
            anchored(shownTitle, titleAdvance, fonts.title, withOpacity(theme.text, 0.94), {p.x(), p.y() - 5}, trailing);
        label.subtitle =
            anchored(subtitle, subtitleAdvance, fonts.subtitle, theme.textTertiary, {p.x(), p.y() + 5}, trailing);
        label.label = CanvasLabel{shownTitle, box};
    }
    return label;
}

// The box of the ink `text` lays where drawText() writes it.
QRectF inkOf(const LabelText& text) {
    const QFontMetricsF metrics(text.font);
    const double advance = metrics.horizontalAdvance(text.text);
    const double left = (text.flags & Qt::AlignRight)     ? text.rect.right() - advance
                        : (text.flags & Qt::AlignHCenter) ? text.rect.center().x() - advance / 2
                                                          : text.rect.left();
    const double baseline = text.rect.top() + (text.rect.height() - metrics.height()) / 2 + metrics.ascent();
    return metrics.tightBoundingRect(text.text).translated(left, baseline);
}

void drawText(QPainter& painter, const LabelText& text) {
    painter.setFont(text.font);
    painter.setPen(text.ink);
    painter.drawText(text.rect, text.flags, text.text);
}

} // namespace

std::vector<PlacedLabel> placeLabels(const GraphLayout& graph, const Theme& theme, bool showLabels, bool useAllocated,
                                     double width) {
    std::vector<PlacedLabel> labels;
    if (!showLabels) return labels;
    const LabelFonts fonts;
    std::vector<QRectF> placed;
    for (const GraphNode& node : graph.nodes) {
        if (!node.node) continue;
        const QString title = node.depth == 0 ? VizText::startTitle(*node.node) : VizText::name(*node.node);
        const QString subtitle = DisplayText::sizeText(node.node->bytes(useAllocated));
        if (auto label = placeLabel(node, title, subtitle, theme, fonts, placed, width))
            labels.push_back(std::move(*label));
    }
    return labels;
}

void paintRows(QPainter& painter, const GraphLayout& graph, const Theme& theme, ColorMode colorMode, double top,
               double bottom) {
    if (graph.nodes.empty()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    paintEdges(painter, graph.edges, theme, top, bottom);
    for (const GraphNode& node : graph.nodes)
        if (node.node && node.radius > 0 && node.position.y + discReach(node) >= top &&
            node.position.y - discReach(node) <= bottom)
            paintDisc(painter, node, theme, colorMode);
    painter.restore();
}

void paintLabels(QPainter& painter, const std::vector<PlacedLabel>& labels) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (const PlacedLabel& label : labels) {
        drawText(painter, label.title);
        drawText(painter, label.subtitle);
    }
    painter.restore();
}

std::vector<CanvasLabel> paint(QPainter& painter, const GraphLayout& graph, const Theme& theme, bool showLabels,
                               bool useAllocated, ColorMode colorMode, double width) {
    std::vector<CanvasLabel> drawn;
    if (graph.nodes.empty()) return drawn;
    const std::vector<PlacedLabel> labels = placeLabels(graph, theme, showLabels, useAllocated, width);
    paintRows(painter, graph, theme, colorMode, -std::numeric_limits<double>::infinity(),
              std::numeric_limits<double>::infinity());
    paintLabels(painter, labels);
    drawn.reserve(labels.size());
    for (const PlacedLabel& label : labels) drawn.push_back(label.label);
    return drawn;
}

std::vector<QRectF> labelInk(const std::vector<PlacedLabel>& labels) {
    std::vector<QRectF> ink;
    ink.reserve(2 * labels.size());
    for (const PlacedLabel& label : labels) {
        if (label.centre) continue;
        for (const LabelText* text : {&label.title, &label.subtitle})
            if (!text->text.isEmpty()) ink.push_back(inkOf(*text).adjusted(-1, -1, 1, 1));
    }
    return ink;
}

QRectF hoverRingRect(const GraphNode& node) { return disc(toQt(node.position), node.radius + 3); }

QPen hoverRingPen(const Theme& theme) { return QPen(withOpacity(ink(theme), 0.75), 2); }

void paintHighlight(QPainter& painter, const GraphNode* hovered, const GraphNode* selected, const Theme& theme,
                    std::array<KeptStroke, 2>* rings, const std::vector<QRectF>& clear) {
    if (!hovered && !selected) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    // A label sits just outside its disc, where the rings run too: a ring passes behind the text
    // rather than over it, so the label beside a ringed disc stays whole.
    QRectF area;
    for (const GraphNode* node : {selected, hovered})
        if (node) area |= disc(toQt(node->position), node->radius + 4 + reach);
    QPainterPath hidden;
    hidden.setFillRule(Qt::WindingFill); // a label's two lines may overlap: both hide what they share
    for (const QRectF& box : clear)
        if (box.intersects(area)) hidden.addRect(box);
    if (!hidden.isEmpty()) {
        QPainterPath open;
        open.addRect(area);
        painter.setClipPath(open.subtracted(hidden), Qt::IntersectClip);
    }
    auto ring = [&](std::size_t which, const GraphNode& node, const QRectF& rect, const QPen& pen) {
        if (rings) {
            // The centre's rings are kept whatever their size: the centre is hovered and selected
            // again and again, and its hover ring is stroked ahead of the first hover.
            (*rings)[which].ellipse(painter, rect, pen,
                                    node.depth == 0 ? KeptStroke::Keep::any : KeptStroke::Keep::large);
            return;
        }
        painter.setPen(pen);
        painter.drawEllipse(rect);
    };
    if (selected) ring(0, *selected, disc(toQt(selected->position), selected->radius + 4), QPen(ink(theme), 2.2));
    if (hovered) ring(1, *hovered, hoverRingRect(*hovered), hoverRingPen(theme));
    painter.restore();
}

} // namespace tallymere::MindMapCanvas
