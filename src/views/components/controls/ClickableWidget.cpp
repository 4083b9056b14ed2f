#include "views/components/controls/ClickableWidget.h"

#include <QMouseEvent>
#include <QPointer>

namespace tallymere {

ClickableWidget::ClickableWidget(std::function<void()> action, QWidget* parent)
    : ThemedWidget(parent), m_action(std::move(action)) {}

void ClickableWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mousePressEvent(event);
    m_pressed = true;
    update();
}

void ClickableWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed) return ThemedWidget::mouseReleaseEvent(event);
    m_pressed = false;
    update();
    if (!rect().contains(event->position().toPoint())) return;
    // The action may tear this component down (a view rebuilding itself): touch nothing after it.
    const QPointer<ClickableWidget> alive(this);
    emit clicked();
    if (!alive || !m_action) return;
    // A copy, so an action that replaces the component's action still runs to its end.
    const std::function<void()> action = m_action;
    action();
}

} // namespace tallymere
