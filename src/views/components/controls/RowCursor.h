#pragma once
#include "style/Theme.h"

#include <QPoint>
#include <QPointer>
#include <QRectF>

#include <functional>

class QEvent;
class QKeyEvent;
class QPainter;
class QWidget;

namespace tallymere {

class ItemButton;

// The keyboard's place in a list its owner paints row by row. The list is one stop of Tab and
// wears the focus ring on its current row while the keyboard is there (not after a click gave it,
// until a key is used); Up and Down, Page Up and Page Down, Home and End move the current row,
// staying put at either end, and scroll it into view in the scroll area around the list. What a
// row does when pressed is the list's own. A button drawn in the rows (setButton) is reached from
// the current row with Right, and only there do Space and Return press it.
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

    // Moves for a key of the list's (Right onto the current row's button); false for any other key,
    // which the list handles itself.
    bool move(const QKeyEvent* event);

    // The button of a row, `rect` in the list's coordinates (empty for a row without one), with
    // corners of `radius`; pressing it runs `press` with its row.
    void setButton(std::function<QRectF(int row)> rect, double radius, std::function<void(int row)> press);
    // Whether the keyboard is on the current row's button.
    bool onButton() const;
    // For the list to call when its rows change: a button that holds the keyboard follows the
    // current row, and where that has none the keyboard goes back to the list.
    void rowsChanged();
    // Whether the list holds the keyboard with its ring showing, on a current row.
    bool shown() const;
    // The ring round the current row, inset by `inset` (outset when negative), with corners of
    // `radius`, when shown; the list calls it last in its paint.
    void paint(QPainter& painter, const Theme& theme, double radius, double inset = 0) const;
    // The same with insets of their own across (x) and down (y): a row whose text runs to its
    // sides is ringed beyond them.
    void paint(QPainter& painter, const Theme& theme, double radius, QPointF inset) const;
    // For a list whose rows run to its own edges: the ring is drawn `outset` round the row, over
    // the widgets around the list, instead of by paint(). Rows that lie against one another keep
    // it inside their top and bottom (`beside`), so it never crosses a neighbour's letters.
    enum class Reach { round, beside };
    void drawOutside(double outset, double radius, Reach reach = Reach::round);
    // Where a menu opened by the keyboard for the current row goes, in global coordinates.
    QPoint menuPoint() const;
    // Scrolls the scroll area around the list so the current row is in view.
    void bringIntoView() const;

    // Takes a key the window would otherwise use as a shortcut (Space for the preview) while the
    // list holds the keyboard; call from the list's event().
    static bool takeKey(QEvent* event, int key);

private:
    void repaint() const;
    void placeButton() const;

    QWidget* m_list;
    Count m_count;
    RowRect m_rowRect;
    int m_current = 0;
    std::function<QRectF(int row)> m_buttonRect;
    double m_buttonRadius = 0;
    QPointer<ItemButton> m_button;
};

} // namespace tallymere
