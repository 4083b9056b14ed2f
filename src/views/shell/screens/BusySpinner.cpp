#include "views/shell/screens/BusySpinner.h"

#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace tallymere {

namespace {
constexpr int spokes = 12;
constexpr int turnMs = 1000;
} // namespace

BusySpinner::BusySpinner(double diameter, QWidget* parent)
    : ThemedWidget(parent), m_diameter(diameter), m_turn(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_turn->setStartValue(0);
    m_turn->setEndValue(spokes);
    m_turn->setDuration(turnMs);
    m_turn->setLoopCount(-1);
    connect(m_turn, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const int step = value.toInt() % spokes;
        if (step == m_step) return;
        m_step = step;
        update();
    });
}

QSize BusySpinner::sizeHint() const {
    const int side = int(std::ceil(m_diameter));
    return {side, side};
}

void BusySpinner::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    m_turn->start();
}

void BusySpinner::hideEvent(QHideEvent* event) {
    m_turn->stop();
    ThemedWidget::hideEvent(event);
}

void BusySpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const double outer = m_diameter / 2, inner = outer * 0.45;
    const double width = std::max(m_diameter / 9, 1.0);
    for (int i = 0; i < spokes; ++i) {
        // The newest spoke is the darkest; the ones behind it fade.
        const int age = (m_step - i + spokes) % spokes;
        QColor ink = theme().textSecondary;
        ink.setAlphaF(float(1.0 - 0.75 * age / (spokes - 1)));
        painter.setPen(QPen(ink, width, Qt::SolidLine, Qt::RoundCap));
        const double angle = 2 * M_PI * i / spokes;
        const QPointF dir(std::sin(angle), -std::cos(angle));
        painter.drawLine(centre + dir * inner, centre + dir * (outer - width / 2));
    }
}

} // namespace tallymere
