#include "views/components/TextDraw.h"

#include "base/Utf8.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPaintEngine>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tallymere::TextDraw {

namespace {

const QString ellipsis = QStringLiteral("…");

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Shaping a string is the dear part of measuring it, and a window measures the same strings in the
// same fonts over and over (every repaint fits each text to its box, digits one by one): widths
// are kept per thread, as the fonts are, and forgotten all at once when many have gathered.
class Widths {
public:
    // QFontMetricsF(font).horizontalAdvance(text), or of the one character when `single`: the
    // single-character measure of the toolkit differs from the string's by shaping.
    double of(const QFont& font, const QString& text, bool single) {
        Key key{font, text, single};
        if (auto found = m_widths.constFind(key); found != m_widths.constEnd()) return *found;
        const QFontMetricsF metrics(font);
        const double width = single ? metrics.horizontalAdvance(text.front()) : metrics.horizontalAdvance(text);
        if (m_widths.size() >= limit) m_widths.clear();
        m_widths.insert(std::move(key), width);
        return width;
    }

private:
    static constexpr qsizetype limit = 4096;
    struct Key {
        QFont font;
        QString text;
        bool single;
        bool operator==(const Key& other) const {
            return single == other.single && text == other.text && font == other.font;
        }
        friend size_t qHash(const Key& key, size_t seed) {
            return qHashMulti(seed, key.font, key.text, key.single);
        }
    };
    QHash<Key, double> m_widths;
};

Widths& widths() {
    thread_local Widths cache;
    return cache;
}

// Drawing a string shapes it again on every call, as measuring did: the glyphs each string shaped
// into are kept likewise, per thread, font and writing direction.
struct Shaped {
    QList<QGlyphRun> runs;
    QPointF least; // the smallest glyph position of either axis, from the pen on the baseline
};

class Shapes {
public:
    const Shaped& of(const QFont& font, Qt::LayoutDirection direction, const QString& text) {
        Key key{font, text, direction};
        if (auto found = m_runs.constFind(key); found != m_runs.constEnd()) return *found;
        QTextLayout layout(text, font);
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        option.setTextDirection(direction);
        option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(std::numeric_limits<int>::max() / 128);
        layout.endLayout();
        // Positions from the pen's start on the baseline, as a drawn string takes them.
        Shaped shaped{line.glyphRuns(), {}};
        for (QGlyphRun& run : shaped.runs) {
            QList<QPointF> positions = run.positions();
            for (QPointF& position : positions) {
                position.ry() -= line.ascent();
                shaped.least = {std::min(shaped.least.x(), position.x()), std::min(shaped.least.y(), position.y())};
            }
            run.setPositions(positions);
        }
        if (m_runs.size() >= limit) m_runs.clear();
        return *m_runs.insert(std::move(key), std::move(shaped));
    }

private:
    static constexpr qsizetype limit = 1024; // a few screens of texts, some hundreds of kilobytes
    struct Key {
        QFont font;
        QString text;
        Qt::LayoutDirection direction;
        bool operator==(const Key& other) const {
            return direction == other.direction && text == other.text && font == other.font;
        }
        friend size_t qHash(const Key& key, size_t seed) {
            return qHashMulti(seed, key.font, key.text, int(key.direction));
        }
    };
    QHash<Key, Shaped> m_runs;
};

// painter.drawText(at, text) in the painter's font and pen, pixel for pixel: the kept glyphs are
// placed where the toolkit places a drawn string's, from a pen position cut toward zero to a 64th
// of a pixel. The raster engine cuts each glyph's device position toward zero as well; under a
// scale it does so glyph by glyph either way, but without one a drawn string's origin is cut apart
// from its glyphs, which agrees only where nothing lies left of or above the device's origin.
// Anything else (a turned painter, a picture or printer device) is drawn as a string.
void drawString(QPainter& painter, QPointF at, const QString& text) {
    if (text.isEmpty()) return;
    const QTransform device = painter.deviceTransform();
    if (painter.paintEngine()->type() != QPaintEngine::Raster || device.type() > QTransform::TxScale) {
        painter.drawText(at, text);
        return;
    }
    thread_local Shapes shapes;
    const Shaped& shaped = shapes.of(painter.font(), painter.layoutDirection(), text);
    const QPointF pen(double(qint64(at.x() * 64)) / 64, at.y());
    if (device.type() <= QTransform::TxTranslate &&
        (device.dx() + pen.x() + shaped.least.x() < 0 || device.dy() + pen.y() + shaped.least.y() < 0)) {
        painter.drawText(at, text);
        return;
    }
    for (const QGlyphRun& run : shaped.runs) painter.drawGlyphRun(pen, run);
}

double advance(const QFont& font, const QString& text) {
    return text.isEmpty() ? 0.0 : widths().of(font, text, false);
}

double advance(const QFont& font, QChar c) { return widths().of(font, QString(c), true); }

double digitCell(const QFont& font) {
    double cell = 0;
    for (char d = '0'; d <= '9'; ++d) cell = std::max(cell, advance(font, QLatin1Char(d)));
    return cell;
}

// Width of the text in `font`, honouring the style's digit cells.
double measure(const QString& text, const QFont& font, bool monospacedDigits) {
    if (!monospacedDigits) return advance(font, text);
    const double cell = digitCell(font);
    double total = 0;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isDigit(text[i])) continue;
        total += advance(font, text.mid(runStart, i - runStart));
        if (i < text.size()) total += cell;
        runStart = i + 1;
    }
    return total;
}

// A cut position moved off the middle of a surrogate pair.
qsizetype safeCut(const QString& text, qsizetype at) {
    if (at > 0 && at < text.size() && text[at].isLowSurrogate()) return at - 1;
    return at;
}

// The text cut to fit `maxWidth` at the tail, head or middle; "" when not even "…" fits.
QString elide(const QString& text, const QFont& font, bool digits, double maxWidth, Truncation mode) {
    if (measure(text, font, digits) <= maxWidth) return text;
    auto candidate = [&](qsizetype keep) {
        switch (mode) {
        case Truncation::head: {
            qsizetype from = text.size() - keep;
            if (from > 0 && from < text.size() && text[from].isLowSurrogate()) ++from;
            return ellipsis + text.mid(from);
        }
        case Truncation::middle:
        case Truncation::twoLineMiddle: {
            const qsizetype front = safeCut(text, (keep + 1) / 2);
            qsizetype back = text.size() - keep / 2;
            if (back > 0 && back < text.size() && text[back].isLowSurrogate()) ++back;
            return text.left(front) + ellipsis + text.mid(std::max(back, front));
        }
        case Truncation::tail: break;
        }
        return text.left(safeCut(text, keep)) + ellipsis;
    };
    qsizetype low = 0, high = text.size() - 1;
    if (measure(candidate(0), font, digits) > maxWidth) return {};
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (measure(candidate(mid), font, digits) <= maxWidth) low = mid;
        else high = mid - 1;
    }
    return candidate(low);
}

// The longest head of the text that fits, preferring a break after a space or separator when one
// lies in its later part.
qsizetype firstLineLength(const QString& text, const QFont& font, bool digits, double maxWidth) {
    qsizetype low = 0, high = text.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (measure(text.left(mid), font, digits) <= maxWidth) low = mid;
        else high = mid - 1;
    }
    low = safeCut(text, low);
    for (qsizetype i = low; i > low * 6 / 10; --i) {
        const QChar c = text[i - 1];
        if (c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char('.') ||
            c == QLatin1Char('/'))
            return i;
    }
    return low;
}

double pixelSizeOf(const QFont& font) {
    if (font.pixelSize() > 0) return font.pixelSize();
    return std::max(1.0, font.pointSizeF() * 96.0 / 72.0);
}

} // namespace

void drawAt(QPainter& painter, QPointF at, const QString& text) { drawString(painter, at, text); }

QString oneLine(std::string_view bytes) { return QString::fromStdString(tallymere::oneLine(bytes)); }

QString oneLine(const QString& text) { return oneLine(text.toStdString()); }

QString plainToolTip(const QString& text, double maxWidth) {
    const QFont font = QToolTip::font();
    QStringList lines(text);
    if (QFontMetricsF(font).horizontalAdvance(text) > maxWidth) {
        QTextLayout layout(text, font);
        breakLines(layout, maxWidth);
        lines.clear();
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            lines.append(text.mid(line.textStart(), line.textLength()));
        }
    } else if (!Qt::mightBeRichText(text)) {
        return text;
    }
    // Markup that reads as the text: escaped, its spaces kept, and broken only where the lines end.
    QString html = QStringLiteral("<p style='white-space:pre'>");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0) html += QStringLiteral("<br>");
        html += lines[i].toHtmlEscaped();
    }
    return html + QStringLiteral("</p>");
}

QFont tracked(QFont font, double tracking) {
    if (tracking != 0) font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

double width(const QString& text, const Style& style) {
    const QString shown = style.upperCase ? text.toUpper() : text;
    return measure(shown, tracked(style.font, style.tracking), style.monospacedDigits);
}

namespace {
// The style's font, the scale it is drawn at in `maxWidth` (1, or shrunk as far as the text needs
// and the style allows) and the text's width drawn so.
struct Shrunk {
    QFont font;
    double scale = 1;
    double width = 0;
};
Shrunk shrunk(const QString& text, const Style& style, double maxWidth) {
    Shrunk result{tracked(style.font, style.tracking)};
    result.width = measure(text, result.font, style.monospacedDigits);
    if (result.width > maxWidth && style.minimumScale < 1) {
        // The font is drawn smaller rather than set smaller: the toolkit sets a font only in whole
        // pixels, which would stop a 9-pixel text at 7 rather than 6.3, and a drawn scale keeps
        // every width in proportion. Sizes go by tenths of a pixel, so few of them are kept.
        const double pixels = pixelSizeOf(result.font);
        const double fits = std::floor(pixels * maxWidth / result.width * 10 - 1e-6) / 10 / pixels;
        result.scale = std::max(fits, std::clamp(style.minimumScale, 0.0, 1.0));
        result.width *= result.scale;
    }
    return result;
}
} // namespace

bool fitsWhole(const QString& rawText, const Style& style, double maxWidth) {
    const QString text = style.upperCase ? rawText.toUpper() : rawText;
    if (text.isEmpty() || !(maxWidth > 0)) return false;
    return shrunk(text, style, maxWidth).width <= maxWidth;
}

Fitted fit(const QString& rawText, const Style& style, double maxWidth) {
    const QString text = style.upperCase ? rawText.toUpper() : rawText;
    const bool digits = style.monospacedDigits;
    Fitted result;
    result.font = tracked(style.font, style.tracking);
    if (text.isEmpty() || !(maxWidth > 0)) return result;
    const Shrunk fitted = shrunk(text, style, maxWidth);
    result.font = fitted.font;
    result.scale = fitted.scale;
    // Cut in the font's own units: the room as the font sees it at its scale.
    const double room = maxWidth / fitted.scale;
    if (fitted.width <= maxWidth) {
        result.lines = {text};
    } else if (style.truncation == Truncation::twoLineMiddle) {
        const qsizetype first = firstLineLength(text, result.font, digits, room);
        if (first <= 0) {
            result.lines = {elide(text, result.font, digits, room, Truncation::middle)};
        } else {
            QString rest = text.mid(first);
            if (rest.startsWith(QLatin1Char(' '))) rest.remove(0, 1);
            result.lines = {text.left(first), elide(rest, result.font, digits, room, Truncation::middle)};
        }
    } else {
        result.lines = {elide(text, result.font, digits, room, style.truncation)};
    }
    // Shaping text is the dear part of measuring it: a line kept whole has the width just taken.
    if (result.lines.size() == 1 && result.lines.front() == text) result.width = fitted.width;
    else
        for (const QString& line : result.lines)
            result.width = std::max(result.width, measure(line, result.font, digits) * fitted.scale);
    return result;
}

QRectF draw(QPainter& painter, const QRectF& box, const QString& text, const Style& style) {
    if (box.width() <= 0 || box.height() <= 0 || text.isEmpty()) return {};
    const Fitted fitted = fit(text, style, box.width());
    if (fitted.lines.isEmpty() || fitted.lines.front().isEmpty()) return {};
    const QFontMetricsF metrics(fitted.font);
    // Every length of the font is drawn at the fitted scale.
    const double scale = fitted.scale;
    const double lineHeight = metrics.height() * scale;
    const double total = lineHeight * fitted.lines.size();
    double y = box.top();
    if (style.alignment & Qt::AlignVCenter) y = box.center().y() - total / 2;
    else if (style.alignment & Qt::AlignBottom) y = box.bottom() - total;

    painter.save();
    painter.setFont(fitted.font);
    painter.setPen(style.color);
    const auto put = [&painter, scale](QPointF at, const QString& string) {
        if (scale == 1) return drawString(painter, at, string);
        painter.save();
        painter.translate(at);
        painter.scale(scale, scale);
        drawString(painter, QPointF(), string);
        painter.restore();
    };
    const double cell = style.monospacedDigits ? digitCell(fitted.font) * scale : 0;
    QRectF used;
    for (const QString& line : fitted.lines) {
        // One line is as wide as the fitted text; two are measured apart.
        const double lineWidth =
            fitted.lines.size() == 1 ? fitted.width : measure(line, fitted.font, style.monospacedDigits) * scale;
        double x = box.left();
        if (style.alignment & Qt::AlignHCenter) x = box.center().x() - lineWidth / 2;
        else if (style.alignment & Qt::AlignRight) x = box.right() - lineWidth;
        const double baseline = y + metrics.ascent() * scale;
        if (!style.monospacedDigits) {
            put(QPointF(x, baseline), line);
        } else {
            qsizetype runStart = 0;
            for (qsizetype i = 0; i <= line.size(); ++i) {
                if (i < line.size() && !isDigit(line[i])) continue;
                const QString run = line.mid(runStart, i - runStart);
                put(QPointF(x, baseline), run);
                x += advance(fitted.font, run) * scale;
                if (i < line.size()) {
                    const double width = advance(fitted.font, line[i]) * scale;
                    put(QPointF(x + (cell - width) / 2, baseline), QString(line[i]));
                    x += cell;
                }
                runStart = i + 1;
            }
            x -= lineWidth;
        }
        used |= QRectF(x, y, lineWidth, lineHeight);
        y += lineHeight;
    }
    painter.restore();
    return used;
}

void breakLines(QTextLayout& layout, double width, Qt::Alignment alignment) {
    QTextOption option(alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
}

} // namespace tallymere::TextDraw
