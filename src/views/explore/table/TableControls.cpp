#include "views/explore/table/TableControls.h"

#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/KeyStop.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double sideInset = 14;
constexpr double verticalInset = 8;
constexpr double spacing = 10;
constexpr double switchWidth = 26;
constexpr double switchHeight = 15;
constexpr double labelGap = 6;

QFont labelFont() { return Typography::font(11, QFont::Normal); }
QFont countFont() { return Typography::font(10.5, QFont::Normal); }
QFont exportFont() { return Typography::font(11, QFont::DemiBold); }

const QString label = QStringLiteral("Include everything below");
const QString exportTitle = QStringLiteral("Export CSV");

double contentHeight() {
    return std::max({QFontMetricsF(labelFont()).height(), switchHeight, QFontMetricsF(exportFont()).height(),
                     SymbolImage::size(10).height()});
}

double exportWidth() {
    return SymbolImage::size(10).width() + 4 + QFontMetricsF(exportFont()).horizontalAdvance(exportTitle);
}

} // namespace

TableControls::TableControls(QWidget* parent)
    : ThemedWidget(parent), m_switchStop(new KeyStop([this] {
          if (m_onToggle) m_onToggle();
      }, this)),
      m_exportStop(new KeyStop([this] {
          if (m_onExport) m_onExport();
      }, this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_switchStop->setObjectName(QStringLiteral("recursive"));
    m_exportStop->setObjectName(QStringLiteral("export"));
}

void TableControls::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    m_switchStop->place(switchArea(), 5, FocusRing::textOutset);
    m_exportStop->place(exportArea(), 5, FocusRing::textOutset);
}

void TableControls::setRecursive(bool on) {
    if (m_recursive == on) return;
    m_recursive = on;
    update();
}

void TableControls::setRowCount(std::int64_t rows) {
    if (m_rows == rows) return;
    m_rows = rows;
    update();
}

QString TableControls::countText() const {
    return QLocale::system().toString(static_cast<qlonglong>(m_rows)) + QStringLiteral(" rows");
}

QSize TableControls::sizeHint() const {
    const double width = 2 * sideInset + QFontMetricsF(labelFont()).horizontalAdvance(label) + labelGap + switchWidth +
                         3 * spacing + QFontMetricsF(countFont()).horizontalAdvance(countText()) + exportWidth();
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(contentHeight() + 2 * verticalInset))};
}

QRectF TableControls::switchArea() const {
    const double width = QFontMetricsF(labelFont()).horizontalAdvance(label) + labelGap + switchWidth;
    return {sideInset, verticalInset, width, contentHeight()};
}

QRectF TableControls::exportArea() const {
    return {width() - sideInset - exportWidth(), verticalInset, exportWidth(), contentHeight()};
}

TableControls::Target TableControls::targetAt(QPointF point) const {
    if (switchArea().contains(point)) return Target::toggle;
    if (exportArea().contains(point)) return Target::exportButton;
    return Target::none;
}

void TableControls::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Theme& t = theme();
    const QRectF area = switchArea();
    const QRectF labelBox = TextDraw::draw(painter, area, label, {labelFont(), t.textSecondary});
    const QRectF track(labelBox.right() + labelGap, area.center().y() - switchHeight / 2, switchWidth, switchHeight);
    painter.save();
    if (m_pressed == Target::toggle) painter.setOpacity(0.7);
    ShapePaint::fillRounded(painter, track, switchHeight / 2,
                            m_recursive ? t.accent : ShapePaint::withOpacity(t.textTertiary, 0.35));
    const double knob = switchHeight - 2;
    const QRectF knobRect(m_recursive ? track.right() - 1 - knob : track.left() + 1, track.top() + 1, knob, knob);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(ShapePaint::withOpacity(Qt::black, 0.12), 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knobRect);
    painter.restore();

    const QRectF button = exportArea();
    const QString count = countText();
    const double countWidth = QFontMetricsF(countFont()).horizontalAdvance(count);
    const double countLeft = std::max(track.right() + spacing, button.left() - spacing - countWidth);
    TextDraw::draw(painter, QRectF(countLeft, button.top(), button.left() - spacing - countLeft, button.height()), count,
                   {countFont(), t.textTertiary, Qt::AlignRight | Qt::AlignVCenter});

    painter.save();
    if (m_pressed == Target::exportButton) painter.setOpacity(0.7);
    const QSizeF symbol = SymbolImage::size(10);
    const QRectF symbolBox(button.left(), button.center().y() - symbol.height() / 2, symbol.width(), symbol.height());
    SymbolImage::draw(painter, symbolBox, "square.and.arrow.up", 10, QFont::Normal, t.accent);
    TextDraw::draw(painter, QRectF(symbolBox.right() + 4, button.top(), button.right() - symbolBox.right() - 4, button.height()),
                   exportTitle, {exportFont(), t.accent});
    painter.restore();
}

void TableControls::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mousePressEvent(event);
    m_pressed = targetAt(event->position());
    update();
}

void TableControls::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mouseReleaseEvent(event);
    const Target pressed = m_pressed;
    m_pressed = Target::none;
    update();
    if (pressed == Target::none || targetAt(event->position()) != pressed) return;
    if (pressed == Target::toggle && m_onToggle) m_onToggle();
    if (pressed == Target::exportButton && m_onExport) m_onExport();
}

} // namespace tallymere
