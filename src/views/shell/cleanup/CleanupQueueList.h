#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

#include <QRectF>

#include <cstddef>

class QScrollArea;

namespace tallymere {

// The staged items, one row each in queue order, in a scroll area at most 168 high: the item's
// glyph, its name over its full path (shortened at the head so the end stays visible), its size in
// the size mode and a button that unstages that very item. An item the last emptying could not
// move shows the system's message beside its name. Rows sit 1 apart on the column
// background, so the bar's surface shows between them as hairlines; a hairline in `stroke` runs
// along the top. The rows are one stop of Tab: the arrows walk them, ringing one, and Delete
// unstages it; Right reaches its button, which Space or Return press.
class CleanupQueueList : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr int maxHeight = 168;

    explicit CleanupQueueList(AppState& state, QWidget* parent = nullptr);

    // The list's own height: every row, but no more than maxHeight.
    int naturalHeight() const;
    int rowCount() const;
    // A row and its unstage button, in the coordinates of the rows' canvas (see canvas()).
    QRectF rowRect(std::size_t index) const;
    QRectF removeRect(std::size_t index) const;
    QWidget* canvas() const;

    static double rowHeight();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class Rows;

    AppState& m_state;
    QScrollArea* m_scroll;
    Rows* m_rows;
};

} // namespace tallymere
