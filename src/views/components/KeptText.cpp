#include "views/components/KeptText.h"

#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QTextLayout>

#include <cmath>
#include <limits>
#include <memory>

namespace tallymere::KeptText {

namespace {

// Flags whose handling is left to the toolkit.
constexpr int unkeptFlags = Qt::TextShowMnemonic | Qt::TextHideMnemonic | Qt::TextWrapAnywhere |
                            Qt::TextJustificationForced | Qt::TextForceRightToLeft | Qt::TextExpandTabs |
                            Qt::AlignJustify | Qt::AlignBaseline | Qt::TextDontPrint;

bool keepable(const QFont& font, int flags, const QString& text) {
    if (flags & unkeptFlags) return false;
    if (font.underline() || font.overline() || font.strikeOut()) return false;
    for (QChar c : text)
        if (c == u'\r' || c == u'\n' || c == u'\t' || c == QChar(0x9c) || c == QChar::LineSeparator) return false;
    return true;
}

// The text laid out in lines as the toolkit lays out a drawn or measured text: the line width and,
// for a drawing that clips, the height at which it stops making lines.
struct Laid {
    std::shared_ptr<QTextLayout> layout;
    double width = 0, height = 0;
};

class Layouts {
public:
    const Laid& of(const QFont& font, const QString& text, double lineWidth, double stopHeight) {
        Key key{font, text, lineWidth, stopHeight};
        if (auto found = m_laid.constFind(key); found != m_laid.constEnd()) return *found;
        auto layout = std::make_shared<QTextLayout>(text, font);
        QTextOption option;
        option.setTextDirection(Qt::LeftToRight);
        option.setAlignment(Qt::AlignLeft);
        layout->setTextOption(option);
        layout->setCacheEnabled(true);
        const double leading = QFontMetricsF(font).leading();
        Laid laid{layout, 0, -leading};
        layout->beginLayout();
        for (;;) {
            QTextLine line = layout->createLine();
            if (!line.isValid()) break;
            line.setLineWidth(lineWidth);
            laid.height += leading;
            // Lines start on whole pixels.
            laid.height = std::ceil(laid.height);
            line.setPosition(QPointF(0, laid.height));
            laid.height += line.ascent() + line.descent();
            laid.width = std::max(laid.width, line.naturalTextWidth());
            if (laid.height >= stopHeight) break;
        }
        layout->endLayout();
        if (m_laid.size() >= limit) m_laid.clear();
        return *m_laid.insert(std::move(key), std::move(laid));
    }

private:
    static constexpr qsizetype limit = 1024;
    struct Key {
        QFont font;
        QString text;
        double lineWidth, stopHeight;
        bool operator==(const Key& other) const {
            return lineWidth == other.lineWidth && stopHeight == other.stopHeight && text == other.text &&
                   font == other.font;
        }
        friend size_t qHash(const Key& key, size_t seed) {
            return qHashMulti(seed, key.font, key.text, key.lineWidth, key.stopHeight);
        }
    };
    QHash<Key, Laid> m_laid;
};

Layouts& layouts() {
    thread_local Layouts kept;
    return kept;
}

constexpr double unbounded = std::numeric_limits<double>::infinity();

const Laid& laidOut(const QFont& font, const QRectF& rect, int flags, const QString& text, bool measuring) {
    const bool wraps = flags & Qt::TextWordWrap;
    // Unwrapped, one line of any width; wrapped, the rectangle's width, and a drawing that clips
    // stops at the first line that reaches the rectangle's bottom.
    const double lineWidth = wraps ? std::max(0.0, rect.width()) : double(0x01000000);
    const bool stops = wraps && !measuring && !(flags & Qt::TextDontClip);
    return layouts().of(font, text, lineWidth, stops ? rect.height() : unbounded);
}

// Where the block of lines stands in the rectangle, by the vertical and horizontal alignment.
QPointF offset(const QRectF& rect, int flags, const Laid& laid) {
    double x = 0, y = 0;
    if (flags & Qt::AlignBottom) y = rect.height() - laid.height;
    else if (flags & Qt::AlignVCenter) y = (rect.height() - laid.height) / 2;
    if (flags & Qt::AlignRight) x = rect.width() - laid.width;
    else if (flags & Qt::AlignHCenter) x = (rect.width() - laid.width) / 2;
    return {x, y};
}

} // namespace

void draw(QPainter& painter, const QRectF& rect, int flags, const QString& text) {
    if (!painter.isActive() || text.isEmpty() || painter.pen().style() == Qt::NoPen) return;
    const QFont& font = painter.font();
    if (painter.layoutDirection() != Qt::LeftToRight || !keepable(font, flags, text)) {
        painter.drawText(rect, flags, text);
        return;
    }
    if (rect.isEmpty() && !(flags & Qt::TextDontClip)) return;
    const Laid& laid = laidOut(font, rect, flags, text, false);
    const QPointF shift = offset(rect, flags, laid);
    const bool clips = !(flags & Qt::TextDontClip) &&
                       !rect.contains(QRectF(rect.x() + shift.x(), rect.y() + shift.y(), laid.width, laid.height));
    if (clips) {
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
    }
    for (int i = 0; i < laid.layout->lineCount(); ++i) {
        const QTextLine line = laid.layout->lineAt(i);
        // Each line is aligned by its own advance.
        const double advance = line.horizontalAdvance();
        double x = 0;
        if (flags & Qt::AlignRight) x = rect.width() - advance;
        else if (flags & Qt::AlignHCenter) x = (rect.width() - advance) / 2;
        line.draw(&painter, QPointF(rect.x() + x, rect.y() + shift.y()));
    }
    if (clips) painter.restore();
}

QRectF boundingRect(const QFont& font, const QRectF& rect, int flags, const QString& text) {
    if (text.isEmpty() || !keepable(font, flags, text)) return QFontMetricsF(font).boundingRect(rect, flags, text);
    const Laid& laid = laidOut(font, rect, flags, text, true);
    const QPointF shift = offset(rect, flags, laid);
    return {rect.x() + shift.x(), rect.y() + shift.y(), laid.width, laid.height};
}

double advance(const QFont& font, const QString& text) { return TextDraw::width(text, {.font = font}); }

namespace {

// The elided texts asked for, by font, text, mode and room.
struct ElideKey {
    QFont font;
    QString text;
    int mode;
    double width;
    bool operator==(const ElideKey& other) const {
        return mode == other.mode && width == other.width && text == other.text && font == other.font;
    }
    friend size_t qHash(const ElideKey& key, size_t seed) {
        return qHashMulti(seed, key.font, key.text, key.mode, key.width);
    }
};

} // namespace

QString elided(const QFont& font, const QString& text, Qt::TextElideMode mode, double width) {
    if (text.isEmpty()) return text;
    thread_local QHash<ElideKey, QString> kept;
    ElideKey key{font, text, int(mode), width};
    if (auto found = kept.constFind(key); found != kept.constEnd()) return *found;
    QString shown = QFontMetricsF(font).elidedText(text, mode, width);
    if (kept.size() >= 1024) kept.clear();
    kept.insert(std::move(key), shown);
    return shown;
}

} // namespace tallymere::KeptText
