#pragma once
#include "style/Theme.h"

#include <QPoint>
#include <QRectF>

#include <functional>

class QEvent;
class QKeyEvent;
class QPainter;
class QWidget;

namespace tallymere {

// The keyboard's place in a list its owner paints row by row. The list is one stop of Tab and
// wears the focus ring on its current row while the keyboard is there (not after a click gave it,
// until a key is used); Up and Down, Page Up and Page Down, Home and End move the current row,
// staying put at either end, and scroll it into view in the scroll area around the list. What a
// row does when pressed is the list's own.
class RowCursor {
public:
    using Count = std::function<int()>;
    using RowRect = std::function<QRectF(int row)>;

    // `rowRect` gives a row's rectangle in the list's coordinates.
    RowCursor(QWidget* list, Count count, RowRect rowRect);
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    // The current row, held within the rows; -1 for an empty list.
    int current() const;
    void setCurrent(int row);

    // Moves for a key of the list's; false for any other key, which the list handles itself.
    bool move(const QKeyEvent* event);
    // Whether the list holds the keyboard with its ring showing, on a current row.
    bool shown() const;
    // The ring round the current row, inset by `inset` (outset when negative), with corners of
    // `radius`, when shown; the list calls it last in its paint.
    void paint(QPainter& painter, const Theme& theme, double radius, double inset = 0) const;
    // For a list whose rows run to its own edges: the ring is drawn `outset` round the row, over
    // the widgets around the list, instead of by paint().
    void drawOutside(double outset, double radius);
    // Where a menu opened by the keyboard for the current row goes, in global coordinates.
    QPoint menuPoint() const;
    // Scrolls the scroll area around the list so the current row is in view.
    void bringIntoView() const;

    // Takes a key the window would otherwise use as a shortcut (Space for the preview) while the
    // list holds the keyboard; call from the list's event().
    static bool takeKey(QEvent* event, int key);

private:
    void repaint() const;

    QWidget* m_list;
    Count m_count;
    RowRect m_rowRect;
    int m_current = 0;
};

} // namespace tallymere
