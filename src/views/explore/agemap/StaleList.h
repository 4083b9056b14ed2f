#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"
#include "views/components/controls/RowCursor.h"

#include <QRectF>

#include <vector>

namespace tallymere {

// The rows of the big-and-untouched list, painted: the node's glyph, its name over its age ("3
// years ago"), its size, and a toggle that stages or unstages it ("plus.circle", or
// "checkmark.circle.fill" in `danger` while staged). The row under the pointer gets a rounded
// surfaceRaised backdrop; that is all hovering does (the store's hover stays untouched). A click on
// the toggle goes through AppState::toggleQueue; a secondary click opens the node's menu; the rest
// of a row takes no clicks.
//
// By keyboard the rows are one stop of Tab, walked by the arrows and ringed inside the row; the
// context-menu key opens the ringed row's menu, and Right reaches its toggle, which Space or Return
// press as a click does.
class StaleList : public ThemedWidget {
    Q_OBJECT
public:
    explicit StaleList(AppState& state, QWidget* parent = nullptr);

    // The nodes of the tree `keeper` belongs to, which the list holds alive.
    void setNodes(AppState::NodePtr keeper, std::vector<const FileNode*> nodes);
    const std::vector<const FileNode*>& nodes() const { return m_nodes; }
    // A held pointer to a listed node, for the store.
    AppState::NodePtr held(const FileNode* node) const;

    static constexpr double rowSpacing = 2;
    static double rowHeight();

    QRectF rowRect(std::size_t index) const;
    QRectF toggleRect(std::size_t index) const;
    int rowAt(QPointF point) const;
    QString ageText(const FileNode& node) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void paintRow(QPainter& painter, std::size_t index) const;
    void setHoveredRow(int row);

    AppState& m_state;
    AppState::NodePtr m_keeper;
    std::vector<const FileNode*> m_nodes;
    int m_hoveredRow = -1;
    RowCursor m_cursor;
};

} // namespace tallymere
