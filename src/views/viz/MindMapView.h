#pragma once
#include "layout/LayoutRecords.h"
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"
#include "views/viz/VizSurface.h"

class QVariantAnimation;

namespace tallymere {

// The tree on display as a radial mind map: the focused folder (or the displayed root) as a disc
// in the middle, its largest children on a ring around it and theirs on further rings, joined by
// curved edges, labelled with names and sizes. The map scales up and fades in when the view is
// first shown and again after every change of focus.
//
// Lays out when the focus, the displayed root, the size mode or its size changes; the colour mode,
// labels and theme only redraw the cached map; hover and selection only repaint two rings.
class MindMapView : public ThemedWidget {
    Q_OBJECT
public:
    // Margin around the canvas on every edge.
    static constexpr int margin = 18;
    // The entry springs: on first showing, and after a change of focus.
    static constexpr double appearResponse = 0.55, appearDamping = 0.85;
    static constexpr double bounceResponse = 0.5, bounceDamping = 0.84;

    explicit MindMapView(AppState& state, QWidget* parent = nullptr);

    // The node of the deepest disc within 5 of a point of the canvas (the surface's coordinates);
    // null for none.
    const FileNode* nodeAt(QPointF point) const;

    QWidget* canvas() const { return m_surface; }
    const GraphLayout& graph() const { return m_graph; }
    int revision() const { return m_revision; }
    // How far the entry has come: 0 hidden (scaled to 0.94, transparent), 1 in place.
    double appearance() const { return m_appearance; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void themeChanged() override;

private:
    void rebuild();
    void redraw();
    void springIn(double response, double damping);
    void paintCanvas(QPainter& painter, const QRegion& exposed);
    // The area a hover or selection ring of the node's disc paints in once the map is in place;
    // empty without a disc.
    QRect markRect(const FileNode* node) const;
    void moveMark(QRect& drawn, const FileNode* node);

    AppState& m_state;
    VizSurface* m_surface;
    QVariantAnimation* m_entry;
    AppState::NodePtr m_start; // keeps the nodes of m_graph alive
    GraphLayout m_graph;
    int m_revision = 0;
    QSize m_canvasSize;
    // Drawn on this thread: the picture spreads its own rows over the pool, each band laying the
    // backdrop under its rows first.
    BaseLayer m_base{BaseLayer::Drawing::hereOverItsOwnBackdrop};
    QRect m_hoverMark;
    QRect m_selectionMark;
    double m_appearance = 0;
    double m_springResponse = appearResponse, m_springDamping = appearDamping;
    bool m_appeared = false;
};

} // namespace tallymere
