#include "views/tools/applications/LeftoverRow.h"

#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/TextDraw.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/ItemButton.h"
#include "views/tools/applications/AppsText.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double kindWidth = 122, spacing = 9, padY = 2, revealSymbol = 10;
QFont kindFont() { return Typography::font(9, QFont::DemiBold); }
QFont nameFont() { return Typography::font(11, QFont::Normal); }
QFont sizeFont() { return Typography::font(11, QFont::DemiBold); }
} // namespace

LeftoverRow::LeftoverRow(const LeftoverItem& item, std::function<void()> reveal, QWidget* parent)
    : ClickableWidget({}, parent), m_item(item), m_reveal(std::move(reveal)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    addItemButton([this] {
        if (m_reveal) m_reveal();
    });
    // The row has no outline and little room above and below: the ring goes round it.
    FocusRing::drawOutside(this, 4, 6);
}

QRectF LeftoverRow::buttonRect() const {
    const QSizeF box = SymbolImage::size(revealSymbol);
    return {width() - box.width(), (height() - box.height()) / 2, box.width(), box.height()};
}

void LeftoverRow::resizeEvent(QResizeEvent* event) {
    ClickableWidget::resizeEvent(event);
    itemButton()->place(buttonRect(), 4);
}

bool LeftoverRow::event(QEvent* event) {
    // The row is barely taller than the button: the button's ring goes in the room around the row.
    if (event->type() == QEvent::ParentChange && parentWidget()) itemButton()->setHost(parentWidget());
    return ClickableWidget::event(event);
}

QSize LeftoverRow::sizeHint() const {
    const double line = std::max({QFontMetricsF(kindFont()).height(), QFontMetricsF(nameFont()).height(),
                                  QFontMetricsF(sizeFont()).height(), SymbolImage::size(revealSymbol).height()});
    return {400, int(std::ceil(line + 2 * padY))};
}

QSize LeftoverRow::minimumSizeHint() const { return {200, sizeHint().height()}; }

void LeftoverRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Theme& t = theme();
    const QRectF line(0, padY, width(), height() - 2 * padY);
    TextDraw::draw(painter, QRectF(0, line.top(), kindWidth, line.height()), QString::fromStdString(m_item.kind),
                   {.font = kindFont(), .color = t.textTertiary});
    const QRectF button = buttonRect();
    SymbolImage::draw(painter, button, "arrow.up.forward.app", revealSymbol, QFont::Normal,
                      m_pressed ? t.textSecondary : t.textTertiary);
    const QString sizeText = DisplayText::sizeText(m_item.size);
    const TextDraw::Style size{.font = sizeFont(), .color = t.textSecondary, .alignment = Qt::AlignRight | Qt::AlignVCenter};
    const double sizeWidth = TextDraw::width(sizeText, size);
    const double sizeRight = button.left() - spacing;
    TextDraw::draw(painter, QRectF(sizeRight - sizeWidth, line.top(), sizeWidth, line.height()), sizeText, size);
    const double nameLeft = kindWidth + spacing;
    TextDraw::draw(painter, QRectF(nameLeft, line.top(), std::max(sizeRight - sizeWidth - spacing - nameLeft, 0.0), line.height()),
                   AppsText::leafText(m_item.path),
                   {.font = nameFont(), .color = t.text, .truncation = TextDraw::Truncation::middle});
}

void LeftoverRow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && buttonRect().adjusted(-4, -4, 4, 4).contains(event->position())) {
        m_pressed = true;
        update();
        return;
    }
    ThemedWidget::mousePressEvent(event);
}

void LeftoverRow::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_pressed) return ThemedWidget::mouseReleaseEvent(event);
    m_pressed = false;
    update();
    if (buttonRect().adjusted(-4, -4, 4, 4).contains(event->position()) && m_reveal) m_reveal();
}

} // namespace tallymere
