#pragma once
#include "state/AppState.h"
#include "style/Theme.h"
#include "views/explore/table/TableColumns.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QRectF>

#include <array>

#include <vector>

namespace tallymere {

class ItemButton;

// The scrolling lines of the table: one line a node, in the order given, painted only where the
// viewport shows them, so 5,000 lines cost what one screen costs. Each line shows the name with
// its symbol, the size, the item count, the kind, the age and the cleanup toggle, in the columns
// of TableColumns.
//
// Entering a line hovers its node in the store (leaving keeps it); a click selects it; a double
// click opens a folder or package with children and reveals anything else; the toggle stages or
// unstages the node without selecting it; a secondary click opens the node's context menu.
//
// The lines are a stop of Tab; while they hold the keyboard they are ringed and the selected line
// is marked, unless a click gave them the keyboard and no key has been used since. Up and Down, Page Up and Page Down, Home and End then move the selection through the
// lines and scroll it into view; Return opens the selected line as a double click does, and the
// context-menu key opens the selected line's menu. Right reaches the selected line's toggle, which
// Space or Return press as a click does; Left, Escape and the keys that walk the lines go back.
class TableBody : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TableBody(AppState& state, QWidget* parent = nullptr);

    void setTheme(const Theme& theme);
    // The nodes must stay alive while shown: the table holds the folder they belong to.
    void setRows(std::vector<const FileNode*> rows);
    const std::vector<const FileNode*>& rows() const { return m_rows; }

    // Every line has this height: its tallest cell and 5 above and below.
    static int rowHeight();
    // Geometry in viewport coordinates; -1 for no line.
    int rowAt(QPointF point) const;
    QRectF rowRect(int row) const;
    QRectF toggleRect(int row) const;
    int hoveredRow() const { return m_hover; }
    // The line of the store's selection; -1 when it is not one of the lines.
    int selectedRow() const;
    // How many lines the last paint drew.
    int paintedRows() const { return m_painted; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void updateScrollRange();
    void setHover(int row);
    struct RowPaint {
        double now = 0;
        std::array<TableColumns::Span, 6> spans{};
        QFont nameFont, sizeFont, detailFont;
    };
    void paintRow(QPainter& painter, int row, const QRectF& rect, const RowPaint& shared, bool marked);
    // Drills into a folder or package with children; reveals anything else.
    void open(int row);
    void scrollToRow(int row);
    // Lays the toggle's stop over the selected line's toggle; a stop holding the keyboard on a
    // line no longer shown hands it back to the lines.
    void placeToggleKey();

    AppState& m_state;
    Theme m_theme;
    std::vector<const FileNode*> m_rows;
    int m_hover = -1;
    // The node this table last handed the store as hovered.
    const FileNode* m_published = nullptr;
    int m_pressedToggle = -1;
    int m_painted = 0;
    // The keyboard's stop on the selected line's toggle, reached with Right.
    ItemButton* m_toggleKey;
};

} // namespace tallymere
