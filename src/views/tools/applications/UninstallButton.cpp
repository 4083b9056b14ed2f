#include "views/tools/applications/UninstallButton.h"

#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/FocusRing.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double padX = 14, padY = 9, spacing = 6, symbolSize = 11;
QFont titleFont() { return Typography::font(12, QFont::Bold); }
} // namespace

UninstallButton::UninstallButton(std::function<void()> action, QWidget* parent) : ClickableWidget(std::move(action), parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    // Round its filled capsule, where the ring shows.
    FocusRing::drawOutside(this, 3, -1);
}

QSize UninstallButton::sizeHint() const {
    const QSizeF symbol = SymbolImage::size(symbolSize);
    const QFontMetricsF metrics(titleFont());
    return {int(std::ceil(padX + symbol.width() + spacing + metrics.horizontalAdvance(title()) + padX)),
            int(std::ceil(padY + std::max(symbol.height(), metrics.height()) + padY))};
}

void UninstallButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    if (isPressed()) painter.setOpacity(pressedOpacity);
    const QRectF capsule(rect());
    ShapePaint::fillRounded(painter, capsule, ShapePaint::capsuleRadius(capsule), theme().danger);
    const QSizeF symbol = SymbolImage::size(symbolSize);
    SymbolImage::draw(painter, QRectF(padX, (height() - symbol.height()) / 2, symbol.width(), symbol.height()), "trash.fill",
                      symbolSize, QFont::Bold, Qt::white);
    painter.setFont(titleFont());
    painter.setPen(Qt::white);
    painter.drawText(QRectF(padX + symbol.width() + spacing, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, title());
}

} // namespace tallymere
