#include "views/tools/duplicates/MiniSlider.h"

#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/SliderKeys.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tallymere {

MiniSlider::MiniSlider(double minimum, double maximum, double value, QWidget* parent)
    : ThemedWidget(parent), m_minimum(minimum), m_maximum(std::max(minimum, maximum)),
      m_value(std::clamp(value, m_minimum, m_maximum)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Tab and a click give it the keyboard. It has no outline of its own: the ring goes round it.
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow(this);
    FocusRing::drawOutside(this, 4, 6);
}

void MiniSlider::keyPressEvent(QKeyEvent* event) {
    const double span = m_maximum - m_minimum;
    const auto value = SliderKeys::target(event->key(), m_value, m_minimum, m_maximum, {span * smallStep, span * pageStep});
    if (!value) return ThemedWidget::keyPressEvent(event);
    setValue(*value);
    event->accept();
}

void MiniSlider::setValue(double value) {
    value = std::clamp(value, m_minimum, m_maximum);
    if (value == m_value) return;
    m_value = value;
    update();
    emit valueChanged(m_value);
}

double MiniSlider::knobX(double value) const {
    const double span = m_maximum - m_minimum;
    const double fraction = span > 0 ? (value - m_minimum) / span : 0;
    const double radius = knobDiameter / 2;
    return radius + fraction * std::max(0.0, width() - knobDiameter);
}

void MiniSlider::followPointer(double x) {
    const double usable = std::max(1.0, width() - knobDiameter);
    const double fraction = std::clamp((x - knobDiameter / 2) / usable, 0.0, 1.0);
    setValue(m_minimum + fraction * (m_maximum - m_minimum));
}

void MiniSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) followPointer(event->position().x());
}

void MiniSlider::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) followPointer(event->position().x());
}

void MiniSlider::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) update();
    ThemedWidget::changeEvent(event);
}

void MiniSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (!isEnabled()) painter.setOpacity(0.5);
    const double midY = height() / 2.0;
    const double radius = knobDiameter / 2;
    const QRectF track(radius, midY - trackHeight / 2, std::max(0.0, width() - knobDiameter), trackHeight);
    ShapePaint::fillRounded(painter, track, trackHeight / 2, theme().stroke);
    const double x = knobX(m_value);
    ShapePaint::fillRounded(painter, QRectF(track.left(), track.top(), x - track.left(), trackHeight), trackHeight / 2,
                            theme().accent);
    const QRectF knob(x - radius, midY - radius, knobDiameter, knobDiameter);
    ShapePaint::fillRounded(painter, knob, radius, theme().surfaceRaised);
    ShapePaint::strokeInside(painter, knob, radius, theme().stroke);
}

} // namespace tallymere
