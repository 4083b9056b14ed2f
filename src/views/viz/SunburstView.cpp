#include "views/viz/SunburstView.h"

#include "layout/HitTest.h"
#include "style/Typography.h"
#include "views/components/canvas/ArcRaster.h"
#include "views/components/canvas/HighlightOverlay.h"
#include "views/components/NodeInteraction.h"
#include "views/components/canvas/ParallelBands.h"
#include "views/components/canvas/PixelCopy.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/viz/SunburstCenter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRadialGradient>
#include <QResizeEvent>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <optional>

namespace tallymere {

namespace {

constexpr double pi = std::numbers::pi;
// Most threads the rings of one picture are drawn on.
constexpr int maxBands = 8;
const QColor labelInk(26, 25, 22);
// Space kept between a label and its ring's inner and outer edges.
constexpr double labelPadding = 2;
// How far a label's letters may reach beyond its box (a line of the label's font is some 11 points
// high, centred in a box 20 high), in points.
constexpr double labelReach = 4;

// Qt measures path angles in degrees from three o'clock, counter-clockwise; the layout in radians
// from twelve o'clock, clockwise.
double qtDegrees(double layoutAngle) { return -(layoutAngle - pi / 2) * 180.0 / pi; }

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Whether a label `width` long, in `font`, centred on the arc's middle radius and running along it,
// lies inside the ring segment: between the ring's edges less their padding, and, across the
// radius, inside the segment's sides where the text comes nearest the centre.
bool labelFitsBand(const LayoutArc& arc, double width, const QFont& font) {
    const double room = arc.outerRadius - arc.innerRadius - 2 * labelPadding;
    if (width > room) return false;
    const QFontMetricsF metrics(font);
    const double nearest = (arc.innerRadius + arc.outerRadius - width) / 2;
    const double halfSweep = std::min((arc.endAngle - arc.startAngle) / 2, pi / 2);
    return nearest * std::sin(halfSweep) >= (metrics.ascent() + metrics.descent()) / 2;
}

const LayoutArc* firstArcOf(const std::vector<LayoutArc>& arcs, const FileNode* node) {
    return recordFor(arcs, node);
}


// Which arcs get a label: the first `budget` wide and thick enough are candidates, and of those the
// ones whose whole name (measured within 200 points) is shorter than the arc is long, and lies
// inside the ring's band, are written. A name is never cut: part of one names nothing. By arc, an
// empty text for none; `candidates` is how many arcs were measured.
std::vector<QString> ringLabels(const std::vector<LayoutArc>& arcs, const TextDraw::Style& style, int budget,
                                int& candidateCount) {
    std::vector<QString> labels(arcs.size());
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < arcs.size() && candidates.size() < std::size_t(budget); ++i) {
        const LayoutArc& arc = arcs[i];
        if (arc.depth < 1) continue;
        const double arcLength = (arc.endAngle - arc.startAngle) * arc.outerRadius;
        if (arcLength <= 44 || arc.outerRadius - arc.innerRadius <= 13) continue;
        candidates.push_back(i);
    }
    candidateCount = int(candidates.size());
    // Measuring a name the first time is the dear part (shaping it): the candidates are measured
    // on several threads at once.
    ParallelBands::run(candidateCount, maxBands, [&](int from, int to) {
        for (int k = from; k < to; ++k) {
            const LayoutArc& arc = arcs[candidates[std::size_t(k)]];
            const double arcLength = (arc.endAngle - arc.startAngle) * arc.outerRadius;
            const QString text = TextDraw::oneLine(arc.node->name());
            const TextDraw::Fitted fitted = TextDraw::fit(text, style, 200);
            if (fitted.lines.size() != 1 || fitted.lines.front() != text || fitted.width >= arcLength) continue;
            if (!labelFitsBand(arc, fitted.width, fitted.font)) continue;
            labels[candidates[std::size_t(k)]] = text;
        }
    });
    return labels;
}

// The segments' colours by arc, each already laid on the backdrop at 0.92, worked out once rather
// than in every band they reach.
std::vector<QColor> segmentFills(const std::vector<LayoutArc>& arcs, const Theme& t, ColorMode mode, double now,
                                 const QColor& backdrop) {
    auto onBackdrop = [&backdrop](const QColor& colour, double opacity) {
        const double a = colour.alphaF() * opacity;
        auto mix = [a](double over, double under) { return float(over * a + under * (1 - a)); };
        return QColor::fromRgbF(mix(colour.redF(), backdrop.redF()), mix(colour.greenF(), backdrop.greenF()),
                                mix(colour.blueF(), backdrop.blueF()));
    };
    std::vector<QColor> fills(arcs.size());
    Theme::BranchColors branch(t);
    for (std::size_t i = 0; i < arcs.size(); ++i) {
        const LayoutArc& arc = arcs[i];
        if (arc.depth < 1) continue;
        const FileNode& node = *arc.node;
        fills[i] = onBackdrop(mode == ColorMode::age      ? t.ageColor(node.modified, now)
                              : mode == ColorMode::branch ? branch.of(node, arc.depth, arc.tint)
                                                          : t.nodeColor(node, arc.depth, arc.tint, mode),
                              0.92);
    }
    return fills;
}

// The ring labels whose turned box reaches `reach` (the band's rows, in the drawing area's
// coordinates), each along its arc's radius at the middle of its ring.
void drawRingLabels(QPainter& p, const std::vector<LayoutArc>& arcs, const std::vector<QString>& labels,
                    const TextDraw::Style& style, QPointF c, const QRectF& reach) {
    for (std::size_t i = 0; i < arcs.size(); ++i) {
        if (labels[i].isEmpty()) continue;
        const LayoutArc& arc = arcs[i];
        const double mid = (arc.startAngle + arc.endAngle) / 2;
        const double rm = (arc.innerRadius + arc.outerRadius) / 2;
        const QPointF labelAt(c.x() + rm * std::sin(mid), c.y() - rm * std::cos(mid));
        // Along the radius, reading outwards on the right half and inwards on the left, never upside down.
        double turn = mid - pi / 2;
        if (std::sin(mid) < 0) turn += pi;
        // The text runs along the radius, so the ring's thickness is its room; a label is chosen
        // only when it fits there whole.
        const double room = arc.outerRadius - arc.innerRadius - 2 * labelPadding;
        const QRectF box(-room / 2, -10, room, 20);
        // Drawn only in the bands its letters reach: the box turned, with room for their
        // anti-aliased edges and any overhang.
        const QTransform turned = QTransform::fromTranslate(labelAt.x(), labelAt.y()).rotate(turn * 180.0 / pi);
        if (!reach.intersects(turned.mapRect(box.adjusted(-labelReach, -labelReach, labelReach, labelReach)))) continue;
        p.save();
        p.translate(labelAt);
        p.rotate(turn * 180.0 / pi);
        TextDraw::draw(p, box, labels[i], style);
        p.restore();
    }
}

} // namespace

SunburstView::SunburstView(AppState& state, QWidget* parent) : LayeredCanvas(state, inset, parent) {
    connectStandardInputs();
    m_interaction = new NodeInteraction(state, this, [this](QPointF p) { return hit(toCanvas(p)); });
    m_interaction->setMargin(inset);
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
        if (m_center) m_center->setDiscRadius(0);
        return;
    }
    m_arcs = SunburstLayout::layout(*subject(), radiusFor(size), options(state()));
    if (m_center) m_center->setDiscRadius(m_arcs.empty() ? 0 : m_arcs.front().outerRadius);
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
    const Theme& t = theme();
    auto* image = dynamic_cast<QImage*>(painter.device());
    if (m_arcs.empty() || !image) {
        if (image) image->fill(LayeredCanvas::backdrop(t));
        return;
    }
    const QPointF c = center();
    const double r0 = m_arcs.front().outerRadius;
    TextDraw::Style label{Typography::font(9, QFont::DemiBold), ShapePaint::withOpacity(labelInk, 0.85)};
    label.alignment = Qt::AlignCenter;
    const std::vector<QString> labels =
        state().showLabels() ? ringLabels(m_arcs, label, labelBudget, m_candidates) : std::vector<QString>(m_arcs.size());

    // The rings of disjoint bands of rows are drawn on several threads at once, each band an image
    // over the same pixels; every band draws the disc and the arcs that reach it in the same order,
    // then the labels that reach it, so no later arc covers a label's end.
    const qreal ratio = image->devicePixelRatio();
    const QTransform toDevice = painter.deviceTransform();
    const QPointF origin(toDevice.dx() / ratio, toDevice.dy() / ratio); // the drawing area in the image
    uchar* bits = image->bits();
    const qsizetype stride = image->bytesPerLine();
    const QColor separator = ShapePaint::withOpacity(t.background, 0.85);
    const QColor backdrop = LayeredCanvas::backdrop(t);
    const std::vector<QColor> fills = segmentFills(m_arcs, t, state().colorMode(), nowSeconds(), backdrop);
    // Made here: making a raster touches the image, which only this thread may do.
    const ArcRaster rings(*image, (origin + c) * ratio);
    auto drawBand = [&](int top, int bottom) {
        QImage band(bits + qsizetype(top) * stride, image->width(), bottom - top, stride, image->format());
        band.setDevicePixelRatio(ratio);
        // Each band lays the backdrop under its own rows first.
        band.fill(backdrop);
        QPainter p(&band);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.translate(origin.x(), origin.y() - top / ratio);
        if (r0 > 0 && c.y() + r0 + 1 > top / ratio - origin.y() && c.y() - r0 - 1 < bottom / ratio - origin.y()) {
            QRadialGradient disc(c, r0);
            disc.setColorAt(0, t.surfaceRaised);
            disc.setColorAt(1, t.surface);
            p.setPen(Qt::NoPen);
            p.setBrush(disc);
            p.drawEllipse(c, r0, r0);
        }
        // The segments never overlap and lie on the backdrop: each is filled with its colour already
        // laid on the backdrop, opaque, and outlined when wider than a sliver.
        ArcRaster raster(rings, top, bottom);
        for (std::size_t i = 0; i < m_arcs.size(); ++i) {
            const LayoutArc& arc = m_arcs[i];
            if (arc.depth < 1) continue;
            const ArcRaster::Segment segment{arc.innerRadius * ratio, arc.outerRadius * ratio, arc.startAngle,
                                             arc.endAngle};
            raster.fill(segment, fills[i], arc.endAngle - arc.startAngle > 0.02 ? 0.9 * ratio : 0, separator);
        }
        const QRectF reach(-origin.x(), top / ratio - origin.y(), image->width() / ratio, (bottom - top) / ratio);
        drawRingLabels(p, m_arcs, labels, label, c, reach);
    };
    ParallelBands::run(image->height(), maxBands, drawBand);
}

QRectF SunburstView::segmentBounds(const LayoutArc& arc, QPointF c) {
    const double outer = arc.outerRadius, inner = std::max(arc.innerRadius, 0.0);
    if (arc.endAngle - arc.startAngle >= 2 * pi) return {c.x() - outer, c.y() - outer, 2 * outer, 2 * outer};
    double left = c.x(), right = c.x(), top = c.y(), bottom = c.y();
    auto include = [&](double angle, double radius) {
        const double x = c.x() + radius * std::sin(angle), y = c.y() - radius * std::cos(angle);
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    };
    if (inner > 0) {
        left = right = c.x() + inner * std::sin(arc.startAngle);
        top = bottom = c.y() - inner * std::cos(arc.startAngle);
        include(arc.endAngle, inner);
    }
    include(arc.startAngle, outer);
    include(arc.endAngle, outer);
    // The outer arc's extremes at twelve, three, six and nine o'clock when it passes them.
    for (int k = int(std::ceil(arc.startAngle / (pi / 2))); k * (pi / 2) <= arc.endAngle; ++k) include(k * (pi / 2), outer);
    return {left, top, right - left, bottom - top};
}

namespace {

// The selected segment's outline, then the hovered one's tint and outline.
void drawMarks(QPainter& painter, const LayoutArc* selected, const LayoutArc* hovered, QPointF c, const QColor& ink) {
    if (selected) painter.strokePath(SunburstView::segmentPath(*selected, c), QPen(ink, 2));
    if (hovered) {
        const QPainterPath path = SunburstView::segmentPath(*hovered, c);
        painter.fillPath(path, ShapePaint::withOpacity(ink, 0.14));
        painter.strokePath(path, QPen(ShapePaint::withOpacity(ink, 0.8), 1.6));
    }
}

} // namespace

KeptMarks::Key SunburstView::discMarksKey(const LayoutArc* selected) const {
    const LayoutArc& disc = m_arcs.front();
    // Where the disc's marks reach (as marksRegion() has it), in widget points; a selected segment's
    // outline is kept as far as it reaches in there.
    const QRect area =
        segmentBounds(disc, center()).adjusted(-2, -2, 2, 2).toAlignedRect().translated(int(margin()), int(margin())) &
        rect();
    return {baseRenderCount(), area, &disc, selected};
}

KeptMarks::Draw SunburstView::discMarksDraw(const LayoutArc* selected) const {
    return [disc = m_arcs.front(), selected = selected ? std::optional(*selected) : std::nullopt, c = center(),
            shift = margin(), ink = HighlightOverlay::ink(theme())](QPainter& painter) {
        painter.translate(shift, shift);
        drawMarks(painter, selected ? &*selected : nullptr, &disc, c, ink);
    };
}

bool SunburstView::hoverIsKept() const {
    // The central disc is the one large mark: the others are segments of thin rings.
    return !m_arcs.empty() && firstArcOf(m_arcs, state().hovered().get()) == &m_arcs.front() &&
           KeptMarks::canKeep(picture()) && margin() == std::floor(margin());
}

void SunburstView::pictureRendered() {
    // The pointer crosses the disc on its way to most segments: its marks are made ready at once.
    if (m_arcs.empty() || !KeptMarks::canKeep(picture()) || margin() != std::floor(margin())) return;
    const LayoutArc* selected = firstArcOf(m_arcs, state().selection().get());
    m_discMarks.prepare(picture(), discMarksKey(selected), discMarksDraw(selected));
}

QRegion SunburstView::marksCover() const { return hoverIsKept() ? QRegion(discMarksKey(nullptr).area) : QRegion(); }

void SunburstView::paintMarks(QPainter& painter) {
    const QColor ink = HighlightOverlay::ink(theme());
    const QPointF c = center();
    const LayoutArc* selected = firstArcOf(m_arcs, state().selection().get());
    const LayoutArc* hovered = firstArcOf(m_arcs, state().hovered().get());
    if (!hoverIsKept()) {
        drawMarks(painter, selected, hovered, c, ink);
        return;
    }
    // The kept marks hold the selection's outline where it reaches their area, and are copied over
    // whatever was drawn there.
    drawMarks(painter, selected, nullptr, c, ink);
    const KeptMarks::Key key = discMarksKey(selected);
    const QImage& marks = m_discMarks.image(picture(), key, discMarksDraw(selected));
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    PixelCopy::draw(painter, QPointF(key.area.topLeft()) - QPointF(margin(), margin()), marks, QRect(), true);
    painter.restore();
}

QRegion SunburstView::marksRegion() const {
    QRegion region;
    for (const FileNode* node : {state().hovered().get(), state().selection().get()})
        if (const LayoutArc* arc = firstArcOf(m_arcs, node))
            region += segmentBounds(*arc, center()).adjusted(-2, -2, 2, 2).toAlignedRect();
    return region;
}

} // namespace tallymere
