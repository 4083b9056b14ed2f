#include "views/viz/IcicleView.h"

#include "layout/HitTest.h"
#include "layout/IcicleLayout.h"
#include "views/components/canvas/HighlightOverlay.h"
#include "views/components/canvas/LayeredCanvas.h"
#include "views/components/NodeInteraction.h"
#include "views/viz/IcicleCanvas.h"
#include "views/components/controls/ListScroll.h"

#include <QPainter>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace tallymere {

IcicleView::IcicleView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_scroll(new QScrollArea(this)),
      m_surface(new VizSurface([this](QPainter& painter, const QRegion& exposed) { paintCanvas(painter, exposed); })) {
    m_scroll->setFrameShape(QFrame::NoFrame);
    ListScroll::style(m_scroll);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setWidgetResizable(false);
    m_scroll->setWidget(m_surface);
    // The scroll area paints its viewport and content in the window colour; the bars sit on the
    // view's own background instead.
    m_scroll->viewport()->setAutoFillBackground(false);
    m_surface->setAutoFillBackground(false);
    m_scroll->setGeometry(rect().marginsRemoved(QMargins(margin, margin, margin, margin)));
    themeChanged();

    followInputs(this, state, m_surface,
                 {.rebuild = [this] { rebuild(); },
                  .recolour = [this] {
                      ++m_revision;
                      redraw();
                  },
                  .redraw = [this] { redraw(); },
                  .markRect = [this](const FileNode* node) { return markRect(node); },
                  .hoverMark = &m_hoverMark,
                  .selectionMark = &m_selectionMark,
                  .followsDepth = true});
    // Hover, clicks and the context menu act on the node under the pointer.
    new NodeInteraction(state, m_surface, [this](QPointF point) { return nodeAt(point); });
    rebuild();
}

const FileNode* IcicleView::nodeAt(QPointF point) const {
    return HitTest::tileAt(m_tiles, {point.x(), point.y()});
}

int IcicleView::maxDepth() const {
    // Truncating, and a negative depth counts as none.
    const double depth = m_state.treemapDepth();
    return (depth > 0 ? int(depth) : 0) + 3;
}

int IcicleView::drawnDepth(const FileNode& node, int cap) {
    auto expands = [](const FileNode& n) { return !n.isPackage && n.hasChildren(); };
    // Only the nodes that expand are kept per level: the others end their branch one level down,
    // which the count already takes when their parent expands.
    int d = 0;
    std::vector<const FileNode*> level{&node}, next;
    while (d < cap && !level.empty()) {
        bool anyChildren = false;
        next.clear();
        for (const FileNode* n : level) {
            if (!expands(*n)) continue;
            anyChildren = true;
            // Nothing below a folder without subfolders expands, so a wide folder of files costs
            // nothing here.
            if (n->folderCount == 0) continue;
            for (const FileNode* child : n->children())
                if (expands(*child)) next.push_back(child);
        }
        if (!anyChildren) break;
        ++d;
        level.swap(next);
    }
    return d;
}

double IcicleView::contentHeight() const {
    int deepest = 0;
    for (const LayoutTile& tile : m_tiles) deepest = std::max(deepest, tile.depth);
    return m_rowHeight * (deepest + 1) + 8;
}

void IcicleView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    m_scroll->setGeometry(rect().marginsRemoved(QMargins(margin, margin, margin, margin)));
    if (m_scroll->size() != m_canvasSize) rebuild();
}

void IcicleView::themeChanged() {
    redraw();
}

void IcicleView::rebuild() {
    m_canvasSize = m_scroll->size();
    m_start = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    if (!m_start || m_canvasSize.width() <= 20) {
        m_tiles.clear();
    } else {
        const double available = std::max(double(m_canvasSize.height()) - 8, 120.0);
        // 20000 tall: the rows stop by depth long before the bottom, and the view scrolls.
        const Rect area{0, 0, double(m_canvasSize.width()) - 20, 20000};
        IcicleLayout::Options options;
        options.maxDepth = maxDepth();
        options.gap = 1;
        options.minWidth = 0.7;
        options.useAllocated = m_state.useAllocatedSize();
        options.maxTiles = 40000;

        // First guess from the levels the tree holds; then fit the rows the layout really filled.
        const int levels = drawnDepth(*m_start, options.maxDepth);
        const double h1 = std::clamp(available / (levels + 1), 17.0, 38.0);
        options.rowHeight = h1;
        std::vector<LayoutTile> tiles = IcicleLayout::layout(*m_start, area, options);
        int deepest = 0;
        for (const LayoutTile& tile : tiles) deepest = std::max(deepest, tile.depth);
        const double h2 = std::clamp(available / (deepest + 1), 17.0, 46.0);
        if (std::abs(h2 - h1) > 2) {
            options.rowHeight = h2;
            tiles = IcicleLayout::layout(*m_start, area, options);
            m_rowHeight = h2;
        } else {
            m_rowHeight = h1;
        }
        m_tiles = std::move(tiles);
    }
    ++m_revision;
    placeSurface();
    redraw();
}

void IcicleView::placeSurface() {
    const int width = std::max(0, m_canvasSize.width() - 20);
    m_surface->setFixedSize(width, int(std::ceil(contentHeight())));
}

QRect IcicleView::markRect(const FileNode* node) const {
    const LayoutTile* tile = recordFor(m_tiles, node);
    if (!tile) return {};
    // The selection outline stands a point outside the bar, its stroke and antialiasing two more.
    const Rect& r = tile->rect;
    return QRectF(r.x, r.y, r.width, r.height).adjusted(-3, -3, 3, 3).toAlignedRect();
}

void IcicleView::redraw() {
    m_hoverMark = markRect(m_state.hovered().get());
    m_selectionMark = markRect(m_state.selection().get());
    m_base.invalidate();
    m_surface->update();
}

void IcicleView::paintCanvas(QPainter& painter, const QRegion& exposed) {
    m_base.paint(painter, exposed, m_surface->size(), m_surface->devicePixelRatioF(), LayeredCanvas::backdrop(theme()),
                 [this](QPainter& layer) {
        IcicleCanvas::paint(layer, m_tiles, theme(), m_state.showLabels(), m_state.colorMode());
    });
    auto rectOf = [this](const AppState::NodePtr& node) -> std::optional<QRectF> {
        const LayoutTile* tile = recordFor(m_tiles, node.get());
        if (!tile) return std::nullopt;
        return QRectF(tile->rect.x, tile->rect.y, tile->rect.width, tile->rect.height);
    };
    HighlightOverlay overlay{rectOf(m_state.hovered()), rectOf(m_state.selection()), {}, theme()};
    overlay.hoverOutline = &m_hoverOutline;
    overlay.paint(painter);
}

} // namespace tallymere
