#include "views/tools/duplicates/GroupList.h"

#include "state/AppState.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace tallymere {

GroupList::GroupList(AppState& state, QWidget* parent) : ThemedWidget(parent), m_state(state) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Every queue change, wherever it is made, can flip a row's queue symbol.
    connect(&m_state, &AppState::queueChanged, this, qOverload<>(&QWidget::update));
    relayout();
}

void GroupList::setGroups(std::vector<DuplicateFinder::Group> groups) {
    m_groups = std::move(groups);
    m_expanded.clear();
    m_pressed.reset();
    relayout();
}

void GroupList::toggle(const Uuid& id) {
    if (!m_expanded.erase(id)) m_expanded.insert(id);
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
    const auto& group = m_groups[index];
    switch (hit.kind) {
    case GroupCard::Hit::Kind::header: toggle(group.id); break;
    case GroupCard::Hit::Kind::keepFirst: stageExtras(index); break;
    case GroupCard::Hit::Kind::reveal: m_state.desktop().reveal({group.files[hit.file]->path()}); break;
    case GroupCard::Hit::Kind::queue: m_state.toggleCopy(group, hit.file); break;
    case GroupCard::Hit::Kind::none: break;
    }
}

} // namespace tallymere
