#include "views/tools/snapshots/SnapshotList.h"

#include "views/tools/snapshots/SnapshotRow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>

#include <cmath>

namespace tallymere {

SnapshotList::SnapshotList(QWidget* parent)
    : ThemedWidget(parent),
      m_cursor(this, [this] { return m_snapshots ? int(m_snapshots->size()) : 0; },
               [this](int row) { return rowRect(std::size_t(row)); }) {
    setMouseTracking(true);
    // One stop of Tab: the arrows walk the rows, Space or Return picks the ringed one, and its
    // delete button is reached with Right.
    setFocusPolicy(Qt::TabFocus);
    m_cursor.setButton([this](int row) { return deleteRect(std::size_t(row)); }, 100,
                       [this](int row) { emit deleteRequested(std::size_t(row)); });
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFixedHeight(0);
}

void SnapshotList::setSnapshots(const std::vector<Snapshot>* snapshots, Role role) {
    m_snapshots = snapshots;
    m_role = std::move(role);
    m_hovered.reset();
    if (m_hoveredId && m_snapshots)
        for (std::size_t i = 0; i < m_snapshots->size(); ++i)
            if ((*m_snapshots)[i].id == *m_hoveredId) m_hovered = i;
    if (!m_hovered) m_hoveredId.reset();
    const std::size_t n = m_snapshots ? m_snapshots->size() : 0;
    const double h = n == 0 ? 0 : 2 * inset + double(n) * SnapshotRow::height() + double(n - 1) * spacing;
    setFixedHeight(int(std::ceil(h)));
    m_cursor.rowsChanged();
    update();
}

QRectF SnapshotList::rowRect(std::size_t index) const {
    const double h = SnapshotRow::height();
    return {inset, inset + double(index) * (h + spacing), std::max(0.0, width() - 2 * inset), h};
}

QRectF SnapshotList::deleteRect(std::size_t index) const {
    if (!m_snapshots || index >= m_snapshots->size()) return {};
    const QRectF row = rowRect(index);
    return SnapshotRow(theme(), (*m_snapshots)[index], std::nullopt, true).deleteRect(row.width()).translated(row.topLeft());
}

std::optional<std::size_t> SnapshotList::rowAt(QPointF point) const {
    if (!m_snapshots || point.y() < inset) return std::nullopt;
    const auto index = static_cast<std::size_t>((point.y() - inset) / (SnapshotRow::height() + spacing));
    if (index >= m_snapshots->size() || !rowRect(index).contains(point)) return std::nullopt;
    return index;
}

void SnapshotList::setHovered(std::optional<std::size_t> index) {
    if (index && (!m_snapshots || *index >= m_snapshots->size())) index.reset();
    if (index == m_hovered) return;
    m_hovered = index;
    m_hoveredId = index ? std::optional<Uuid>((*m_snapshots)[*index].id) : std::nullopt;
    update();
}

void SnapshotList::mouseMoveEvent(QMouseEvent* event) { setHovered(rowAt(event->position())); }

void SnapshotList::leaveEvent(QEvent* event) {
    ThemedWidget::leaveEvent(event);
    setHovered(std::nullopt);
}

void SnapshotList::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const auto index = rowAt(event->position());
    if (!index) return;
    // The delete button is there only while the row is hovered; its click does not pick the row.
    m_cursor.setCurrent(int(*index));
    if (m_hovered == index && deleteRect(*index).contains(event->position())) emit deleteRequested(*index);
    else emit picked(*index);
}

void SnapshotList::paintEvent(QPaintEvent* event) {
    if (!m_snapshots) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF area = event->rect();
    for (std::size_t i = 0; i < m_snapshots->size(); ++i) {
        const QRectF row = rowRect(i);
        if (row.bottom() < area.top()) continue;
        if (row.top() > area.bottom()) break;
        const Snapshot& snapshot = (*m_snapshots)[i];
        painter.save();
        painter.translate(row.topLeft());
        // The row the keyboard is on shows its delete button, as a hovered one does.
        const bool hovering = m_hovered == i || ((hasFocus() || m_cursor.onButton()) && m_cursor.current() == int(i));
        SnapshotRow(theme(), snapshot, m_role ? m_role(snapshot) : std::nullopt, hovering).paint(painter, row.width());
        painter.restore();
    }
    // A row has an edge of its own: the ring takes its place, as on a button.
    m_cursor.paint(painter, theme(), SnapshotRow::cornerRadius);
}

bool SnapshotList::event(QEvent* event) {
    if (RowCursor::takeKey(event, Qt::Key_Space)) return true;
    return ThemedWidget::event(event);
}

void SnapshotList::keyPressEvent(QKeyEvent* event) {
    if (m_cursor.move(event)) return event->accept();
    const int row = m_cursor.current();
    const bool plain = !(event->modifiers() & ~Qt::KeypadModifier);
    switch (plain && row >= 0 ? event->key() : 0) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: emit picked(std::size_t(row)); return event->accept();
    default: ThemedWidget::keyPressEvent(event);
    }
}

} // namespace tallymere
