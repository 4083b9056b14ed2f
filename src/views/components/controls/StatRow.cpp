#include "views/components/controls/StatRow.h"

#include "style/Typography.h"
#include "views/components/KeptText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double gap = 8;
constexpr int labelFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
} // namespace

StatRow::StatRow(const QString& label, const QString& value, std::optional<QColor> tint, QWidget* parent)
    : ThemedWidget(parent), m_label(label), m_value(value), m_tint(std::move(tint)) {
    // As tall as its text needs, never stretched by a taller panel.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void StatRow::setLabel(const QString& label) {
    if (label == m_label) return;
    m_label = label;
    m_labelNatural = -1;
    m_heightWidth = -1;
    updateGeometry();
    update();
}

void StatRow::setValue(const QString& value) {
    if (value == m_value) return;
    m_value = value;
    m_valueNatural = -1;
    m_heightWidth = -1;
    updateGeometry();
    update();
}

void StatRow::setTint(std::optional<QColor> tint) {
    if (tint == m_tint) return;
    m_tint = std::move(tint);
    update();
}

double StatRow::labelNatural() const {
    if (m_labelNatural < 0) m_labelNatural = KeptText::advance(labelFont(), m_label);
    return m_labelNatural;
}

double StatRow::valueNatural() const {
    if (m_valueNatural < 0) m_valueNatural = KeptText::advance(valueFont(), m_value);
    return m_valueNatural;
}

QFont StatRow::labelFont() { return Typography::font(11, QFont::Normal); }
QFont StatRow::valueFont() { return Typography::font(11.5, QFont::DemiBold); }

StatRow::Geometry StatRow::geometryFor(double width) const {
    const QFontMetricsF labelMetrics(labelFont());
    const QFontMetricsF valueMetrics(valueFont());
    const double labelNatural = std::ceil(this->labelNatural());
    const double valueNatural = std::ceil(this->valueNatural());
    const double room = std::max(width - gap, 0.0);
    // The value keeps its full width when it fits beside the label; otherwise it gets what the
    // label leaves, but never less than half the row while it is that long, and the label wraps.
    const double valueWidth = std::min(valueNatural, std::max(room - labelNatural, room / 2));
    const double labelWidth = std::max(room - valueWidth, 0.0);
    const double labelHeight =
        KeptText::boundingRect(labelFont(), QRectF(0, 0, std::max(labelWidth, 1.0), 1e6), labelFlags, m_label).height();
    const double height = std::ceil(std::max({labelHeight, labelMetrics.height(), valueMetrics.height()}));
    Geometry geometry;
    geometry.label = QRectF(0, 0, labelWidth, height);
    geometry.value = QRectF(width - valueWidth, 0, valueWidth, height);
    geometry.shownValue = valueWidth >= valueNatural ? m_value
                                                     : KeptText::elided(valueFont(), m_value, Qt::ElideMiddle, valueWidth);
    return geometry;
}

QSize StatRow::sizeHint() const {
    const int width = int(std::ceil(labelNatural() + gap + valueNatural()));
    return {width, heightForWidth(width)};
}

QSize StatRow::minimumSizeHint() const { return {int(gap) + 2, heightForWidth(int(gap) + 2)}; }

int StatRow::heightForWidth(int width) const {
    // Wherever both texts fit on one line the height is that of one line: every such width is one
    // question, asked once.
    const int fits = int(std::ceil(labelNatural()) + gap + std::ceil(valueNatural()));
    const int key = std::min(width, fits);
    if (key != m_heightWidth) {
        // At the width that just fits, the label's box is its own advance, which the wrapping
        // measure may find a hair short and break at a space: one line is known without asking.
        m_height = key >= fits ? int(std::ceil(std::max(QFontMetricsF(labelFont()).height(), QFontMetricsF(valueFont()).height())))
                               : int(geometryFor(key).label.height());
        m_heightWidth = key;
    }
    return m_height;
}

void StatRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Geometry geometry = geometryFor(width());
    const double offset = (height() - geometry.label.height()) / 2;
    painter.setFont(labelFont());
    painter.setPen(theme().textSecondary);
    KeptText::draw(painter, geometry.label.translated(0, offset), labelFlags, m_label);
    painter.setFont(valueFont());
    painter.setPen(valueColor());
    KeptText::draw(painter, geometry.value.translated(0, offset), Qt::AlignRight | Qt::AlignVCenter, geometry.shownValue);
}

} // namespace tallymere
