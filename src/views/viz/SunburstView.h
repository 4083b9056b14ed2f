#pragma once
#include "layout/LayoutRecords.h"
#include "layout/SunburstLayout.h"
#include "views/components/canvas/KeptMarks.h"
#include "views/components/canvas/LayeredCanvas.h"

#include <QPainterPath>

#include <vector>

namespace tallymere {

class NodeInteraction;
class SunburstCenter;

// The focused folder (else the displayed tree) as rings around a central disc: ring n holds the
// nodes n levels below it, each node's angle its share of its parent's. The rings are laid out
// when the focus, the depth, the size mode, the displayed tree or the size changes, and rendered
// again only for a new layout, a colour mode, labels or a theme; the hovered and selected segments
// are outlined over them, and the centre names the hovered node (else the focus) with a button one
// folder up. Hover, clicks and the context menu come from NodeInteraction with the polar hit test.
class SunburstView : public LayeredCanvas {
    Q_OBJECT
public:
    explicit SunburstView(AppState& state, QWidget* parent = nullptr);

    static constexpr double inset = 14;
    static constexpr int labelBudget = 90;

    // The options a layout of this view uses: at least 3 rings, else the depth (held to the
    // slider's range) cut to a whole number.
    static SunburstLayout::Options options(const AppState& state);
    // The outer radius for a drawing area: half its short side less 6.
    static double radiusFor(QSizeF canvasSize) { return std::min(canvasSize.width(), canvasSize.height()) * 0.5 - 6; }

    const std::vector<LayoutArc>& arcs() const { return m_arcs; }
    // The centre of the rings in drawing-area coordinates.
    QPointF center() const;
    // The node whose segment holds a point of the drawing area; the central disc hits nothing.
    const FileNode* hit(QPointF canvasPoint) const;
    // The ring segment of an arc around `center` (the whole disc for the central record).
    static QPainterPath segmentPath(const LayoutArc& arc, QPointF center);
    // The smallest rectangle holding that segment.
    static QRectF segmentBounds(const LayoutArc& arc, QPointF center);
    SunburstCenter* centerReadout() const { return m_center; }
    // How many arcs used the label budget in the last picture.
    int labelCandidates() const { return m_candidates; }
    // How many times the hovered disc's marks were drawn when hovered rather than made beforehand.
    int discMarksMadeOnHover() const { return m_discMarks.madeOnDemand(); }

protected:
    void layoutRecords() override;
    void paintBase(QPainter& painter) override;
    bool fillsBackdrop() const override { return true; }
    void paintMarks(QPainter& painter) override;
    QRegion marksRegion() const override;
    QRegion marksCover() const override;
    void pictureRendered() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The marks with the central disc hovered and `selected` (null for none) selected, over the
    // disc's area of the picture: what tells them apart and how they are drawn.
    KeptMarks::Key discMarksKey(const LayoutArc* selected) const;
    KeptMarks::Draw discMarksDraw(const LayoutArc* selected) const;
    // Whether the hovered node's marks are copied from the kept ones.
    bool hoverIsKept() const;

    std::vector<LayoutArc> m_arcs;
    NodeInteraction* m_interaction;
    SunburstCenter* m_center = nullptr;
    int m_candidates = 0;
    KeptMarks m_discMarks;
};

} // namespace tallymere
