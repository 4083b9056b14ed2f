#include "views/components/controls/IconToggle.h"

#include "views/components/canvas/ShapePaint.h"
#include "style/SymbolImage.h"

#include <QPainter>

namespace tallymere {

IconToggle::IconToggle(std::string_view symbol, const QString& help, bool isOn, std::function<void()> action,
                       QWidget* parent)
    : ClickableWidget(std::move(action), parent), m_symbol(symbol), m_isOn(isOn) {
    setFixedSize(frameWidth, frameHeight);
    setToolTip(help);
}

void IconToggle::setSymbol(std::string_view symbol) {
    if (m_symbol == symbol) return;
    m_symbol = symbol;
    update();
}

void IconToggle::setHelp(const QString& help) {
    if (help != toolTip()) setToolTip(help);
}

void IconToggle::setOn(bool isOn) {
    if (m_isOn == isOn) return;
    m_isOn = isOn;
    update();
}

QColor IconToggle::fillColor() const {
    if (m_isOn) return ShapePaint::withOpacity(theme().accent, 0.1);
    return m_hovering ? theme().surfaceRaised : QColor(Qt::transparent);
}

QColor IconToggle::borderColor() const {
    return m_isOn ? ShapePaint::withOpacity(theme().accent, 0.24) : QColor(Qt::transparent);
}

QColor IconToggle::symbolColor() const { return m_isOn ? theme().accent : theme().textSecondary; }

void IconToggle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF area(rect());
    ShapePaint::fillRounded(painter, area, cornerRadius, fillColor());
    ShapePaint::strokeInside(painter, area, cornerRadius, borderColor());
    if (isPressed()) painter.setOpacity(pressedOpacity);
    SymbolImage::draw(painter, area, m_symbol, symbolSize, QFont::DemiBold, symbolColor());
}

void IconToggle::enterEvent(QEnterEvent* event) {
    m_hovering = true;
    update();
    ClickableWidget::enterEvent(event);
}

void IconToggle::leaveEvent(QEvent* event) {
    m_hovering = false;
    update();
    ClickableWidget::leaveEvent(event);
}

} // namespace tallymere
