#pragma once
#include "layout/LayoutRecords.h"
#include "state/AppState.h"
#include "views/components/canvas/OutlineStroke.h"
#include "views/components/ThemedWidget.h"
#include "views/viz/VizSurface.h"

#include <vector>

class QScrollArea;

namespace tallymere {

// The tree on display as stacked rows of bars: the focused folder (or the displayed root) as one
// full-width bar at the top, each deeper level a row below its parents, every bar as wide as its
// share of its parent's bytes. One row height is chosen so the drawn levels fill the view when
// they can; deeper trees scroll vertically. Queued items are not marked here.
//
// Lays out when the focus, the displayed root, the size mode, the depth or its size changes; the
// colour mode, labels and theme only redraw the cached bars; hover and selection only repaint the
// highlight over them.
class IcicleView : public ThemedWidget {
    Q_OBJECT
public:
    // Margin around the scrolling area on every edge.
    static constexpr int margin = 10;
    // Row height before the first layout.
    static constexpr double initialRowHeight = 27;

    explicit IcicleView(AppState& state, QWidget* parent = nullptr);

    // The node of the deepest bar holding a point of the canvas (the scrolled surface's
    // coordinates), the start node's bar included; null for none, also in the gap under a row.
    const FileNode* nodeAt(QPointF point) const;

    // Levels below `node` the tree holds, counted over folders that are not packages and have
    // children, capped at `cap`. Sizes play no part.
    static int drawnDepth(const FileNode& node, int cap);

    QWidget* canvas() const { return m_surface; }
    QScrollArea* scrollArea() const { return m_scroll; }
    const std::vector<LayoutTile>& tiles() const { return m_tiles; }
    double rowHeight() const { return m_rowHeight; }
    // Height of the scrolled content: the rows drawn and 8 below them.
    double contentHeight() const;
    int revision() const { return m_revision; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void themeChanged() override;

private:
    void rebuild();
    void redraw();
    void placeSurface();
    void paintCanvas(QPainter& painter, const QRegion& exposed);
    int maxDepth() const;
    // The area a hover or selection mark of the node's bar paints in; empty without a bar.
    QRect markRect(const FileNode* node) const;

    AppState& m_state;
    QScrollArea* m_scroll;
    VizSurface* m_surface;
    AppState::NodePtr m_start; // keeps the nodes of m_tiles alive
    std::vector<LayoutTile> m_tiles;
    double m_rowHeight = initialRowHeight;
    int m_revision = 0;
    QSize m_canvasSize;
    BaseLayer m_base;
    QRect m_hoverMark;
    QRect m_selectionMark;
    OutlineStroke m_hoverOutline; // the hovered bar's outline, kept while it stays hovered
};

} // namespace tallymere
