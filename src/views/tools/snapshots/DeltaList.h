#pragma once
// Qt first: moc cannot parse <compare>, which the engine headers reach, unless Qt came before.
#include "views/components/ThemedWidget.h"
#include "views/components/controls/RowCursor.h"
#include "services/Snapshot.h"

#include <QRectF>

#include <vector>

class QMenu;

namespace tallymere {

class AppState;

// The changes of a comparison: the first 200 as DeltaRows, 2 apart, inset 14, as tall as its rows
// (inside a scroll area). Rows have no click of their own; each offers "Reveal in Finder" and
// "Copy Path" in its context menu, through the desktop of the store. By keyboard the rows are one
// stop of Tab walked by the arrows; the context-menu key opens the ringed row's menu.
class DeltaList : public ThemedWidget {
    Q_OBJECT
public:
    explicit DeltaList(AppState& state, QWidget* parent = nullptr);

    static constexpr std::size_t maxRows = 200;
    static constexpr double spacing = 2;
    static constexpr double inset = 14;

    // Shows the first maxRows of the changes (the list must outlive the rows; it is the tab's).
    void setDeltas(const std::vector<SnapshotDelta>* deltas);
    std::size_t rowCount() const;
    QRectF rowRect(std::size_t index) const;

    // The context menu of a row, parented to the list; the caller shows or triggers it.
    QMenu* menuFor(std::size_t index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    AppState& m_state;
    const std::vector<SnapshotDelta>* m_deltas = nullptr;
    RowCursor m_cursor;
    static constexpr double ringGap = 3; // the ring goes round a row, in the list's inset
};

} // namespace tallymere
