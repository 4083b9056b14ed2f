#include "views/components/controls/DonutGauge.h"

#include "style/Typography.h"
#include "style/Motion.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <cmath>

namespace tallymere {

DonutGauge::DonutGauge(double fraction, const QString& label, const QString& caption, double diameter,
                       std::optional<QColor> tint, QWidget* parent)
    : ThemedWidget(parent), m_fraction(fraction), m_shown(fraction), m_label(label), m_caption(caption),
      m_diameter(std::max(diameter, 0.0)), m_tint(std::move(tint)), m_sweep(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(sizeHint());
    m_sweep->setObjectName(QStringLiteral("sweepAnimation"));
    m_sweep->setDuration(sweepDurationMs);
    m_sweep->setEasingCurve(Motion::easeOut());
    connect(m_sweep, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_shown = value.toDouble();
        update();
    });
}

void DonutGauge::setFraction(double fraction) {
    if (fraction == m_fraction) return;
    m_fraction = fraction;
    m_sweep->stop();
    m_sweep->setStartValue(m_shown);
    m_sweep->setEndValue(fraction);
    m_sweep->start();
}

void DonutGauge::setLabel(const QString& label) {
    m_label = label;
    update();
}

void DonutGauge::setTint(std::optional<QColor> tint) {
    m_tint = std::move(tint);
    update();
}

QColor DonutGauge::ringTint(const Theme& theme, double fraction, const std::optional<QColor>& tint) {
    if (tint) return *tint;
    if (fraction > 0.92) return theme.danger;
    if (fraction > 0.78) return theme.warning;
    return theme.accentSecondary;
}

double DonutGauge::trimmed(double fraction) {
    // NaN is treated as empty rather than reaching the arc arithmetic.
    if (!(fraction == fraction)) return 0.001;
    return std::max(std::min(fraction, 1.0), 0.001);
}

QFont DonutGauge::labelFont() { return Typography::font(15, QFont::Bold); }
QFont DonutGauge::captionFont() { return Typography::font(8, QFont::DemiBold); }

void DonutGauge::paintRing(QPainter& painter, const QRectF& circle, const Theme& theme, double shownFraction,
                           const QColor& ring, const QString& label, const QString& caption) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(theme.surfaceRaised, lineWidth, Qt::SolidLine, Qt::FlatCap));
    painter.drawEllipse(circle);

    // Qt angles run counter-clockwise from 3 o'clock in sixteenths of a degree: start at 90° and
    // sweep negative to run clockwise from 12 o'clock.
    const double sweep = trimmed(shownFraction) * 360.0;
    painter.setPen(QPen(ring, lineWidth, Qt::SolidLine, Qt::RoundCap));
    QPainterPath arc;
    arc.arcMoveTo(circle, 90.0);
    arc.arcTo(circle, 90.0, -sweep);
    painter.drawPath(arc);

    const QFont big = labelFont();
    const QFont small = captionFont();
    const QFontMetricsF bigMetrics(big);
    const QFontMetricsF smallMetrics(small);
    const double total = bigMetrics.height() + smallMetrics.height();
    const double top = circle.center().y() - total / 2;
    const double wide = std::max(circle.width(), 1.0) * 4;
    const double left = circle.center().x() - wide / 2;
    painter.setFont(big);
    painter.setPen(theme.text);
    painter.drawText(QRectF(left, top, wide, bigMetrics.height()), Qt::AlignCenter, label);
    painter.setFont(small);
    painter.setPen(theme.textTertiary);
    painter.drawText(QRectF(left, top + bigMetrics.height(), wide, smallMetrics.height()), Qt::AlignCenter, caption);
    painter.restore();
}

QRectF DonutGauge::circleRect() const {
    return QRectF(lineWidth / 2, lineWidth / 2, m_diameter, m_diameter);
}

QSize DonutGauge::sizeHint() const {
    const int side = int(std::ceil(m_diameter + lineWidth));
    return {side, side};
}

void DonutGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The colour follows the sweep: it turns warning and danger as the ring passes those marks.
    paintRing(painter, circleRect(), theme(), m_shown, ringTint(theme(), m_shown, m_tint), m_label, m_caption);
}

} // namespace tallymere
