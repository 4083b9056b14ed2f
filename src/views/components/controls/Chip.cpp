#include "views/components/controls/Chip.h"

#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "style/SymbolImage.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double contentSpacing = 4;
} // namespace

Chip::Chip(const QString& text, std::optional<std::string> symbol, std::optional<QColor> tint, QWidget* parent)
    : ThemedWidget(parent), m_text(text), m_symbol(std::move(symbol)), m_tint(std::move(tint)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Chip::setText(const QString& text) {
    if (text == m_text) return;
    m_text = text;
    updateGeometry();
    update();
}

void Chip::setSymbol(std::optional<std::string> symbol) {
    if (symbol == m_symbol) return;
    m_symbol = std::move(symbol);
    updateGeometry();
    update();
}

void Chip::setTint(std::optional<QColor> tint) {
    if (tint == m_tint) return;
    m_tint = std::move(tint);
    update();
}

QFont Chip::textFont() { return Typography::font(10, QFont::DemiBold); }

QColor Chip::fillColor(const Theme& theme, const std::optional<QColor>& tint) {
    return ShapePaint::withOpacity(tint.value_or(theme.textTertiary), theme.isDark ? 0.2 : 0.16);
}

QColor Chip::borderColor(const Theme& theme, const std::optional<QColor>& tint) {
    return ShapePaint::withOpacity(tint.value_or(theme.textTertiary), 0.22);
}

QColor Chip::inkColor(const Theme& theme, const std::optional<QColor>& tint) {
    return ColorRules::mix(tint.value_or(theme.textSecondary), theme.text, 0.35);
}

QSizeF Chip::measure(const QString& text, bool hasSymbol) {
    const QFontMetricsF metrics(textFont());
    const QSizeF icon = SymbolImage::size(symbolSize);
    double width = std::ceil(metrics.horizontalAdvance(text));
    double height = metrics.height();
    if (hasSymbol) {
        width += icon.width() + contentSpacing;
        height = std::max(height, icon.height());
    }
    return {std::ceil(width + 2 * horizontalPadding), std::ceil(height + 2 * verticalPadding)};
}

void Chip::paint(QPainter& painter, const QRectF& rect, const Theme& theme, const QString& text,
                 const std::optional<std::string>& symbol, const std::optional<QColor>& tint) {
    const double radius = ShapePaint::capsuleRadius(rect);
    ShapePaint::fillRounded(painter, rect, radius, fillColor(theme, tint));
    ShapePaint::strokeInside(painter, rect, radius, borderColor(theme, tint));
    const QColor ink = inkColor(theme, tint);
    double x = rect.left() + horizontalPadding;
    if (symbol) {
        const QSizeF icon = SymbolImage::size(symbolSize);
        SymbolImage::draw(painter, QRectF(QPointF(x, rect.center().y() - icon.height() / 2), icon), *symbol,
                          symbolSize, QFont::Bold, ink);
        x += icon.width() + contentSpacing;
    }
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(textFont());
    painter.setPen(ink);
    const double room = std::max(rect.right() - horizontalPadding - x, 0.0);
    painter.drawText(QRectF(x, rect.top(), room + 1, rect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(textFont()).elidedText(text, Qt::ElideRight, room + 0.5));
    painter.restore();
}

QSize Chip::sizeHint() const { return measure(m_text, m_symbol.has_value()).toSize(); }

void Chip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QRectF(rect()), theme(), m_text, m_symbol, m_tint);
}

} // namespace tallymere
