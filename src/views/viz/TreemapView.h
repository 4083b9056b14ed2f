#pragma once
#include "layout/LayoutRecords.h"
#include "layout/TreemapLayout.h"
#include "views/components/canvas/LayeredCanvas.h"
#include "views/components/canvas/OutlineStroke.h"
#include "views/components/canvas/TintCache.h"

#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace tallymere {

class NodeInteraction;

// The nested squarified treemap of the focused folder (else the displayed tree): every drawn node a
// rounded tile whose area follows its size, folders with a coloured header band and their name,
// large files with their name and size. Tiles are laid out when the focus, the depth, the size
// mode, the displayed tree or the size changes; the picture is rendered again only for a new
// layout, a colour mode, labels or a theme. The hovered, selected and queued tiles are marked over
// it. Hover, clicks and the context menu come from NodeInteraction with this view's hit test.
class TreemapView : public LayeredCanvas {
    Q_OBJECT
public:
    explicit TreemapView(AppState& state, QWidget* parent = nullptr);

    static constexpr double inset = 10;
    static constexpr int labelBudget = 260;

    // The options a layout of this view uses (depth held to the slider's range, then cut to a whole
    // number).
    static TreemapLayout::Options options(const AppState& state);

    // The tiles laid out last, in drawing-area coordinates, in pre-order.
    const std::vector<LayoutTile>& tiles() const { return m_tiles; }
    // The deepest node drawn at a point of the drawing area (right and bottom edges outside); null
    // off every tile.
    const FileNode* hit(QPointF canvasPoint) const;
    // The rectangle of the last tile showing `node`; none when it has no tile.
    std::optional<QRectF> rectOf(const FileNode* node) const;
    // The rectangles of the tiles whose node is staged, in tile order.
    std::vector<QRectF> queuedRects() const;
    // How many tiles got a name label in the last picture.
    int labelledTiles() const { return m_labelled; }

protected:
    void layoutRecords() override;
    void paintBase(QPainter& painter) override;
    bool fillsBackdrop() const override { return true; }
    void paintMarks(QPainter& painter) override;
    QRegion marksRegion() const override;
    QRegion marksCover() const override;
    void pictureChanging() override { m_tint.releasePicture(); }
    void pictureRendered() override;

private:
    // The hover mark's shape for a tile: its rectangle grown by half a point.
    static QRectF hoverShape(const QRectF& tile) { return tile.adjusted(-0.5, -0.5, 0.5, 0.5); }
    // The hover mark's translucent fill.
    QColor hoverTint() const;

    std::vector<LayoutTile> m_tiles;
    // The last nodes rectOf() looked up and their tiles' places (-1 for none): the hovered and the
    // selected node are looked up several times for each change of marks, and a search from the end
    // of the tiles reaches a large tile last.
    mutable std::array<std::pair<const FileNode*, std::ptrdiff_t>, 2> m_found{};
    NodeInteraction* m_interaction;
    TintCache m_tint; // the hovered tile's fill, laid on the picture
    OutlineStroke m_hoverOutline; // the hovered tile's outline, kept while it stays hovered
    OutlineStroke m_focusOutline; // the focus's own tile's outline, kept for the picture's life
    int m_labelled = 0;
};

} // namespace tallymere
