#include "views/tools/applications/LegendItem.h"

#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double swatch = 9, spacing = 6;
QFont labelFont() { return Typography::font(11, QFont::Normal); }
QFont valueFont() { return Typography::font(11, QFont::DemiBold); }
} // namespace

LegendItem::LegendItem(const QString& label, const QString& value, AppColor color, QWidget* parent)
    : ThemedWidget(parent), m_label(label), m_value(value), m_color(color) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LegendItem::sizeHint() const {
    const double width = swatch + spacing + QFontMetricsF(labelFont()).horizontalAdvance(m_label) + spacing +
                         QFontMetricsF(valueFont()).horizontalAdvance(m_value);
    const double height = std::max({swatch, QFontMetricsF(labelFont()).height(), QFontMetricsF(valueFont()).height()});
    return {int(std::ceil(width)), int(std::ceil(height))};
}

void LegendItem::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    ShapePaint::fillRounded(painter, QRectF(0, (height() - swatch) / 2, swatch, swatch), 2, m_color(theme()));
    double x = swatch + spacing;
    painter.setFont(labelFont());
    painter.setPen(theme().textSecondary);
    const double labelWidth = QFontMetricsF(labelFont()).horizontalAdvance(m_label);
    painter.drawText(QRectF(x, 0, labelWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, m_label);
    x += labelWidth + spacing;
    painter.setFont(valueFont());
    painter.setPen(theme().text);
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, m_value);
}

} // namespace tallymere
