#pragma once
#include "layout/CirclePackLayout.h"
#include "layout/LayoutRecords.h"
#include "state/AppState.h"
#include "views/components/canvas/KeptStroke.h"
#include "views/components/canvas/PreparedHover.h"
#include "views/components/ThemedWidget.h"
#include "views/components/canvas/TintCache.h"
#include "views/components/canvas/TintedDisc.h"
#include "views/viz/VizSurface.h"

#include <array>
#include <memory>
#include <vector>

namespace tallymere {

// The tree on display as nested bubbles: the focused folder (or the displayed root) is one large
// circle, each larger child a circle packed inside it, five levels deep, with labels on the larger
// bubbles and rings on the hovered and selected ones. Queued items are not marked here.
//
// Lays out when the focus, the displayed root, the size mode or its size changes; the colour mode,
// labels and theme only redraw the cached bubbles; hover and selection only repaint two rings.
class PackView : public ThemedWidget {
    Q_OBJECT
public:
    // Margin around the canvas on every edge.
    static constexpr int margin = 16;

    explicit PackView(AppState& state, QWidget* parent = nullptr);

    // Lets go of the folders packed for the next pack view (a new scan makes another tree); the
    // view shown keeps its own until it lays out again. Window's thread only.
    static void forgetKeptGroups();

    // The node whose bubble holds a point of the canvas (the surface's coordinates): the deepest,
    // never the start node; null for none.
    const FileNode* nodeAt(QPointF point) const;

    QWidget* canvas() const { return m_surface; }
    const std::vector<LayoutCircle>& circles() const { return m_circles; }
    // Raised by every layout and colour-mode change.
    int revision() const { return m_revision; }
    // How many hover marks of the focus's bubble were taken from those shaped beforehand, for tests.
    int preparedHovers() const { return m_prepared.taken(); }
    // How many hover marks were laid as a tinted disc with its ring, and how many of the focus's
    // were shaped on the window's thread rather than beforehand, for tests.
    int discHovers() const { return m_discHovers; }
    int focusShapedHere() const { return m_focusShapedHere; }
    // How many folders' packings this view holds, its own and those taken over, for tests.
    std::size_t packedFolders() const { return m_groups ? m_groups->size() : 0; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void themeChanged() override;

private:
    void rebuild();
    void redraw();
    void paintCanvas(QPainter& painter, const QRegion& exposed);
    // Lays the hover mark of a large bubble as a tinted disc with its ring, over the picture copied
    // around it, and the highlight's rings; returns false, having painted nothing, where it is not
    // laid so.
    bool layDisc(QPainter& painter, const LayoutCircle& hovered, const LayoutCircle* selected);
    // The area a hover or selection ring of the node's bubble paints in; empty without a bubble.
    QRect markRect(const FileNode* node) const;
    // The hover mark of a bubble.
    PreparedHover::Mark hoverMark(const LayoutCircle& circle) const;

    AppState& m_state;
    VizSurface* m_surface;
    AppState::NodePtr m_start; // keeps the nodes of m_circles alive
    std::vector<LayoutCircle> m_circles;
    // The folders packed so far in the tree topped by m_packedTree (held, so that no node's address
    // is reused while they are kept), in the size mode they were packed in. Shared with the pack
    // views made after this one for the same tree and size mode.
    std::shared_ptr<CirclePackLayout::GroupCache> m_groups;
    AppState::NodePtr m_packedTree;
    bool m_packedAllocated = false;
    int m_revision = 0;
    QSize m_canvasSize;
    // Drawn on this thread: the bubbles spread their own rows over the pool, each band laying its
    // own backdrop first.
    BaseLayer m_base{BaseLayer::Drawing::hereOverItsOwnBackdrop};
    std::unique_ptr<TintCache> m_tint = std::make_unique<TintCache>(); // the hovered bubble's fill, laid on the picture
    std::array<KeptStroke, 2> m_rings; // the selected and the hovered bubble's rings
    // The hover mark of a large bubble: the outline band of its tinted disc, with its ring; the
    // focus's apart, with a ring of its own.
    TintedDisc m_disc;
    TintedDisc m_focusDisc;
    KeptStroke m_focusRing;
    // A mark that could not be laid as a tinted disc, not tried again.
    PreparedHover::Mark m_discFailed;
    int m_discHovers = 0;
    int m_focusShapedHere = 0;
    // The focus's bubble covers most of the canvas: its hover mark is shaped as soon as a picture
    // of a new size or theme is rendered, on another thread.
    PreparedHover m_prepared;
    QRect m_hoverMark;
    QRect m_selectionMark;
};

} // namespace tallymere
