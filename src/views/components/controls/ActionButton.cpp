#include "views/components/controls/ActionButton.h"

#include "style/Typography.h"
#include "style/Motion.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/FocusRing.h"
#include "style/SymbolImage.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace tallymere {

namespace {
constexpr double iconSpacing = 7;
constexpr int hoverDurationMs = 140;
} // namespace

ActionButton::ActionButton(const QString& title, std::string_view symbol, bool prominent, bool compact,
                           std::function<void()> action, QWidget* parent)
    : ClickableWidget(std::move(action), parent), m_title(title), m_symbol(symbol), m_prominent(prominent),
      m_compact(compact), m_hoverAnimation(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    placeRing();
    m_hoverAnimation->setObjectName(QStringLiteral("hoverAnimation"));
    m_hoverAnimation->setDuration(hoverDurationMs);
    m_hoverAnimation->setEasingCurve(Motion::easeOut());
    connect(m_hoverAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_hoverProgress = value.toDouble();
        update();
    });
}

void ActionButton::setTitle(const QString& title) {
    if (title == m_title) return;
    m_title = title;
    updateGeometry();
    update();
}

void ActionButton::setSymbol(std::string_view symbol) {
    if (symbol == m_symbol) return;
    m_symbol = symbol;
    update();
}

void ActionButton::setProminent(bool prominent) {
    if (prominent == m_prominent) return;
    m_prominent = prominent;
    placeRing();
    update();
}

void ActionButton::placeRing() {
    // On the accent fill of a prominent button the accent ring would not show: it goes round it.
    FocusRing::drawOutside(this, m_prominent ? ringGap : 0, cornerRadius);
}

QFont ActionButton::titleFont() const { return Typography::font(m_compact ? 11 : 12.5, QFont::DemiBold); }

QColor ActionButton::fillColor(double hover) const {
    const Theme& t = theme();
    if (m_prominent) return ShapePaint::withOpacity(t.accent, 1.0 - 0.12 * hover);
    return ColorRules::mix(t.surface, t.surfaceRaised, hover);
}

QColor ActionButton::borderColor() const { return m_prominent ? QColor(Qt::transparent) : theme().stroke; }

QColor ActionButton::contentColor() const { return m_prominent ? theme().onAccent() : theme().text; }

double ActionButton::contentHeight() const {
    return std::max(SymbolImage::size(symbolSize()).height(), QFontMetricsF(titleFont()).height());
}

QSize ActionButton::sizeHint() const {
    const double content = SymbolImage::size(symbolSize()).width() + iconSpacing +
                           QFontMetricsF(titleFont()).horizontalAdvance(m_title);
    return {int(std::ceil(content + 2 * horizontalPadding)),
            int(std::ceil(contentHeight() + 2 * verticalPadding()))};
}

QSize ActionButton::minimumSizeHint() const {
    const double content = SymbolImage::size(symbolSize()).width() + iconSpacing +
                           QFontMetricsF(titleFont()).horizontalAdvance(QStringLiteral("…"));
    return {int(std::ceil(content + 2 * horizontalPadding)), sizeHint().height()};
}

void ActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QRectF area(rect());
    ShapePaint::fillRounded(painter, area, cornerRadius, fillColor(m_hoverProgress));
    ShapePaint::strokeInside(painter, area, cornerRadius, borderColor());

    if (isPressed()) painter.setOpacity(pressedOpacity);
    const QFont font = titleFont();
    const QFontMetricsF metrics(font);
    const QSizeF icon = SymbolImage::size(symbolSize());
    const double room = std::max(area.width() - 2 * horizontalPadding - icon.width() - iconSpacing, 0.0);
    const QString shown = metrics.elidedText(m_title, Qt::ElideRight, room);
    const double titleWidth = std::min(metrics.horizontalAdvance(shown), room);
    const double contentWidth = icon.width() + iconSpacing + titleWidth;
    const double left = area.left() + std::max((area.width() - contentWidth) / 2, horizontalPadding);
    const double centreY = area.center().y();
    const QColor ink = contentColor();
    SymbolImage::draw(painter, QRectF(QPointF(left, centreY - icon.height() / 2), icon), m_symbol, symbolSize(),
                      QFont::DemiBold, ink);
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(QRectF(left + icon.width() + iconSpacing, area.top(), titleWidth + 1, area.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, shown);
}

void ActionButton::setHovering(bool hovering) {
    if (m_hovering == hovering) return;
    m_hovering = hovering;
    m_hoverAnimation->stop();
    m_hoverAnimation->setStartValue(m_hoverProgress);
    m_hoverAnimation->setEndValue(hovering ? 1.0 : 0.0);
    m_hoverAnimation->start();
}

void ActionButton::enterEvent(QEnterEvent* event) {
    setHovering(true);
    ClickableWidget::enterEvent(event);
}

void ActionButton::leaveEvent(QEvent* event) {
    setHovering(false);
    ClickableWidget::leaveEvent(event);
}

} // namespace tallymere
