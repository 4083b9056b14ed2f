#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"
#include "views/components/controls/RowCursor.h"

#include <QRectF>

#include <vector>

namespace tallymere {

// The ranked rows of Top Sizes, painted (only the rows in view are drawn). Each row is 30 high
// (a 28-high bar and 1 above and below), 3 apart, inset 16 left and right, with 16 below the last:
// the rank, the node's glyph, the bar with the name (and the cloud mark), the file count, the share
// of the displayed tree and the size. The bar is as long as the row's size relative to the first
// row's, at least 3.
//
// Pointer input goes through NodeInteraction: moving over a row hovers its node, a click selects
// it, a double click drills into a folder with children or reveals anything else, a secondary
// click opens the node's menu. Off the rows (the side insets, the gaps, below the last) clicks and
// secondary clicks do nothing: the selection stays. The row under the pointer gets a rounded
// `surface` backdrop.
//
// By keyboard the rows are one stop of Tab, walked by the arrows and ringed round the row: Space
// selects the ringed row as a click does, Return opens it as a double click does, and the
// context-menu key opens its menu.
class BarsList : public ThemedWidget {
    Q_OBJECT
public:
    explicit BarsList(AppState& state, QWidget* parent = nullptr);

    // Shows `rows` (nodes of the tree `keeper` belongs to, which the list holds alive).
    void setRows(AppState::NodePtr keeper, std::vector<const FileNode*> rows);
    const std::vector<const FileNode*>& rows() const { return m_rows; }

    static constexpr double rowHeight = 30;
    static constexpr double rowSpacing = 3;
    static constexpr double sideInset = 16;
    static constexpr double bottomInset = 16;
    static constexpr double minimumBarWidth = 3;

    // Where row `index` is drawn and where its parts go, in list coordinates.
    QRectF rowRect(std::size_t index) const;
    QRectF trackRect(std::size_t index) const;
    QRectF barRect(std::size_t index) const;
    // The room for the name over the bar, and the "In iCloud" chip after the name (empty when the
    // row has none).
    QRectF nameRect(std::size_t index) const;
    QRectF cloudChipRect(std::size_t index) const;
    // The row under a point; -1 between rows and below the last.
    int rowAt(QPointF point) const;
    int hoveredRow() const { return m_hoveredRow; }

    // Texts of a row as drawn: file count, share and size.
    QString countText(const FileNode& node) const;
    QString shareText(const FileNode& node) const;
    QString sizeText(const FileNode& node) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void paintRow(QPainter& painter, std::size_t index) const;
    void setHoveredRow(int row);

    AppState& m_state;
    AppState::NodePtr m_keeper;
    std::vector<const FileNode*> m_rows;
    std::int64_t m_maxValue = 0;
    int m_hoveredRow = -1;
    RowCursor m_cursor;
};

} // namespace tallymere
