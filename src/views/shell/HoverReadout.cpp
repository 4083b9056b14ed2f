#include "views/shell/HoverReadout.h"

#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/controls/Chip.h"
#include "views/components/NodeGlyph.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tallymere {

namespace {

constexpr double glyphSize = 11;
constexpr double spacing = 8;
constexpr double padX = 11;
constexpr double padY = 7;
constexpr double corner = 9;

QFont nameFont() { return Typography::font(11.5, QFont::DemiBold); }
QFont sizeFont() { return Typography::font(11, QFont::Bold); }
QFont shareFont() { return Typography::font(10.5, QFont::Normal); }

double advance(const QFont& font, const QString& text) { return std::ceil(QFontMetricsF(font).horizontalAdvance(text)); }

} // namespace

HoverReadout::HoverReadout(QWidget* parent)
    : ThemedWidget(parent), m_shadow(QColor(0, 0, 0, int(std::lround(0.45 * 255))), 14, QPointF(0, 4)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

QString HoverReadout::shareText(double share) {
    if (share > 0 && share < 0.001) return QStringLiteral("<0.1%");
    // Fixed decimals with "." in every locale.
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, share * 100, std::chars_format::fixed, 1);
    if (error != std::errc()) return QStringLiteral("0.0%");
    return QString::fromLatin1(buffer, end - buffer) + QLatin1Char('%');
}

QString HoverReadout::filesText(std::int64_t count) {
    return QLocale::system().toString(static_cast<qlonglong>(count)) + QStringLiteral(" files");
}

void HoverReadout::setNode(const AppState::NodePtr& node, bool useAllocated, double share, double maxCardWidth) {
    m_node = node;
    if (!node) {
        m_name = m_size = m_share = m_chip = QString();
        m_card = QSizeF();
        updateGeometry();
        update();
        return;
    }
    m_name = TextDraw::oneLine(node->name());
    m_size = DisplayText::sizeText(node->bytes(useAllocated));
    m_share = shareText(share);
    m_chip = node->isDirectory ? filesText(node->fileCount) : QString();

    const QSizeF glyph(NodeGlyph::frameSize(glyphSize));
    const QSizeF chip = m_chip.isEmpty() ? QSizeF() : Chip::measure(m_chip, false);
    const double fixed = 2 * padX + glyph.width() + spacing + spacing + advance(sizeFont(), m_size) + spacing +
                         advance(shareFont(), m_share) + (m_chip.isEmpty() ? 0 : spacing + chip.width());
    m_nameWidth = std::min(advance(nameFont(), m_name), std::max(0.0, maxCardWidth - fixed));
    double content = glyph.height();
    for (const QFont& font : {nameFont(), sizeFont(), shareFont()}) content = std::max(content, QFontMetricsF(font).height());
    content = std::max(content, chip.height());
    m_card = QSizeF(std::ceil(fixed + m_nameWidth), std::ceil(content + 2 * padY));
    const double reach = m_shadow.reach();
    resize(int(std::ceil(m_card.width() + 2 * reach)), int(std::ceil(m_card.height() + 2 * reach)));
    updateGeometry();
    update();
}

void HoverReadout::setOpacity(double opacity) {
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (opacity == m_opacity) return;
    m_opacity = opacity;
    update();
}

QRectF HoverReadout::cardRect() const {
    const double reach = m_shadow.reach();
    return {reach, reach, m_card.width(), m_card.height()};
}

QSize HoverReadout::sizeHint() const {
    const double reach = m_shadow.reach();
    return {int(std::ceil(m_card.width() + 2 * reach)), int(std::ceil(m_card.height() + 2 * reach))};
}

void HoverReadout::paintEvent(QPaintEvent*) {
    if (!m_node || m_card.isEmpty() || m_opacity <= 0) return;
    QPainter painter(this);
    if (m_opacity >= 1) {
        paintCard(painter);
        return;
    }
    // Fading, the card is one layer: drawn whole first, then laid down at the opacity, so its
    // shadow does not show through its own surface.
    const qreal ratio = devicePixelRatioF();
    QImage layer(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        paintCard(layerPainter);
    }
    painter.setOpacity(m_opacity);
    painter.drawImage(QPointF(0, 0), layer);
}

void HoverReadout::paintCard(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QRectF card = cardRect();
    const Theme& t = theme();
    m_shadow.paint(painter, card, corner);
    ShapePaint::fillRounded(painter, card, corner, ShapePaint::withOpacity(t.surfaceRaised, 0.96));

    const QRectF row = card.adjusted(padX, padY, -padX, -padY);
    double x = row.left();
    const QSizeF glyph(NodeGlyph::frameSize(glyphSize));
    NodeGlyph::paint(painter, QRectF(x, row.center().y() - glyph.height() / 2, glyph.width(), glyph.height()), t,
                     *m_node, glyphSize);
    x += glyph.width() + spacing;
    auto text = [&](const QString& s, const QFont& font, const QColor& color, double w, TextDraw::Truncation cut) {
        TextDraw::Style style{font, color};
        style.truncation = cut;
        TextDraw::draw(painter, QRectF(x, row.top(), w, row.height()), s, style);
        x += w + spacing;
    };
    text(m_name, nameFont(), t.text, m_nameWidth, TextDraw::Truncation::middle);
    text(m_size, sizeFont(), t.accent, advance(sizeFont(), m_size), TextDraw::Truncation::tail);
    text(m_share, shareFont(), t.textTertiary, advance(shareFont(), m_share), TextDraw::Truncation::tail);
    if (!m_chip.isEmpty()) {
        const QSizeF chip = Chip::measure(m_chip, false);
        Chip::paint(painter, QRectF(x, row.center().y() - chip.height() / 2, chip.width(), chip.height()), t, m_chip,
                    std::nullopt, std::nullopt);
    }
    ShapePaint::strokeInside(painter, card, corner, t.stroke);
}

} // namespace tallymere
