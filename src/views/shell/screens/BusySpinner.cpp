#include "views/shell/screens/BusySpinner.h"

#include <QPainter>

#include <cmath>

namespace tallymere {

BusySpinner::BusySpinner(double diameter, QWidget* parent) : TurningMark(parent), m_diameter(diameter) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize BusySpinner::sizeHint() const {
    const int side = int(std::ceil(m_diameter));
    return {side, side};
}

void BusySpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const double outer = m_diameter / 2, inner = outer * 0.45;
    const double width = std::max(m_diameter / 9, 1.0);
    for (int i = 0; i < steps; ++i) {
        // The newest spoke is the darkest; the ones behind it fade.
        const int age = (step() - i + steps) % steps;
        QColor ink = theme().textSecondary;
        ink.setAlphaF(float(1.0 - 0.75 * age / (steps - 1)));
        painter.setPen(QPen(ink, width, Qt::SolidLine, Qt::RoundCap));
        const double angle = 2 * M_PI * i / steps;
        const QPointF dir(std::sin(angle), -std::cos(angle));
        painter.drawLine(centre + dir * inner, centre + dir * (outer - width / 2));
    }
}

} // namespace tallymere
