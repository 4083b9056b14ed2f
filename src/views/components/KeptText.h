#pragma once
#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

namespace tallymere::KeptText {

// The toolkit's own text calls, pixel for pixel and value for value, with what shaping made kept
// per thread: panes that follow the focus draw and measure the same labels, sizes and names on every
// repaint, and shaping them again was a third of the window's frame.

// painter.drawText(rect, flags, text): the same lines at the same positions, clipped where the
// toolkit clips. Texts or flags it does not keep (tabs, line breaks, mnemonics, justification, a
// right-to-left painter, a decorated font) are drawn by the toolkit.
void draw(QPainter& painter, const QRectF& rect, int flags, const QString& text);

// QFontMetricsF(font).boundingRect(rect, flags, text), for the same texts and flags as draw().
QRectF boundingRect(const QFont& font, const QRectF& rect, int flags, const QString& text);

// QFontMetricsF(font).horizontalAdvance(text).
double advance(const QFont& font, const QString& text);

// QFontMetricsF(font).elidedText(text, mode, width).
QString elided(const QFont& font, const QString& text, Qt::TextElideMode mode, double width);

} // namespace tallymere::KeptText
