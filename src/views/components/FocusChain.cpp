#include "views/components/FocusChain.h"

#include "views/components/controls/FocusRing.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace tallymere::FocusChain {

namespace {

constexpr auto groupName = "tallymereFocusGroup";
constexpr auto lonerProperty = "tallymereOwnStop";

bool isLoner(const QWidget* w) { return w->property(lonerProperty).toBool(); }

// Marks a group and remembers the member that held the keyboard last.
class GroupMark : public QObject {
public:
    explicit GroupMark(QWidget* container) : QObject(container), m_container(container) {
        setObjectName(QLatin1String(groupName));
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            if (now && m_container->isAncestorOf(now)) current = now;
        });
    }
    QPointer<QWidget> current;

private:
    QWidget* m_container;
};

GroupMark* markOf(const QWidget* widget) {
    return widget ? widget->findChild<GroupMark*>(QLatin1String(groupName), Qt::FindDirectChildrenOnly) : nullptr;
}

bool takesTab(const QWidget* w) {
    return (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && !w->focusProxy() && !qobject_cast<const QScrollBar*>(w) &&
           w->width() > 0 && w->height() > 0;
}

// Widgets in the order a reader meets them: in rows from the top (a widget that starts above the
// lowest edge met so far shares the row), and within a row in columns from the left (a widget that
// starts left of the rightmost edge met so far shares the column), each column read the same way.
// A sidebar's buttons above its list are read before the list, whatever the panes beside them.
std::vector<QWidget*> readBlock(std::vector<QWidget*> items) {
    if (items.size() <= 1) return items;
    auto chains = [](std::vector<QWidget*> sorted, auto start, auto end) {
        std::vector<std::vector<QWidget*>> groups;
        int reach = 0;
        for (QWidget* w : sorted) {
            if (groups.empty() || start(w) > reach) {
                groups.emplace_back();
                reach = end(w);
            }
            groups.back().push_back(w);
            reach = std::max(reach, end(w));
        }
        return groups;
    };
    auto byTop = [](const QWidget* a, const QWidget* b) { return a->geometry().top() < b->geometry().top(); };
    auto byLeft = [](const QWidget* a, const QWidget* b) { return a->geometry().left() < b->geometry().left(); };
    std::stable_sort(items.begin(), items.end(), byTop);
    const auto rows = chains(items, [](const QWidget* w) { return w->geometry().top(); },
                             [](const QWidget* w) { return w->geometry().bottom(); });
    std::vector<QWidget*> ordered;
    ordered.reserve(items.size());
    for (std::vector<QWidget*> row : rows) {
        std::stable_sort(row.begin(), row.end(), byLeft);
        const auto columns = chains(row, [](const QWidget* w) { return w->geometry().left(); },
                                    [](const QWidget* w) { return w->geometry().right(); });
        if (columns.size() == 1) {
            // Laid over one another (a banner over the workspace): the upper first.
            std::stable_sort(row.begin(), row.end(), byTop);
            ordered.insert(ordered.end(), row.begin(), row.end());
            continue;
        }
        for (const std::vector<QWidget*>& column : columns) {
            const std::vector<QWidget*> read = readBlock(column);
            ordered.insert(ordered.end(), read.begin(), read.end());
        }
    }
    return ordered;
}

bool isRead(const QWidget* child, const QWidget* keep) {
    if (child->isWindow()) return false;
    return !child->isHidden() || (keep && (child == keep || child->isAncestorOf(keep)));
}

// Whether `w` or a widget inside it is a stop: one that holds none (a painted strip beside its
// own buttons) has no say in the order of those that do.
bool holdsStop(const QWidget* w, const QWidget* keep) {
    if (takesTab(w) || w == keep) return true;
    for (QObject* object : w->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child && isRead(child, keep) && holdsStop(child, keep)) return true;
    }
    return false;
}

// The children of `parent` a reader meets that hold stops, in reading order. `keep` is read even
// while hidden: the control that holds the keyboard as it goes.
std::vector<QWidget*> readingOrder(const QWidget* parent, const QWidget* keep) {
    std::vector<QWidget*> children;
    for (QObject* object : parent->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child && isRead(child, keep) && holdsStop(child, keep)) children.push_back(child);
    }
    return readBlock(std::move(children));
}

void collect(const QWidget* parent, const QWidget* keep, bool collapseGroups, std::vector<QWidget*>& out);

std::vector<QWidget*> membersOf(QWidget* group, const QWidget* keep) {
    std::vector<QWidget*> inside;
    collect(group, keep, true, inside);
    std::erase_if(inside, isLoner);
    return inside;
}

// The member that is `w` or holds it (a button inside a row), or null.
QWidget* memberHolding(const std::vector<QWidget*>& members, const QWidget* w) {
    if (!w) return nullptr;
    for (QWidget* member : members)
        if (member == w || member->isAncestorOf(w)) return member;
    return nullptr;
}

QWidget* representative(QWidget* group, const QWidget* keep) {
    const std::vector<QWidget*> inside = membersOf(group, keep);
    if (inside.empty()) return nullptr;
    if (QWidget* member = memberHolding(inside, QApplication::focusWidget())) return member;
    if (QWidget* member = memberHolding(inside, keep)) return member;
    const GroupMark* mark = markOf(group);
    if (QWidget* member = mark ? memberHolding(inside, mark->current) : nullptr) return member;
    return inside.front();
}

void collect(const QWidget* parent, const QWidget* keep, bool collapseGroups, std::vector<QWidget*>& out) {
    for (QWidget* child : readingOrder(parent, keep)) {
        if (child->isHidden()) {
            // Read only for the control that holds the keyboard as it goes: what goes with it
            // (the rest of a bar that slides away) is no stop.
            out.push_back(const_cast<QWidget*>(keep));
            continue;
        }
        if (collapseGroups && markOf(child)) {
            // The group stands where its first member does; stops kept out of it stand on their own.
            std::vector<QWidget*> inside;
            collect(child, keep, true, inside);
            QWidget* member = representative(child, keep);
            for (QWidget* stop : inside) {
                if (isLoner(stop)) out.push_back(stop);
                else if (member) out.push_back(std::exchange(member, nullptr));
            }
            continue;
        }
        if (takesTab(child) || child == keep) out.push_back(child);
        collect(child, keep, collapseGroups, out);
    }
}

void give(QWidget* target, Qt::FocusReason reason) {
    target->setFocus(reason);
    bringIntoView(target);
}

} // namespace

std::vector<QWidget*> stops(QWidget* root) {
    std::vector<QWidget*> out;
    if (root) collect(root, nullptr, true, out);
    return out;
}

bool step(QWidget* root, bool forward) {
    if (!root) return false;
    QWidget* focused = QApplication::focusWidget();
    // A control hidden or disabled while it holds the keyboard keeps its place in the order for
    // this one step.
    const bool leaving =
        focused && root->isAncestorOf(focused) && (!focused->isVisibleTo(root) || !focused->isEnabled());
    std::vector<QWidget*> chain;
    collect(root, leaving ? focused : nullptr, true, chain);
    if (leaving) {
        const bool ringed = FocusRing::shown(focused);
        auto at = std::find(chain.begin(), chain.end(), focused);
        std::vector<QWidget*> after(at == chain.end() ? chain.begin() : at + 1, chain.end());
        after.insert(after.end(), chain.begin(), at == chain.end() ? chain.begin() : at);
        if (after.empty()) return false;
        QWidget* next = after.front();
        give(next, Qt::OtherFocusReason);
        FocusRing::setShown(next, ringed);
        return true;
    }
    if (chain.empty()) return false;
    const auto n = std::ptrdiff_t(chain.size());
    std::ptrdiff_t index = -1;
    for (std::ptrdiff_t i = 0; i < n && focused; ++i)
        if (chain[std::size_t(i)] == focused || chain[std::size_t(i)]->isAncestorOf(focused)) index = i;
    std::ptrdiff_t next = 0;
    if (index < 0) next = forward ? 0 : n - 1;
    else next = ((index + (forward ? 1 : -1)) % n + n) % n;
    give(chain[std::size_t(next)], forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void makeGroup(QWidget* container) {
    if (container && !markOf(container)) new GroupMark(container);
}

QWidget* groupOf(const QWidget* widget) {
    for (QWidget* w = widget ? widget->parentWidget() : nullptr; w && !w->isWindow(); w = w->parentWidget())
        if (markOf(w)) return w;
    return nullptr;
}

std::vector<QWidget*> members(QWidget* group) { return group ? membersOf(group, nullptr) : std::vector<QWidget*>{}; }

void keepOutOfGroup(QWidget* stop) {
    if (stop) stop->setProperty(lonerProperty, true);
}

bool stepInGroup(QWidget* member, Move move) {
    QWidget* group = groupOf(member);
    if (!group) return false;
    const std::vector<QWidget*> all = members(group);
    auto at = std::find(all.begin(), all.end(), member);
    if (at == all.end() || all.empty()) return false;
    QWidget* target = member;
    switch (move) {
    case Move::previous: target = at == all.begin() ? member : *(at - 1); break;
    case Move::next: target = at + 1 == all.end() ? member : *(at + 1); break;
    case Move::first: target = all.front(); break;
    case Move::last: target = all.back(); break;
    }
    if (target != member) give(target, Qt::OtherFocusReason);
    FocusRing::setShown(target, true);
    return true;
}

int segmentFor(int key, int current, int count) {
    if (count <= 0) return -1;
    switch (key) {
    case Qt::Key_Left: return current < 0 ? 0 : std::max(current - 1, 0);
    case Qt::Key_Right: return current < 0 ? 0 : std::min(current + 1, count - 1);
    case Qt::Key_Home: return 0;
    case Qt::Key_End: return count - 1;
    default: return -1;
    }
}

void bringIntoView(QWidget* widget) {
    for (QWidget* w = widget ? widget->parentWidget() : nullptr; w && !w->isWindow(); w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) area->ensureWidgetVisible(widget, 0, 8);
}

bool openContextMenu() {
    QWidget* focused = QApplication::focusWidget();
    if (!focused || !focused->isEnabled()) return false;
    // The control places the menu at its current item; the middle of the control stands in until then.
    const QPoint middle = focused->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, middle, focused->mapToGlobal(middle));
    QApplication::sendEvent(focused, &event);
    return true;
}

} // namespace tallymere::FocusChain
