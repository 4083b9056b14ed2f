#include "views/tools/applications/AppLoadSpinner.h"

#include <QPainter>

namespace tallymere {

namespace {
constexpr int steps = 12;
}

AppLoadSpinner::AppLoadSpinner(QWidget* parent) : ThemedWidget(parent) {
    setFixedSize(16, 16);
    m_timer.setInterval(1000 / steps);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % steps;
        update();
    });
}

void AppLoadSpinner::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    m_timer.start();
}

void AppLoadSpinner::hideEvent(QHideEvent* event) {
    ThemedWidget::hideEvent(event);
    m_timer.stop();
}

void AppLoadSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(theme().textTertiary, 2, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    const QRectF ring = QRectF(rect()).adjusted(2, 2, -2, -2);
    painter.drawArc(ring, -m_step * (360 / steps) * 16, 270 * 16);
}

} // namespace tallymere
