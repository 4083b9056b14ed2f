#include "views/shell/sidebar/SidebarRow.h"

#include "views/components/canvas/ShapePaint.h"

#include <QPainter>

namespace tallymere {

SidebarRow::SidebarRow(QWidget* parent) : ClickableWidget({}, parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SidebarRow::beginPaint(QPainter& painter, double radius, const QColor& hoverFill) const {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (m_hovering) ShapePaint::fillRounded(painter, QRectF(rect()), radius, hoverFill);
    if (isPressed()) painter.setOpacity(pressedOpacity);
}

void SidebarRow::enterEvent(QEnterEvent* event) {
    m_hovering = true;
    update();
    ClickableWidget::enterEvent(event);
}

void SidebarRow::leaveEvent(QEvent* event) {
    m_hovering = false;
    update();
    ClickableWidget::leaveEvent(event);
}

} // namespace tallymere
