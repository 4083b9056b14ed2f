#include "views/viz/PackView.h"

#include "layout/CirclePackLayout.h"
#include "layout/HitTest.h"
#include "views/components/canvas/LayeredCanvas.h"
#include "views/components/canvas/PixelCopy.h"
#include "views/components/NodeInteraction.h"
#include "views/viz/PackCanvas.h"

#include <QPainter>
#include <QResizeEvent>

#include <cmath>

namespace tallymere {

namespace {

// The folders packed by the pack view shown last, for the next one: the view is made anew on every
// switch to it, and packing the folders of a large tree again was most of that switch's frame. One
// tree's and size mode's only; it lets its tree go (the tree's address may then be reused by the
// next, so groups kept for a tree that is gone are never taken).
struct KeptGroups {
    std::weak_ptr<FileNode> tree;
    bool useAllocated = false;
    std::shared_ptr<CirclePackLayout::GroupCache> groups;
};

KeptGroups& keptForNext() {
    static KeptGroups kept;
    return kept;
}

std::shared_ptr<CirclePackLayout::GroupCache> keptGroups(const AppState::NodePtr& tree, bool useAllocated) {
    KeptGroups& kept = keptForNext();
    const AppState::NodePtr held = kept.tree.lock();
    if (!tree || held != tree || kept.useAllocated != useAllocated || !kept.groups)
        kept = {tree, useAllocated, std::make_shared<CirclePackLayout::GroupCache>()};
    return kept.groups;
}

} // namespace

void PackView::forgetKeptGroups() { keptForNext() = {}; }

PackView::PackView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_surface(new VizSurface([this](QPainter& painter, const QRegion& exposed) { paintCanvas(painter, exposed); }, this)) {
    m_surface->setGeometry(rect().marginsRemoved(QMargins(margin, margin, margin, margin)));
    followInputs(this, state, m_surface,
                 {.rebuild = [this] { rebuild(); },
                  .recolour = [this] {
                      ++m_revision;
                      redraw();
                  },
                  .redraw = [this] { redraw(); },
                  .markRect = [this](const FileNode* node) { return markRect(node); },
                  .hoverMark = &m_hoverMark,
                  .selectionMark = &m_selectionMark});
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
    if (!m_groups || top != m_packedTree.get() || m_state.useAllocatedSize() != m_packedAllocated) {
        m_packedTree = top ? AppState::NodePtr(m_start, top) : nullptr;
        m_packedAllocated = m_state.useAllocatedSize();
        m_groups = keptGroups(m_packedTree, m_packedAllocated);
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
                                             options, m_groups.get());
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
            PackCanvas::hoverFill(theme()), PackCanvas::hoverRing(theme())};
}

void PackView::redraw() {
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
    const double side = mark.disc.width() * ratio;
    if (side * side < largeDisc || !TintedDisc::canLay(painter, picture) || mark == m_discFailed) return false;
    const bool focus = &hovered == &m_circles.front();
    // The focus's mark and ring are kept apart from those of other bubbles, so that hovering
    // another large bubble does not cost the focus's its shape.
    TintedDisc& disc = focus ? m_focusDisc : m_disc;
    KeptStroke& ring = focus ? m_focusRing : m_rings[1];
    const int scale = int(ratio);
    if (!disc.holds(mark.disc, mark.tint, mark.ring, picture.size(), scale)) {
        if (focus) m_prepared.take(mark, picture.size(), scale, disc, ring);
        if (!disc.holds(mark.disc, mark.tint, mark.ring, picture.size(), scale)) {
            // Hovered before it was shaped, or not the focus's: shaped here.
            m_focusShapedHere += focus;
            if (!ring.holds(scale, mark.disc, mark.ring)) ring.prepare(scale, mark.disc, mark.ring);
            if (!disc.shape(mark.disc, mark.tint, mark.ring, ring, picture.size(), scale)) {
                m_discFailed = mark;
                return false;
            }
        }
    }
    // The mark writes every pixel of its area: the picture is copied only around it.
    LayeredCanvas::blit(painter, picture, QRegion(disc.area()));
    // Where the selection's ring meets the hover's, the hover's is stroked after it, as always.
    const bool withRing = ringsApart(hovered, mark.ring.widthF(), selected, PackCanvas::selectionPenWidth);
    if (!disc.lay(painter, picture, m_base.renders(), withRing)) return false;
    ++m_discHovers;
    if (focus) std::swap(ring, m_rings[1]);
    PackCanvas::paintHighlight(painter, withRing ? nullptr : &hovered, selected, theme(), true, &m_rings);
    if (focus) std::swap(ring, m_rings[1]);
    return true;
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
            tint = &m_tint->patch(m_base.image(), m_base.renders(), mark.disc, hovered->radius, mark.tint);
        }
        const bool opaque = tint && m_tint->isWithinPicture();
        m_base.paint(painter, exposed, m_surface->size(), ratio, backdrop, render,
                     opaque ? QRegion(m_tint->area()) : QRegion());
        if (tint) {
            painter.save();
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            if (!opaque || !PixelCopy::toDevice(painter, *tint, QRect(), {}, m_tint->origin()))
                PixelCopy::draw(painter, m_tint->origin(), *tint, QRect(), opaque);
            painter.restore();
        }
        PackCanvas::paintHighlight(painter, hovered, selected, theme(), tinted, &m_rings);
    }
    // Once the window has the picture's pixels: the mark's thread would slow their copy.
    if (m_base.renders() != renders && m_base.isValid() && !m_circles.empty()) {
        const QImage& picture = m_base.image();
        const qreal scale = picture.devicePixelRatio();
        if (scale == std::floor(scale))
            m_prepared.prepare(hoverMark(m_circles.front()), picture.size(), int(scale), m_focusDisc, m_focusRing);
    }
}

} // namespace tallymere
