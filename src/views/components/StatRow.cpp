#include "views/components/StatRow.h"

#include "style/Typography.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double gap = 8;
constexpr int labelFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
} // namespace

StatRow::StatRow(const QString& label, const QString& value, std::optional<QColor> tint, bool mono, QWidget* parent)
    : ThemedWidget(parent), m_label(label), m_value(value), m_tint(std::move(tint)), m_mono(mono) {
    // As tall as its text needs, never stretched by a taller panel.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void StatRow::setLabel(const QString& label) {
    m_label = label;
    updateGeometry();
    update();
}

void StatRow::setValue(const QString& value) {
    m_value = value;
    updateGeometry();
    update();
}

void StatRow::setTint(std::optional<QColor> tint) {
    m_tint = std::move(tint);
    update();
}

QFont StatRow::labelFont() { return Typography::font(11, QFont::Normal); }
QFont StatRow::valueFont() { return Typography::font(11.5, QFont::DemiBold); }

StatRow::Geometry StatRow::geometryFor(double width) const {
    const QFontMetricsF labelMetrics(labelFont());
    const QFontMetricsF valueMetrics(valueFont());
    const double labelNatural = std::ceil(labelMetrics.horizontalAdvance(m_label));
    const double valueNatural = std::ceil(valueMetrics.horizontalAdvance(m_value));
    const double room = std::max(width - gap, 0.0);
    // The value keeps its full width when it fits beside the label; otherwise it gets what the
    // label leaves, but never less than half the row while it is that long, and the label wraps.
    const double valueWidth = std::min(valueNatural, std::max(room - labelNatural, room / 2));
    const double labelWidth = std::max(room - valueWidth, 0.0);
    const double labelHeight =
        labelMetrics.boundingRect(QRectF(0, 0, std::max(labelWidth, 1.0), 1e6), labelFlags, m_label).height();
    const double height = std::ceil(std::max({labelHeight, labelMetrics.height(), valueMetrics.height()}));
    Geometry geometry;
    geometry.label = QRectF(0, 0, labelWidth, height);
    geometry.value = QRectF(width - valueWidth, 0, valueWidth, height);
    geometry.shownValue = valueWidth >= valueNatural ? m_value
                                                     : valueMetrics.elidedText(m_value, Qt::ElideMiddle, valueWidth);
    return geometry;
}

QSize StatRow::sizeHint() const {
    const double width = std::ceil(QFontMetricsF(labelFont()).horizontalAdvance(m_label) + gap +
                                   QFontMetricsF(valueFont()).horizontalAdvance(m_value));
    return {int(width), heightForWidth(int(width))};
}

QSize StatRow::minimumSizeHint() const { return {int(gap) + 2, heightForWidth(int(gap) + 2)}; }

int StatRow::heightForWidth(int width) const { return int(geometryFor(width).label.height()); }

void StatRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Geometry geometry = geometryFor(width());
    const double offset = (height() - geometry.label.height()) / 2;
    painter.setFont(labelFont());
    painter.setPen(theme().textSecondary);
    painter.drawText(geometry.label.translated(0, offset), labelFlags, m_label);
    painter.setFont(valueFont());
    painter.setPen(valueColor());
    painter.drawText(geometry.value.translated(0, offset), Qt::AlignRight | Qt::AlignVCenter, geometry.shownValue);
}

} // namespace tallymere
