#include "views/components/controls/TurningMark.h"

#include <QVariantAnimation>

namespace tallymere {

TurningMark::TurningMark(QWidget* parent) : ThemedWidget(parent), m_turn(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_turn->setStartValue(0);
    m_turn->setEndValue(steps);
    m_turn->setDuration(1000);
    m_turn->setLoopCount(-1);
    connect(m_turn, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const int step = value.toInt() % steps;
        if (step == m_step) return;
        m_step = step;
        update();
    });
}

void TurningMark::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    m_turn->start();
}

void TurningMark::hideEvent(QHideEvent* event) {
    m_turn->stop();
    ThemedWidget::hideEvent(event);
}

} // namespace tallymere
