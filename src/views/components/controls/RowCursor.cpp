#include "views/components/controls/RowCursor.h"

#include "views/components/controls/FocusRing.h"
#include "views/components/controls/ItemButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QWidget>

#include <algorithm>

namespace tallymere {

RowCursor::RowCursor(QWidget* list, Count count, RowRect rowRect)
    : m_list(list), m_count(std::move(count)), m_rowRect(std::move(rowRect)) {
    FocusRing::follow(list);
}

int RowCursor::current() const {
    const int count = m_count();
    return count <= 0 ? -1 : std::clamp(m_current, 0, count - 1);
}

void RowCursor::setCurrent(int row) {
    m_current = std::max(row, 0);
    repaint();
}

void RowCursor::repaint() const {
    m_list->update();
    FocusRing::refresh(m_list);
}

bool RowCursor::move(const QKeyEvent* event) {
    if (event->modifiers() & ~Qt::KeypadModifier) return false;
    const int count = m_count();
    const int now = current();
    // A page is the rows the visible part of the list holds, less one kept for context.
    int page = 1;
    if (now >= 0) {
        const QRect seen = m_list->visibleRegion().boundingRect();
        page = std::max(1, int(seen.height() / std::max(1.0, m_rowRect(now).height())) - 1);
    }
    int target = now;
    switch (event->key()) {
    case Qt::Key_Right:
        if (!m_button || now < 0) return false;
        placeButton();
        m_button->enter();
        return true;
    case Qt::Key_Up: target = now - 1; break;
    case Qt::Key_Down: target = now + 1; break;
    case Qt::Key_PageUp: target = now - page; break;
    case Qt::Key_PageDown: target = now + page; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = count - 1; break;
    default: return false;
    }
    if (count > 0) {
        m_current = std::clamp(target, 0, count - 1);
        bringIntoView();
        repaint();
    }
    return true;
}

void RowCursor::setButton(std::function<QRectF(int row)> rect, double radius, std::function<void(int row)> press) {
    m_buttonRect = std::move(rect);
    m_buttonRadius = radius;
    if (!m_button) {
        m_button = new ItemButton({}, m_list, m_list);
        // A list marks the row whose button holds the keyboard as it marks the row that does.
        QObject::connect(qApp, &QApplication::focusChanged, m_button, [list = m_list, button = m_button](QWidget* was, QWidget* now) {
            if (was == button || now == button) list->update();
        });
    }
    m_button->setAction([this, press = std::move(press)] {
        const int row = current();
        if (row < 0) return;
        // The cursor lives as long as its list; a press may take the list away.
        const QPointer<QWidget> list(m_list);
        press(row);
        if (list) rowsChanged();
    });
}

void RowCursor::rowsChanged() {
    if (!onButton()) return;
    placeButton();
    if (m_button->isHidden() && m_list->isVisible()) {
        m_list->setFocus(Qt::OtherFocusReason);
        FocusRing::setShown(m_list, true);
    }
}

bool RowCursor::onButton() const { return m_button && m_button->hasFocus(); }

void RowCursor::placeButton() const {
    if (!m_button) return;
    const int row = current();
    m_button->place(row >= 0 ? m_buttonRect(row) : QRectF(), m_buttonRadius);
}

bool RowCursor::shown() const { return current() >= 0 && FocusRing::shown(m_list); }

void RowCursor::drawOutside(double outset, double radius, Reach reach) {
    const double inside = reach == Reach::beside ? outset : 0;
    FocusRing::drawOutside(m_list, outset, radius, [this, inside] {
        return current() >= 0 ? m_rowRect(current()).adjusted(0, inside, 0, -inside) : QRectF();
    });
}

void RowCursor::paint(QPainter& painter, const Theme& theme, double radius, double inset) const {
    paint(painter, theme, radius, QPointF(inset, inset));
}

void RowCursor::paint(QPainter& painter, const Theme& theme, double radius, QPointF inset) const {
    if (FocusRing::isDrawnOutside(m_list) || !shown()) return;
    FocusRing::paint(painter, m_rowRect(current()).adjusted(inset.x(), inset.y(), -inset.x(), -inset.y()), radius, theme);
}

QPoint RowCursor::menuPoint() const {
    const int row = current();
    const QRectF rect = row >= 0 ? m_rowRect(row) : QRectF(m_list->rect());
    return m_list->mapToGlobal(QPoint(int(rect.left()) + 24, int(rect.bottom())));
}

void RowCursor::bringIntoView() const {
    const int row = current();
    if (row < 0) return;
    for (QWidget* w = m_list->parentWidget(); w && !w->isWindow(); w = w->parentWidget()) {
        auto* area = qobject_cast<QScrollArea*>(w);
        if (!area || !area->widget()) continue;
        if (area->widget() != m_list && !area->widget()->isAncestorOf(m_list)) continue;
        const QRectF rect = m_rowRect(row);
        const QPoint centre = m_list->mapTo(area->widget(), rect.center().toPoint());
        area->ensureVisible(centre.x(), centre.y(), 0, int(rect.height() / 2) + 4);
        return;
    }
}

bool RowCursor::takeKey(QEvent* event, int key) {
    if (event->type() != QEvent::ShortcutOverride) return false;
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    if (keyEvent->key() != key || (keyEvent->modifiers() & ~Qt::KeypadModifier)) return false;
    event->accept();
    return true;
}

} // namespace tallymere
