#include "views/tools/monitor/MiniStat.h"

#include "style/Typography.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

MiniStat::MiniStat(QWidget* parent) : ThemedWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QFont MiniStat::labelFont() {
    QFont font = Typography::font(8, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    return font;
}

QFont MiniStat::valueFont() { return Typography::font(12, QFont::DemiBold); }

void MiniStat::setStat(const MonitorText::Stat& stat) {
    const bool resized = stat.label != m_stat.label || stat.value != m_stat.value;
    m_stat = stat;
    if (resized) updateGeometry();
    update();
}

QSize MiniStat::sizeHint() const {
    const QFontMetricsF label(labelFont());
    const QFontMetricsF value(valueFont());
    const double width = std::max(label.horizontalAdvance(caption()), value.horizontalAdvance(m_stat.value));
    return {int(std::ceil(width)), int(std::ceil(label.height() + value.height()))};
}

void MiniStat::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QFont label = labelFont();
    const QFont value = valueFont();
    const double labelHeight = QFontMetricsF(label).height();
    painter.setFont(label);
    painter.setPen(theme().textTertiary);
    painter.drawText(QRectF(0, 0, width(), labelHeight), Qt::AlignLeft | Qt::AlignVCenter, caption());
    painter.setFont(value);
    painter.setPen(valueColor());
    painter.drawText(QRectF(0, labelHeight, width(), height() - labelHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     m_stat.value);
}

} // namespace tallymere
