#include "views/tools/applications/AppRow.h"

#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/tools/applications/AppIcon.h"
#include "views/tools/applications/AppsText.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>

#include <cmath>

namespace tallymere {

namespace {
constexpr double outerMargin = 5, padX = 11, padY = 6, iconSize = 24, spacing = 9, minimumGap = 4, radius = 7;
}

AppRow::AppRow(const InstalledApp& app, std::function<void()> select, QWidget* parent)
    : ClickableWidget(std::move(select), parent), m_app(app) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setToolTip(TextDraw::plainToolTip(TextDraw::oneLine(m_app.name)));
}

double AppRow::ringRadius() const { return radius; }

void AppRow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier)) return ClickableWidget::keyPressEvent(event);
    const QPointer<AppRow> alive(this);
    if (!m_selected) activate();
    if (alive && m_enter) m_enter();
    event->accept();
}

void AppRow::focusInEvent(QFocusEvent* event) {
    ClickableWidget::focusInEvent(event);
    // The selection follows the keyboard through the list; a click selects by its own action.
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::OtherFocusReason:
        if (!m_selected) activate();
        break;
    default: break;
    }
}

QFont AppRow::nameFont() { return Typography::font(12, QFont::Medium); }
QFont AppRow::captionFont() { return Typography::font(9, QFont::Normal); }
QFont AppRow::totalFont() { return Typography::font(11, QFont::DemiBold); }

void AppRow::setSelected(bool selected) {
    if (selected == m_selected) return;
    m_selected = selected;
    update();
}

void AppRow::setHovering(bool hovering) {
    if (hovering == m_hovering) return;
    m_hovering = hovering;
    update();
}

QColor AppRow::highlightColor() const {
    if (m_selected) return ShapePaint::withOpacity(theme().accent, 0.18);
    if (m_hovering) return ShapePaint::withOpacity(theme().surfaceRaised, 0.7);
    return Qt::transparent;
}

QRectF AppRow::highlightRect() const { return QRectF(rect()).adjusted(outerMargin, 0, -outerMargin, 0); }

QString AppRow::caption() const { return AppsText::rowCaption(m_app); }

QString AppRow::totalText() const { return DisplayText::sizeText(AppsText::footprintTotal(m_app)); }

QSize AppRow::sizeHint() const {
    const double text = QFontMetricsF(nameFont()).height() + QFontMetricsF(captionFont()).height();
    return {300, int(std::ceil(std::max(iconSize, text) + 2 * padY))};
}

QSize AppRow::minimumSizeHint() const { return {120, sizeHint().height()}; }

void AppRow::enterEvent(QEnterEvent* event) {
    ClickableWidget::enterEvent(event);
    setHovering(true);
}

void AppRow::leaveEvent(QEvent* event) {
    ClickableWidget::leaveEvent(event);
    setHovering(false);
}

void AppRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    if (isPressed()) painter.setOpacity(pressedOpacity);
    const Theme& t = theme();
    const QRectF highlight = highlightRect();
    if (const QColor fill = highlightColor(); fill.alpha() > 0) ShapePaint::fillRounded(painter, highlight, radius, fill);

    const QRectF content = highlight.adjusted(padX, padY, -padX, -padY);
    AppIcon::paint(painter, QRectF(content.left(), content.center().y() - iconSize / 2, iconSize, iconSize), m_app, t, this);

    const TextDraw::Style total{.font = totalFont(), .color = t.textSecondary, .alignment = Qt::AlignRight | Qt::AlignVCenter};
    const QString totalLabel = totalText();
    const double totalWidth = std::min(TextDraw::width(totalLabel, total), content.width());
    TextDraw::draw(painter, QRectF(content.right() - totalWidth, content.top(), totalWidth, content.height()), totalLabel, total);

    const double textLeft = content.left() + iconSize + spacing;
    // The flexible space between name and total keeps its 4 points and the stack's spacing on
    // both of its sides.
    const double textWidth = std::max(content.right() - totalWidth - (spacing + minimumGap + spacing) - textLeft, 0.0);
    const double nameHeight = QFontMetricsF(nameFont()).height();
    const double captionHeight = QFontMetricsF(captionFont()).height();
    const double top = content.center().y() - (nameHeight + captionHeight) / 2;
    TextDraw::draw(painter, QRectF(textLeft, top, textWidth, nameHeight), TextDraw::oneLine(m_app.name),
                   {.font = nameFont(), .color = t.text});
    const bool leftovers = AppsText::leftoverTotal(m_app) > 0;
    TextDraw::draw(painter, QRectF(textLeft, top + nameHeight, textWidth, captionHeight), caption(),
                   {.font = captionFont(), .color = leftovers ? ShapePaint::withOpacity(t.warning, 0.9) : t.textTertiary});
}

} // namespace tallymere
