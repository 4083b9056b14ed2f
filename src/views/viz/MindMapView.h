#pragma once
#include "layout/LayoutRecords.h"
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"
#include "views/components/canvas/KeptStroke.h"
#include "views/viz/VizSurface.h"

#include <array>
#include <future>
#include <memory>
#include <vector>

class QVariantAnimation;

namespace tallymere {

namespace ParallelBands {
class Job;
}

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
    ~MindMapView() override;

    // The node of the deepest disc within 5 of a point of the canvas (the surface's coordinates);
    // null for none.
    const FileNode* nodeAt(QPointF point) const;

    QWidget* canvas() const { return m_surface; }
    const GraphLayout& graph() const { return m_graph; }
    int revision() const { return m_revision; }
    // Whether the last hover ring painted was laid from kept pixels, for tests.
    bool centreRingLaidFromKept() const { return m_rings[1].laidFromKept(); }
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
    // Starts drawing the shapes of the next picture on the pool, while the window goes on with
    // other work: the first frame after a change of focus shows none of the map (the spring starts
    // from transparent), so only a later frame waits for them, if at all.
    void drawShapesAhead();
    // Stops the shapes being drawn ahead, waiting for the bands under way.
    void cancelShapesAhead();
    // The shapes of `picture` (the backdrop under them): those drawn ahead where they were drawn
    // for it, waited for, else drawn now.
    void drawShapes(QImage& picture);
    // The area a hover or selection ring of the node's disc paints in once the map is in place;
    // empty without a disc.
    QRect markRect(const FileNode* node) const;
    void moveMark(QRect& drawn, const FileNode* node);
    // The rings over the finished picture, the centre's hover ring taken from m_centreRing when it
    // was stroked there.
    void paintRings(QPainter& painter);
    // Sets the painter's opacity and scale for the spring at m_appearance.
    void springTransform(QPainter& painter) const;
    // Lays the backdrop and the spring's scaled, faded picture straight into the window's pixels
    // in bands of rows on several threads; false, having drawn nothing, where the painter's pixels
    // cannot be written that way.
    bool springInBands(QPainter& painter, qreal ratio, const QColor& backdrop) const;
    // Starts stroking the centre disc's hover ring on a thread of its own, unless it is kept.
    void prepareCentreRing();

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
    // The selection's and the hover's rings, kept while they stay the same (see KeptStroke): the
    // centre's ring is stroked once a size and theme rather than on every hover of it.
    std::array<KeptStroke, 2> m_rings;
    // Where the labels of the picture lay ink, which the rings leave clear.
    std::vector<QRectF> m_labelInk;
    // The centre's hover ring being stroked on a thread of its own after a picture of a new size,
    // pixel ratio or theme was drawn.
    std::future<KeptStroke> m_centreRing;
    // The shapes of the next picture being drawn into m_base's image, and the pixels, ratio and
    // backdrop they are drawn for.
    std::shared_ptr<ParallelBands::Job> m_shapesAhead;
    QSize m_aheadPixels;
    qreal m_aheadRatio = 0;
    QColor m_aheadBackdrop;
    QRect m_hoverMark;
    QRect m_selectionMark;
    double m_appearance = 0;
    double m_springResponse = appearResponse, m_springDamping = appearDamping;
    bool m_appeared = false;
};

} // namespace tallymere
