#include "views/components/controls/SectionLabel.h"

#include "style/Typography.h"
#include "views/components/KeptText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double spacing = 6;
constexpr double minimumGap = 4;
} // namespace

SectionLabel::SectionLabel(const QString& text, std::optional<QString> trailing, QWidget* parent)
    : ThemedWidget(parent), m_text(text), m_trailing(std::move(trailing)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SectionLabel::setText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    updateGeometry();
    update();
}

void SectionLabel::setTrailing(std::optional<QString> trailing) {
    if (trailing == m_trailing) return;
    m_trailing = std::move(trailing);
    updateGeometry();
    update();
}

QFont SectionLabel::captionFont() {
    QFont font = Typography::font(10, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.9);
    return font;
}

QFont SectionLabel::trailingFont() { return Typography::font(10, QFont::Medium); }

QSize SectionLabel::sizeHint() const {
    const QFontMetricsF caption(captionFont());
    double width = KeptText::advance(captionFont(), this->caption()) + spacing + minimumGap;
    double height = caption.height();
    if (m_trailing) {
        const QFontMetricsF note(trailingFont());
        width += spacing + KeptText::advance(trailingFont(), *m_trailing);
        height = std::max(height, note.height());
    }
    return {int(std::ceil(width)), int(std::ceil(height))};
}

QSize SectionLabel::minimumSizeHint() const { return {int(spacing + minimumGap), sizeHint().height()}; }

void SectionLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(theme().textTertiary);
    const QRectF area(rect());
    double captionRight = area.right();
    if (m_trailing) {
        const QFont font = trailingFont();
        const double noteWidth = std::min(KeptText::advance(font, *m_trailing), area.width());
        const QRectF noteRect(area.right() - noteWidth, area.top(), noteWidth, area.height());
        painter.setFont(font);
        KeptText::draw(painter, noteRect, Qt::AlignVCenter | Qt::AlignRight,
                       KeptText::elided(font, *m_trailing, Qt::ElideRight, noteRect.width()));
        captionRight = noteRect.left() - spacing;
    }
    const QFont font = captionFont();
    const double room = std::max(captionRight - spacing - minimumGap - area.left(), 0.0);
    painter.setFont(font);
    KeptText::draw(painter, QRectF(area.left(), area.top(), room + 1, area.height()), Qt::AlignVCenter | Qt::AlignLeft,
                   KeptText::elided(font, caption(), Qt::ElideRight, room));
}

} // namespace tallymere
