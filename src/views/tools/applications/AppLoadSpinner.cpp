#include "views/tools/applications/AppLoadSpinner.h"

#include <QPainter>

namespace tallymere {

AppLoadSpinner::AppLoadSpinner(QWidget* parent) : TurningMark(parent) { setFixedSize(16, 16); }

void AppLoadSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(theme().textTertiary, 2, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    const QRectF ring = QRectF(rect()).adjusted(2, 2, -2, -2);
    painter.drawArc(ring, -step() * (360 / steps) * 16, 270 * 16);
}

} // namespace tallymere
