#pragma once
#include "views/components/ThemedWidget.h"
#include "views/explore/table/TableRows.h"

#include <QRectF>

#include <functional>
#include <vector>

namespace tallymere {

class KeyStop;

// The row of column titles over the table, with the divider under it. The title of the column the
// table is sorted by is in `text` with a chevron for the direction; the others are in textTertiary.
// A click anywhere in a title's cell runs the action with that column; the view decides the order.
// The titles are one stop of Tab, walked by Left and Right; Space and Return act as a click.
class TableHeader : public ThemedWidget {
    Q_OBJECT
public:
    explicit TableHeader(QWidget* parent = nullptr);

    void setSort(TableColumn column, bool ascending);
    void setOnClick(std::function<void(TableColumn)> action) { m_onClick = std::move(action); }
    // Room kept free at the trailing edge, so the titles stay over the lines when a scroll bar
    // narrows them.
    void setTrailingMargin(int margin);

    // The clickable cell of a column.
    QRectF cellRect(TableColumn column) const;
    // The title as drawn in its cell, with the sort chevron of the sorted column.
    QRectF titleRect(TableColumn column) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int columnAt(QPointF point) const;
    void placeStops();

    TableColumn m_sort = TableColumn::size;
    bool m_ascending = false;
    int m_pressed = -1;
    int m_trailingMargin = 0;
    std::function<void(TableColumn)> m_onClick;
    std::vector<KeyStop*> m_stops; // one a column, in order
};

} // namespace tallymere
