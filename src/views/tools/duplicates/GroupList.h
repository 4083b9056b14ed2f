#pragma once
// Qt first: moc cannot parse <compare>, which the engine headers reach, unless Qt came before.
#include "views/components/ThemedWidget.h"
#include "base/Uuid.h"
#include "services/DuplicateFinder.h"
#include "views/tools/duplicates/GroupCard.h"

#include <QRectF>

#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace tallymere {

class AppState;

// The results list of the duplicates tab: one card per group, 6 apart, inset 14, as tall as its
// cards (it lives in a scroll area, which gives it its width). Only the cards that meet the
// repainted area are drawn. Which cards are expanded is the list's own state, keyed by group id,
// so it lasts while the groups do and ends with them.
//
// Clicks: a card's header toggles it, its "Keep first" stages every copy but the first, a row's
// reveal button shows the file in the file manager and its queue button stages or unstages it.
//
// Keys: the list is one stop of Tab. Up and Down (Home, End) walk the cards' headers and the rows
// of the open cards, Left and Right the two controls on each (the header and "Keep first"; a row's
// reveal and queue buttons), ringed while the keyboard is here; Space and Return press the ringed
// control as a click does.
class GroupList : public ThemedWidget {
    Q_OBJECT
public:
    explicit GroupList(AppState& state, QWidget* parent = nullptr);

    // Replaces the groups; the expanded set is emptied.
    void setGroups(std::vector<DuplicateFinder::Group> groups);
    const std::vector<DuplicateFinder::Group>& groups() const { return m_groups; }

    bool isExpanded(const Uuid& id) const { return m_expanded.contains(id); }
    void toggle(const Uuid& id);

    // Stages every file of the group after the first, in order, by the queue's rule.
    void stageExtras(std::size_t group);

    // The card of a group in list coordinates.
    QRectF cardRect(std::size_t group) const;

    static constexpr double spacing = 6;
    static constexpr double inset = 14;

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    // The tooltip of the part under a point: only "Keep first" has one.
    QString toolTipAt(QPointF point) const;

    // The keyboard's place: a card's header (file -1) or one of its rows, and which of the two
    // controls there (0 the header or a row's reveal button, 1 "Keep first" or the queue button).
    struct Cursor {
        std::size_t group = 0;
        int file = -1;
        int part = 0;
        friend bool operator==(const Cursor&, const Cursor&) = default;
    };
    const Cursor& cursor() const { return m_cursor; }
    // The control the keyboard is on, in list coordinates; empty without groups.
    QRectF cursorRect() const;
    // Its rectangle is the list's cursor: a scroll area bringing the list into view as the
    // keyboard comes brings that control, not the middle of a list taller than it.
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void relayout();
    // The card under a point and the part of it hit; none outside the cards.
    std::optional<std::pair<std::size_t, GroupCard::Hit>> hitAt(QPointF point) const;
    // Does what a click on that part of that card does.
    void act(std::size_t index, const GroupCard::Hit& hit);
    GroupCard::Hit cursorHit() const;
    // Moves the cursor one item (a header or a row) up or down, or to the first or last.
    void moveItem(int step);
    // Holds the cursor to the cards and rows shown now.
    void holdCursor();

    AppState& m_state;
    std::vector<DuplicateFinder::Group> m_groups;
    std::set<Uuid> m_expanded;
    std::vector<double> m_tops; // card tops, one more entry than cards (the end)
    std::optional<std::pair<std::size_t, GroupCard::Hit>> m_pressed;
    Cursor m_cursor;
};

} // namespace tallymere
