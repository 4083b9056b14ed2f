#include "views/shell/sidebar/TextLine.h"

#include "views/components/KeptText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

TextLine::TextLine(QFont font, Ink ink, TextDraw::Truncation truncation, int maxLines, QWidget* parent)
    : ThemedWidget(parent), m_font(std::move(font)), m_ink(std::move(ink)), m_truncation(truncation),
      m_maxLines(std::max(maxLines, 1)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TextLine::setText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    updateGeometry();
    update();
}

QStringList TextLine::linesFor(double width) const {
    if (m_text.isEmpty()) return {};
    if (m_maxLines == 1 || KeptText::advance(m_font, m_text) <= width) {
        TextDraw::Style style{m_font, {}, Qt::AlignLeft | Qt::AlignVCenter, m_truncation};
        return TextDraw::fit(m_text, style, width).lines;
    }
    // Two lines, kept from the end: the last line holds as much of the end as fits, the first the
    // rest, with its head cut when even that does not fit.
    int split = int(m_text.size());
    while (split > 0 && KeptText::advance(m_font, m_text.mid(split - 1)) <= width) --split;
    // Spaces at the break belong to neither line: the second line starts with what follows them.
    int lastStart = split;
    while (lastStart < m_text.size() && m_text[lastStart].isSpace()) ++lastStart;
    while (split > 0 && m_text[split - 1].isSpace()) --split;
    const QString last = m_text.mid(lastStart);
    QString first = m_text.left(split);
    if (KeptText::advance(m_font, first) > width) first = KeptText::elided(m_font, first, Qt::ElideLeft, width);
    return {first, last};
}

QStringList TextLine::shownLines() const { return linesFor(width()); }

int TextLine::heightForWidth(int width) const {
    const int lines = std::max<int>(1, int(linesFor(width).size()));
    return int(std::ceil(QFontMetricsF(m_font).height() * lines));
}

QSize TextLine::sizeHint() const {
    return {int(std::ceil(KeptText::advance(m_font, m_text))), heightForWidth(width() > 0 ? width() : 246)};
}

QSize TextLine::minimumSizeHint() const { return {0, int(std::ceil(QFontMetricsF(m_font).height()))}; }

void TextLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(m_font);
    painter.setPen(m_ink(theme()));
    const double lineHeight = QFontMetricsF(m_font).height();
    const QStringList lines = shownLines();
    for (int i = 0; i < lines.size(); ++i)
        KeptText::draw(painter, QRectF(0, i * lineHeight, width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
}

} // namespace tallymere
