#include "views/tools/duplicates/GroupList.h"

#include "state/AppState.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/RowCursor.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QToolTip>

#include <algorithm>
#include <climits>

namespace tallymere {

GroupList::GroupList(AppState& state, QWidget* parent) : ThemedWidget(parent), m_state(state) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Tab and a click give it the keyboard; the ring shows only for the keyboard.
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow(this);
    // Every queue change, wherever it is made, can flip a row's queue symbol.
    connect(&m_state, &AppState::queueChanged, this, qOverload<>(&QWidget::update));
    relayout();
}

void GroupList::setGroups(std::vector<DuplicateFinder::Group> groups) {
    m_groups = std::move(groups);
    m_expanded.clear();
    m_pressed.reset();
    m_cursor = {};
    relayout();
}

void GroupList::toggle(const Uuid& id) {
    if (!m_expanded.erase(id)) m_expanded.insert(id);
    holdCursor();
    relayout();
}

void GroupList::stageExtras(std::size_t group) {
    if (group >= m_groups.size()) return;
    m_state.stageExtras(m_groups[group]);
}

QRectF GroupList::cardRect(std::size_t group) const {
    if (group + 1 >= m_tops.size()) return {};
    return {inset, m_tops[group], std::max(0.0, width() - 2 * inset), m_tops[group + 1] - spacing - m_tops[group]};
}

int GroupList::heightForWidth(int) const { return m_tops.empty() ? 0 : int(std::ceil(m_tops.back() - spacing + inset)); }

QSize GroupList::sizeHint() const { return {480, heightForWidth(width())}; }

void GroupList::relayout() {
    m_tops.clear();
    double y = inset;
    for (const auto& group : m_groups) {
        m_tops.push_back(y);
        y += GroupCard(theme(), group, isExpanded(group.id)).height() + spacing;
    }
    m_tops.push_back(y);
    const int h = m_groups.empty() ? 0 : heightForWidth(width());
    if (height() != h) setFixedHeight(h);
    updateGeometry();
    update();
}

void GroupList::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    update();
}

void GroupList::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QRectF area = event->rect();
    // The first card that reaches into the repainted area; cards above it are skipped unread.
    auto first = std::upper_bound(m_tops.begin(), m_tops.end(), area.top()) - m_tops.begin();
    const auto isQueued = [this](const FileNode& node) { return m_state.isQueued(&node); };
    for (std::size_t i = first > 0 ? std::size_t(first - 1) : 0; i < m_groups.size(); ++i) {
        const QRectF card = cardRect(i);
        if (card.top() > area.bottom()) break;
        if (card.bottom() < area.top()) continue;
        painter.save();
        painter.translate(card.topLeft());
        GroupCard(theme(), m_groups[i], isExpanded(m_groups[i].id)).paint(painter, card.width(), isQueued);
        painter.restore();
    }
    if (FocusRing::shown(this) && !m_groups.empty()) {
        const QRectF ringed = cursorRect();
        const double radius = m_cursor.file < 0 && m_cursor.part == 0 ? GroupCard::cornerRadius
                                                                       : ShapePaint::capsuleRadius(ringed);
        FocusRing::paint(painter, ringed, radius, theme());
    }
}

std::optional<std::pair<std::size_t, GroupCard::Hit>> GroupList::hitAt(QPointF point) const {
    auto after = std::upper_bound(m_tops.begin(), m_tops.end(), point.y()) - m_tops.begin();
    if (after == 0) return std::nullopt;
    const auto index = static_cast<std::size_t>(after - 1);
    if (index >= m_groups.size()) return std::nullopt;
    const QRectF card = cardRect(index);
    const GroupCard::Hit hit =
        GroupCard(theme(), m_groups[index], isExpanded(m_groups[index].id)).hitTest(card.width(), point - card.topLeft());
    if (hit.kind == GroupCard::Hit::Kind::none) return std::nullopt;
    return std::make_pair(index, hit);
}

QString GroupList::toolTipAt(QPointF point) const {
    const auto hit = hitAt(point);
    return hit && hit->second.kind == GroupCard::Hit::Kind::keepFirst
               ? QStringLiteral("Stage every copy except the first for cleanup")
               : QString();
}

bool GroupList::event(QEvent* event) {
    // Space presses the ringed control rather than previewing the selection.
    if (RowCursor::takeKey(event, Qt::Key_Space)) return true;
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return ThemedWidget::event(event);
}

void GroupList::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton ? hitAt(event->position()) : std::nullopt;
    event->accept();
}

void GroupList::mouseReleaseEvent(QMouseEvent* event) {
    const auto pressed = std::exchange(m_pressed, std::nullopt);
    if (event->button() != Qt::LeftButton || !pressed || hitAt(event->position()) != pressed) return;
    const auto [index, hit] = *pressed;
    // The keyboard goes on from what was clicked.
    const bool onRow = hit.kind == GroupCard::Hit::Kind::reveal || hit.kind == GroupCard::Hit::Kind::queue;
    m_cursor = {index, onRow ? int(hit.file) : -1,
                hit.kind == GroupCard::Hit::Kind::keepFirst || hit.kind == GroupCard::Hit::Kind::queue ? 1 : 0};
    act(index, hit);
}

void GroupList::act(std::size_t index, const GroupCard::Hit& hit) {
    const auto& group = m_groups[index];
    switch (hit.kind) {
    case GroupCard::Hit::Kind::header: toggle(group.id); break;
    case GroupCard::Hit::Kind::keepFirst: stageExtras(index); break;
    case GroupCard::Hit::Kind::reveal: m_state.desktop().reveal({group.files[hit.file]->path()}); break;
    case GroupCard::Hit::Kind::queue: m_state.toggleCopy(group, hit.file); break;
    case GroupCard::Hit::Kind::none: break;
    }
}

GroupCard::Hit GroupList::cursorHit() const {
    using Kind = GroupCard::Hit::Kind;
    if (m_cursor.file < 0) return {m_cursor.part == 0 ? Kind::header : Kind::keepFirst, 0};
    return {m_cursor.part == 0 ? Kind::reveal : Kind::queue, std::size_t(m_cursor.file)};
}

QRectF GroupList::cursorRect() const {
    if (m_cursor.group >= m_groups.size()) return {};
    const QRectF card = cardRect(m_cursor.group);
    const GroupCard shape(theme(), m_groups[m_cursor.group], isExpanded(m_groups[m_cursor.group].id));
    const double w = card.width();
    // The header is ringed inside its edge; the small controls a little outside theirs.
    QRectF r;
    if (m_cursor.file < 0 && m_cursor.part == 0) r = shape.headerRect(w);
    else if (m_cursor.file < 0) r = shape.keepFirstRect(w).adjusted(-3, -3, 3, 3);
    else if (m_cursor.part == 0) r = shape.revealRect(w, std::size_t(m_cursor.file)).adjusted(-3, -3, 3, 3);
    else r = shape.queueRect(w, std::size_t(m_cursor.file)).adjusted(-3, -3, 3, 3);
    return r.translated(card.topLeft());
}

QVariant GroupList::inputMethodQuery(Qt::InputMethodQuery query) const {
    if (query == Qt::ImCursorRectangle && !m_groups.empty()) return cursorRect().toAlignedRect();
    return ThemedWidget::inputMethodQuery(query);
}

void GroupList::holdCursor() {
    if (m_groups.empty()) {
        m_cursor = {};
        return;
    }
    m_cursor.group = std::min(m_cursor.group, m_groups.size() - 1);
    const auto& group = m_groups[m_cursor.group];
    if (!isExpanded(group.id) || m_cursor.file >= int(group.files.size())) m_cursor.file = -1;
    m_cursor.part = std::clamp(m_cursor.part, 0, 1);
}

void GroupList::moveItem(int step) {
    // Every header and every row of an open card, in order: the index of an item is its place here.
    std::vector<Cursor> items;
    for (std::size_t g = 0; g < m_groups.size(); ++g) {
        items.push_back({g, -1, 0});
        if (isExpanded(m_groups[g].id))
            for (std::size_t f = 0; f < m_groups[g].files.size(); ++f) items.push_back({g, int(f), 0});
    }
    if (items.empty()) return;
    const auto here = std::find(items.begin(), items.end(), Cursor{m_cursor.group, m_cursor.file, 0});
    const int now = here == items.end() ? 0 : int(here - items.begin());
    const int last = int(items.size()) - 1;
    const int target = step == INT_MIN ? 0 : step == INT_MAX ? last : std::clamp(now + step, 0, last);
    const int part = m_cursor.part;
    m_cursor = items[std::size_t(target)];
    m_cursor.part = part;
}

void GroupList::keyPressEvent(QKeyEvent* event) {
    if (m_groups.empty() || (event->modifiers() & ~Qt::KeypadModifier)) return ThemedWidget::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_Up: moveItem(-1); break;
    case Qt::Key_Down: moveItem(1); break;
    case Qt::Key_Home: moveItem(INT_MIN); break;
    case Qt::Key_End: moveItem(INT_MAX); break;
    case Qt::Key_Left: m_cursor.part = 0; break;
    case Qt::Key_Right: m_cursor.part = 1; break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: act(m_cursor.group, cursorHit()); break;
    default: return ThemedWidget::keyPressEvent(event);
    }
    event->accept();
    // Bring the ringed control into the scroll area's view.
    for (QWidget* w = parentWidget(); w && !w->isWindow(); w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) {
            const QRectF r = cursorRect();
            const QPoint centre = mapTo(area->widget(), r.center().toPoint());
            area->ensureVisible(centre.x(), centre.y(), 0, int(r.height() / 2) + 8);
            break;
        }
    update();
}

} // namespace tallymere
