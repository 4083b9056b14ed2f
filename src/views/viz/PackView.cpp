#include "views/viz/PackView.h"

#include "layout/CirclePackLayout.h"
#include "layout/HitTest.h"
#include "views/components/LayeredCanvas.h"
#include "views/components/PixelCopy.h"
#include "views/components/NodeInteraction.h"
#include "views/viz/PackCanvas.h"

#include <QPainter>
#include <QResizeEvent>

#include <cmath>

namespace tallymere {

PackView::PackView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_surface(new VizSurface([this](QPainter& painter, const QRegion& exposed) { paintCanvas(painter, exposed); }, this)) {
    m_surface->setGeometry(rect().marginsRemoved(QMargins(margin, margin, margin, margin)));
    connect(&state, &AppState::focusChanged, this, &PackView::rebuild);
    connect(&state, &AppState::displayRootChanged, this, &PackView::rebuild);
    connect(&state, &AppState::useAllocatedSizeChanged, this, &PackView::rebuild);
    connect(&state, &AppState::colorModeChanged, this, [this] {
        ++m_revision;
        redraw();
    });
    connect(&state, &AppState::showLabelsChanged, this, &PackView::redraw);
    connect(&state, &AppState::hoveredChanged, this,
            [this] { m_surface->moveMark(m_hoverMark, markRect(m_state.hovered().get())); });
    connect(&state, &AppState::selectionChanged, this,
            [this] { m_surface->moveMark(m_selectionMark, markRect(m_state.selection().get())); });
    // Hover, clicks and the context menu act on the node under the pointer.
    new NodeInteraction(state, m_surface, [this](QPointF point) { return nodeAt(point); });
    rebuild();
}

const FileNode* PackView::nodeAt(QPointF point) const {
    return HitTest::circleAt(m_circles, {point.x(), point.y()});
}

void PackView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    m_surface->setGeometry(rect().marginsRemoved(QMargins(margin, margin, margin, margin)));
    if (m_surface->size() != m_canvasSize) rebuild();
}

void PackView::themeChanged() { redraw(); }

void PackView::rebuild() {
    m_canvasSize = m_surface->size();
    m_circles.clear();
    m_start = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    // The packed folders are kept while the tree and the size mode stay: a focus change within the
    // tree packs only the folders it has not met yet. A tree is never changed once shown (a removal
    // or a filter shows a new one).
    FileNode* top = m_start.get();
    while (top && top->parent) top = top->parent;
    if (top != m_packedTree.get() || m_state.useAllocatedSize() != m_packedAllocated) {
        m_groups.clear();
        m_packedTree = top ? AppState::NodePtr(m_start, top) : nullptr;
        m_packedAllocated = m_state.useAllocatedSize();
    }
    if (m_start && m_canvasSize.width() > 30) {
        CirclePackLayout::Options options;
        options.maxDepth = 5;
        options.minRadius = 2.2;
        options.padding = 2.5;
        options.useAllocated = m_state.useAllocatedSize();
        options.maxCircles = 12000;
        options.minShare = 0.0015;
        m_circles = CirclePackLayout::layout(*m_start, {0, 0, double(m_canvasSize.width()), double(m_canvasSize.height())},
                                             options, &m_groups);
    }
    ++m_revision;
    redraw();
}

QRect PackView::markRect(const FileNode* node) const {
    const LayoutCircle* circle = recordFor(m_circles, node);
    if (!circle) return {};
    // The ring's stroke reaches a pixel beyond the rim, antialiasing one more.
    const double reach = circle->radius + 3;
    return QRectF(circle->center.x - reach, circle->center.y - reach, 2 * reach, 2 * reach).toAlignedRect();
}

PreparedHover::Mark PackView::hoverMark(const LayoutCircle& circle) const {
    return {QRectF(circle.center.x - circle.radius, circle.center.y - circle.radius, 2 * circle.radius, 2 * circle.radius),
            PackCanvas::hoverFill(theme()), PackCanvas::hoverRing(theme()), m_base.renders()};
}

void PackView::redraw() {
    // The mark being made reads the picture about to be drawn again.
    m_prepared.release();
    m_hoverMark = markRect(m_state.hovered().get());
    m_selectionMark = markRect(m_state.selection().get());
    m_base.invalidate();
    m_surface->update();
}

namespace {

// The hover ring of `hovered` and the selection ring of `selected` share no pixel, so the order they
// are laid in makes no difference: neither ring (with its pen and a margin for antialiasing) reaches
// into the other's.
bool ringsApart(const LayoutCircle& hovered, double hoverPen, const LayoutCircle* selected, double selectionPen) {
    if (!selected) return true;
    if (selected == &hovered) return false;
    const double d = std::hypot(hovered.center.x - selected->center.x, hovered.center.y - selected->center.y);
    const double hoverIn = hovered.radius - hoverPen / 2 - 2, hoverOut = hovered.radius + hoverPen / 2 + 2;
    const double selectedIn = selected->radius - selectionPen / 2 - 2,
                 selectedOut = selected->radius + selectionPen / 2 + 2;
    return d + selectedOut <= hoverIn || d >= selectedOut + hoverOut || d + hoverOut <= selectedIn;
}

// Device pixels of a disc's bounds from which its hover mark is laid as a tinted disc with a kept
// ring: a ring this large is kept anyway (see KeptStroke).
constexpr double largeDisc = 160.0 * 160.0;

} // namespace

bool PackView::layDisc(QPainter& painter, const LayoutCircle& hovered, const LayoutCircle* selected) {
    const QImage& picture = m_base.image();
    const qreal ratio = picture.devicePixelRatio();
    const PreparedHover::Mark mark = hoverMark(hovered);
    if (&hovered == &m_circles.front()) m_prepared.take(mark, m_disc, m_rings[1]);
    const double side = mark.disc.width() * ratio;
    if (side * side < largeDisc || !TintedDisc::canLay(painter, picture) || mark == m_discFailed) return false;
    const bool held = m_disc.holds(mark.pictureRevision, mark.disc, mark.tint, mark.ring, ratio);
    if (!held && !m_disc.awaitsRing(mark.pictureRevision, mark.disc, mark.tint, mark.ring, ratio)) {
        // Hovered before its band was made (or not the focus's): made here.
        if (!m_disc.make(picture, mark.pictureRevision, mark.disc, mark.tint, mark.ring)) {
            m_discFailed = mark;
            return false;
        }
    }
    if (!held) {
        if (!m_rings[1].holds(ratio, mark.disc, mark.ring)) m_rings[1].prepare(ratio, mark.disc, mark.ring);
        if (!m_disc.layRing(m_rings[1])) {
            m_discFailed = mark;
            return false;
        }
    }
    // The mark writes every pixel of its area: the picture is copied only around it.
    LayeredCanvas::blit(painter, picture, QRegion(m_disc.area()));
    // Where the selection's ring meets the hover's, the hover's is stroked after it, as always.
    const bool withRing = ringsApart(hovered, mark.ring.widthF(), selected, PackCanvas::selectionPenWidth);
    const bool ok = m_disc.lay(painter, picture, withRing);
    m_discHovers += ok;
    if (ok) PackCanvas::paintHighlight(painter, withRing ? nullptr : &hovered, selected, theme(), true, &m_rings);
    return ok;
}

void PackView::paintCanvas(QPainter& painter, const QRegion& exposed) {
    auto render = [this](QPainter& layer) {
        PackCanvas::paint(layer, m_circles, theme(), m_state.showLabels(), m_state.colorMode(),
                          LayeredCanvas::backdrop(theme()));
    };
    const QColor backdrop = LayeredCanvas::backdrop(theme());
    const qreal ratio = m_surface->devicePixelRatioF();
    const int renders = m_base.renders();
    m_base.ensure(m_surface->size(), ratio, backdrop, render);
    const LayoutCircle* hovered = recordFor(m_circles, m_state.hovered().get());
    const LayoutCircle* selected = recordFor(m_circles, m_state.selection().get());
    const bool tinted = hovered && m_base.isValid();
    if (!tinted || !layDisc(painter, *hovered, selected)) {
        // The hovered bubble's fill comes ready from the cache; the highlight strokes its ring. A
        // patch all of the picture's own pixels covers its area opaquely: the picture is not copied
        // there first.
        const QImage* tint = nullptr;
        if (tinted) {
            const PreparedHover::Mark mark = hoverMark(*hovered);
            tint = &m_tint->patch(m_base.image(), mark.pictureRevision, mark.disc, hovered->radius, mark.tint);
        }
        const bool opaque = tint && m_tint->isWithinPicture();
        m_base.paint(painter, exposed, m_surface->size(), ratio, backdrop, render,
                     opaque ? QRegion(m_tint->area()) : QRegion());
        if (tint) {
            painter.save();
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            if (!opaque || !PixelCopy::toDevice(painter, *tint, QRect(), {}, m_tint->area().topLeft()))
                PixelCopy::draw(painter, QPointF(m_tint->area().topLeft()), *tint, QRect(), opaque);
            painter.restore();
        }
        PackCanvas::paintHighlight(painter, hovered, selected, theme(), tinted, &m_rings);
    }
    // Once the window has the picture's pixels: the mark's threads would slow their copy.
    if (m_base.renders() != renders && m_base.isValid() && !m_circles.empty())
        m_prepared.prepare(m_base.image(), hoverMark(m_circles.front()), m_rings[1]);
}

} // namespace tallymere
