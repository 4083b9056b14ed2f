#include "views/tools/snapshots/DeltaList.h"

#include "state/AppState.h"
#include "views/tools/snapshots/DeltaRow.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPaintEvent>

#include <cmath>

namespace tallymere {

DeltaList::DeltaList(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_cursor(this, [this] { return int(rowCount()); }, [this](int row) { return rowRect(std::size_t(row)); }) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // One stop of Tab: the arrows walk the changes, and the context-menu key opens the ringed one's.
    setFocusPolicy(Qt::TabFocus);
    setFixedHeight(0);
}

void DeltaList::setDeltas(const std::vector<SnapshotDelta>* deltas) {
    m_deltas = deltas;
    const std::size_t n = rowCount();
    const double h = n == 0 ? 0 : 2 * inset + double(n) * DeltaRow::height() + double(n - 1) * spacing;
    setFixedHeight(int(std::ceil(h)));
    update();
}

std::size_t DeltaList::rowCount() const { return m_deltas ? std::min(m_deltas->size(), maxRows) : 0; }

QRectF DeltaList::rowRect(std::size_t index) const {
    const double h = DeltaRow::height();
    return {inset, inset + double(index) * (h + spacing), std::max(0.0, width() - 2 * inset), h};
}

QMenu* DeltaList::menuFor(std::size_t index) {
    if (index >= rowCount()) return nullptr;
    const std::string path = (*m_deltas)[index].path;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Reveal in Finder"), this, [this, path] { m_state.desktop().reveal({path}); });
    menu->addAction(QStringLiteral("Copy Path"), this, [this, path] { m_state.desktop().copyText(path); });
    return menu;
}

void DeltaList::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        if (m_cursor.current() < 0) return;
        if (QMenu* menu = menuFor(std::size_t(m_cursor.current()))) menu->popup(m_cursor.menuPoint());
        return;
    }
    for (std::size_t i = 0; i < rowCount(); ++i) {
        if (!rowRect(i).contains(event->pos())) continue;
        if (QMenu* menu = menuFor(i)) menu->popup(event->globalPos());
        return;
    }
}

void DeltaList::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF area = event->rect();
    const double step = DeltaRow::height() + spacing;
    const auto first = static_cast<std::size_t>(std::max(0.0, (area.top() - inset) / step));
    for (std::size_t i = first; i < rowCount(); ++i) {
        const QRectF row = rowRect(i);
        if (row.top() > area.bottom()) break;
        painter.save();
        painter.translate(row.topLeft());
        DeltaRow(theme(), (*m_deltas)[i]).paint(painter, row.width());
        painter.restore();
    }
    m_cursor.paint(painter, theme(), DeltaRow::cornerRadius + ringGap, -ringGap);
}

void DeltaList::keyPressEvent(QKeyEvent* event) {
    if (m_cursor.move(event)) return event->accept();
    ThemedWidget::keyPressEvent(event);
}

} // namespace tallymere
