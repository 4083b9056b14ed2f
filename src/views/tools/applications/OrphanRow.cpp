#include "views/tools/applications/OrphanRow.h"

#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/TextDraw.h"
#include "views/components/controls/ItemButton.h"
#include "views/tools/applications/AppsText.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double padX = 12, padY = 4, spacing = 8, symbolFrame = 18, minimumGap = 4;
constexpr double folderSymbol = 12, plusSymbol = 11;

QFont nameFont() { return Typography::font(11, QFont::Normal); }
QFont kindFont() { return Typography::font(9, QFont::Normal); }
QFont sizeFont() { return Typography::font(10.5, QFont::DemiBold); }
} // namespace

OrphanRow::OrphanRow(const LeftoverItem& item, Actions actions, QWidget* parent)
    : ClickableWidget({}, parent), m_item(item), m_actions(std::move(actions)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    addItemButton([this] {
        if (m_actions.stage) m_actions.stage();
    });
    setToolTip(TextDraw::plainToolTip(TextDraw::oneLine(m_item.path)));
}

QStringList OrphanRow::menuEntries() { return {QStringLiteral("Reveal in Finder"), QStringLiteral("Copy Path")}; }

void OrphanRow::runMenuEntry(int index) {
    const auto& action = index == 0 ? m_actions.reveal : m_actions.copyPath;
    if (action) action();
}

QRectF OrphanRow::buttonRect() const {
    const QSizeF box = SymbolImage::size(plusSymbol);
    return {width() - padX - box.width(), (height() - box.height()) / 2, box.width(), box.height()};
}

void OrphanRow::resizeEvent(QResizeEvent* event) {
    ClickableWidget::resizeEvent(event);
    // The ring goes round the plus sign's circle, inside the row.
    itemButton()->place(buttonRect(), buttonRect().height());
}

QSize OrphanRow::sizeHint() const {
    const double text = QFontMetricsF(nameFont()).height() + QFontMetricsF(kindFont()).height();
    return {300, int(std::ceil(std::max(text, SymbolImage::size(folderSymbol).height()) + 2 * padY))};
}

QSize OrphanRow::minimumSizeHint() const { return {120, sizeHint().height()}; }

void OrphanRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Theme& t = theme();
    const QRectF content = QRectF(rect()).adjusted(padX, padY, -padX, -padY);
    SymbolImage::draw(painter, QRectF(content.left(), content.top(), symbolFrame, content.height()),
                      "questionmark.folder.fill", folderSymbol, QFont::Normal, t.warning);
    const QRectF button = buttonRect();
    SymbolImage::draw(painter, button, "plus.circle", plusSymbol, QFont::Normal,
                      m_pressedButton ? t.textSecondary : t.textTertiary);
    const QString sizeText = DisplayText::sizeText(m_item.size);
    const TextDraw::Style size{.font = sizeFont(), .color = t.textSecondary, .alignment = Qt::AlignRight | Qt::AlignVCenter};
    const double sizeWidth = TextDraw::width(sizeText, size);
    const double sizeRight = button.left() - spacing;
    TextDraw::draw(painter, QRectF(sizeRight - sizeWidth, content.top(), sizeWidth, content.height()), sizeText, size);
    const double textLeft = content.left() + symbolFrame + spacing;
    // The flexible space between name and size keeps its 4 points and the stack's spacing on both
    // of its sides.
    const double textWidth = std::max(sizeRight - sizeWidth - (spacing + minimumGap + spacing) - textLeft, 0.0);
    const double nameHeight = QFontMetricsF(nameFont()).height();
    const double kindHeight = QFontMetricsF(kindFont()).height();
    const double top = content.center().y() - (nameHeight + kindHeight) / 2;
    TextDraw::draw(painter, QRectF(textLeft, top, textWidth, nameHeight), AppsText::leafText(m_item.path),
                   {.font = nameFont(), .color = t.text, .truncation = TextDraw::Truncation::middle});
    TextDraw::draw(painter, QRectF(textLeft, top + nameHeight, textWidth, kindHeight), QString::fromStdString(m_item.kind),
                   {.font = kindFont(), .color = t.textTertiary});
}

void OrphanRow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && buttonRect().adjusted(-4, -4, 4, 4).contains(event->position())) {
        m_pressedButton = true;
        update();
        return;
    }
    ThemedWidget::mousePressEvent(event);
}

void OrphanRow::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_pressedButton) return ThemedWidget::mouseReleaseEvent(event);
    m_pressedButton = false;
    update();
    if (buttonRect().adjusted(-4, -4, 4, 4).contains(event->position()) && m_actions.stage) m_actions.stage();
}

void OrphanRow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    const QStringList entries = menuEntries();
    for (int i = 0; i < entries.size(); ++i) menu.addAction(entries[i], this, [this, i] { runMenuEntry(i); });
    // By the keyboard the menu opens under the row's name rather than where the pointer rests.
    const bool byKeys = event->reason() == QContextMenuEvent::Keyboard;
    menu.exec(byKeys ? mapToGlobal(QPoint(int(padX) + 24, height())) : event->globalPos());
}

} // namespace tallymere
