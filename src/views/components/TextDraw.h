#pragma once
#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <string_view>

class QPainter;
class QTextLayout;

namespace tallymere::TextDraw {

// The text treatments every view draws with: tracking, truncation in the middle or at the head,
// shrinking before truncating, digits in equal cells and upper case. Names shown through here are
// plain text, never markup.

enum class Truncation { tail, middle, head, twoLineMiddle };

// A name as one line of text, by the same rule as the command line (tallymere::oneLine): invalid
// UTF-8 replaced by U+FFFD, control characters, line separators and bidirectional controls shown
// as visible escapes ("\n", "\x1b", "\u202e"), so a name never breaks a line or reorders itself.
QString oneLine(std::string_view bytes);
QString oneLine(const QString& text);

// A tooltip that shows `text` exactly as written. The toolkit takes a tooltip that looks like
// markup for rich text (a name "<b>x" would show bold, an "<img>" would load a picture), so such
// a text becomes markup that reads as the text itself; any other text stays as it is. A text
// wider than `maxWidth` in the tooltip font (a deep path) is broken into lines at most that wide,
// after a "/" or a space where it can, so none of it runs off the screen.
inline constexpr double toolTipWidth = 560;
QString plainToolTip(const QString& text, double maxWidth = toolTipWidth);

// The font with `tracking` logical pixels of extra space after every character.
QFont tracked(QFont font, double tracking);

struct Style {
    QFont font;
    QColor color;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    Truncation truncation = Truncation::tail;
    // The text may shrink down to this fraction of its size, in tenths of a pixel and to the exact
    // fraction at the least, before it is truncated; 1 keeps it.
    double minimumScale = 1.0;
    double tracking = 0;
    bool upperCase = false;
    // Each digit takes the cell of the widest digit, so changing numbers do not jitter.
    bool monospacedDigits = false;
};

// The width the text takes in the style, before any fitting.
double width(const QString& text, const Style& style);

// The text fitted into `maxWidth`: the font it is drawn with, the scale the font is drawn at (below
// 1 when the text shrank) and the line or two lines that remain after truncation with "…".
struct Fitted {
    QFont font;
    double scale = 1;
    QStringList lines;
    double width = 0; // of the widest line, as drawn
};
Fitted fit(const QString& text, const Style& style, double maxWidth);
// Whether fit() keeps the text whole on one line (shrunk as far as the style allows), without
// working out how a text that does not fit would be cut.
bool fitsWhole(const QString& text, const Style& style, double maxWidth);

// painter.drawText(at, text) in the painter's font and pen, pixel for pixel, from glyphs kept per
// thread: the text is shaped once, not on every paint.
void drawAt(QPainter& painter, QPointF at, const QString& text);

// Lays the layout's text out in lines `width` wide, one under the other from its origin, broken
// between words where they can be and anywhere inside a word longer than a line (a long name or
// path), so nothing runs past the edge.
void breakLines(QTextLayout& layout, double width, Qt::Alignment alignment = Qt::AlignLeft);

// Draws the fitted text in `box` as the alignment says and returns the rectangle the text took.
// An empty box or empty text draws nothing and returns an empty rectangle.
QRectF draw(QPainter& painter, const QRectF& box, const QString& text, const Style& style);

} // namespace tallymere::TextDraw
