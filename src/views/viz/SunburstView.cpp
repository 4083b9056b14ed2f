#include "views/viz/SunburstView.h"

#include "layout/HitTest.h"
#include "style/Typography.h"
#include "views/components/HighlightOverlay.h"
#include "views/components/NodeInteraction.h"
#include "views/components/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/viz/SunburstCenter.h"

#include <QPainter>
#include <QRadialGradient>
#include <QResizeEvent>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

namespace tallymere {

namespace {

constexpr double pi = std::numbers::pi;
const QColor labelInk(26, 25, 22);

// Qt measures path angles in degrees from three o'clock, counter-clockwise; the layout in radians
// from twelve o'clock, clockwise.
double qtDegrees(double layoutAngle) { return -(layoutAngle - pi / 2) * 180.0 / pi; }

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

const LayoutArc* firstArcOf(const std::vector<LayoutArc>& arcs, const FileNode* node) {
    return recordFor(arcs, node);
}

} // namespace

SunburstView::SunburstView(AppState& state, QWidget* parent) : LayeredCanvas(state, inset, parent) {
    connectStandardInputs();
    m_interaction = new NodeInteraction(state, this, [this](QPointF p) { return hit(toCanvas(p)); });
    m_center = new SunburstCenter(state, this);
}

SunburstLayout::Options SunburstView::options(const AppState& state) {
    SunburstLayout::Options o;
    const double depth = std::clamp(state.treemapDepth(), AppState::minTreemapDepth, AppState::maxTreemapDepth);
    o.maxDepth = std::max(3, int(std::trunc(depth)));
    o.innerRadiusFraction = 0.17;
    o.ringGap = 1.5;
    o.minSweep = 0.0016;
    o.useAllocated = state.useAllocatedSize();
    o.maxArcs = 20000;
    return o;
}

QPointF SunburstView::center() const {
    const QSizeF size = canvasSize();
    return {size.width() / 2, size.height() / 2};
}

void SunburstView::resizeEvent(QResizeEvent* event) {
    LayeredCanvas::resizeEvent(event);
    m_center->centerOn(center() + QPointF(margin(), margin()));
}

void SunburstView::layoutRecords() {
    const QSizeF size = canvasSize();
    // Only the width is tested: a low area gives a radius the layout turns down by itself.
    if (!subject() || size.width() <= 20) {
        m_arcs.clear();
        return;
    }
    m_arcs = SunburstLayout::layout(*subject(), radiusFor(size), options(state()));
}

const FileNode* SunburstView::hit(QPointF p) const {
    if (m_arcs.empty()) return nullptr;
    const QPointF c = center();
    return HitTest::arcAt(m_arcs, Point{c.x(), c.y()}, Point{p.x(), p.y()});
}

QPainterPath SunburstView::segmentPath(const LayoutArc& arc, QPointF c) {
    QPainterPath path;
    const double outer = arc.outerRadius, inner = std::max(arc.innerRadius, 0.0);
    const double sweep = arc.endAngle - arc.startAngle;
    const QRectF outerBox(c.x() - outer, c.y() - outer, 2 * outer, 2 * outer);
    if (sweep >= 2 * pi - 1e-9 && inner <= 0) {
        path.addEllipse(outerBox);
        return path;
    }
    const double sweepDegrees = -sweep * 180.0 / pi;
    path.arcMoveTo(outerBox, qtDegrees(arc.startAngle));
    path.arcTo(outerBox, qtDegrees(arc.startAngle), sweepDegrees);
    if (inner > 0) {
        const QRectF innerBox(c.x() - inner, c.y() - inner, 2 * inner, 2 * inner);
        path.arcTo(innerBox, qtDegrees(arc.endAngle), -sweepDegrees);
    } else {
        path.lineTo(c);
    }
    path.closeSubpath();
    return path;
}

void SunburstView::paintBase(QPainter& painter) {
    m_candidates = 0;
    if (m_arcs.empty()) return;
    const Theme& t = theme();
    const QPointF c = center();
    const ColorMode mode = state().colorMode();
    const bool showLabels = state().showLabels();
    const double now = nowSeconds();

    const double r0 = m_arcs.front().outerRadius;
    if (r0 > 0) {
        QRadialGradient disc(c, r0);
        disc.setColorAt(0, t.surfaceRaised);
        disc.setColorAt(1, t.surface);
        painter.setPen(Qt::NoPen);
        painter.setBrush(disc);
        painter.drawEllipse(c, r0, r0);
    }

    TextDraw::Style label{Typography::font(9, QFont::DemiBold), ShapePaint::withOpacity(labelInk, 0.85)};
    label.alignment = Qt::AlignCenter;
    const QPen separator(ShapePaint::withOpacity(t.background, 0.85), 0.9);
    int budget = labelBudget;
    for (const LayoutArc& arc : m_arcs) {
        if (arc.depth < 1) continue;
        const FileNode& node = *arc.node;
        const QColor fill = mode == ColorMode::age ? t.ageColor(node.modified, now)
                                                   : t.nodeColor(node, arc.depth, arc.tint, mode);
        const QPainterPath path = segmentPath(arc, c);
        const double sweep = arc.endAngle - arc.startAngle;
        painter.fillPath(path, ShapePaint::withOpacity(fill, 0.92));
        if (sweep > 0.02) painter.strokePath(path, separator);

        const double arcLength = sweep * arc.outerRadius;
        if (!showLabels || budget < 1 || arcLength <= 44 || arc.outerRadius - arc.innerRadius <= 13) continue;
        --budget;
        ++m_candidates;
        const QString text = TextDraw::oneLine(node.name());
        const TextDraw::Fitted fitted = TextDraw::fit(text, label, 200);
        if (fitted.lines.isEmpty() || !(fitted.width < arcLength)) continue;
        const double mid = (arc.startAngle + arc.endAngle) / 2;
        const double rm = (arc.innerRadius + arc.outerRadius) / 2;
        painter.save();
        painter.translate(c.x() + rm * std::sin(mid), c.y() - rm * std::cos(mid));
        // Along the radius, reading outwards on the right half and inwards on the left, never upside down.
        double turn = mid - pi / 2;
        if (std::sin(mid) < 0) turn += pi;
        painter.rotate(turn * 180.0 / pi);
        TextDraw::draw(painter, QRectF(-100, -10, 200, 20), text, label);
        painter.restore();
    }
}

void SunburstView::paintMarks(QPainter& painter) {
    const QColor ink = HighlightOverlay::ink(theme());
    const QPointF c = center();
    if (const LayoutArc* selected = firstArcOf(m_arcs, state().selection().get()))
        painter.strokePath(segmentPath(*selected, c), QPen(ink, 2));
    if (const LayoutArc* hovered = firstArcOf(m_arcs, state().hovered().get())) {
        const QPainterPath path = segmentPath(*hovered, c);
        painter.fillPath(path, ShapePaint::withOpacity(ink, 0.14));
        painter.strokePath(path, QPen(ShapePaint::withOpacity(ink, 0.8), 1.6));
    }
}

} // namespace tallymere
