#include "views/tools/applications/AppText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

AppText::AppText(const QString& text, const QFont& font, AppColor color, TextDraw::Truncation truncation,
                 Qt::Alignment alignment, QWidget* parent)
    : ThemedWidget(parent), m_text(text), m_font(font), m_color(color), m_truncation(truncation), m_alignment(alignment) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize AppText::sizeHint() const {
    const QStringList lines = m_text.split('\n');
    double width = 0;
    for (const QString& line : lines) width = std::max(width, TextDraw::width(line, {.font = m_font}));
    return {int(std::ceil(width)), int(std::ceil(QFontMetricsF(m_font).height() * double(lines.size())))};
}

QSize AppText::minimumSizeHint() const { return {0, sizeHint().height()}; }

void AppText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QStringList lines = m_text.split('\n');
    const double lineHeight = QFontMetricsF(m_font).height();
    const double top = (height() - lineHeight * double(lines.size())) / 2;
    const TextDraw::Style style{.font = m_font, .color = color(), .alignment = m_alignment, .truncation = m_truncation};
    for (int i = 0; i < lines.size(); ++i)
        TextDraw::draw(painter, QRectF(0, top + lineHeight * i, width(), lineHeight), lines[i], style);
}

} // namespace tallymere
