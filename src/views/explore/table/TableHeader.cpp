#include "views/explore/table/TableHeader.h"

#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/FocusChain.h"
#include "views/components/TextDraw.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/KeyStop.h"
#include "views/explore/table/TableColumns.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double verticalInset = 6;
constexpr double chevronSize = 7;
constexpr double chevronGap = 3;

QFont titleFont() { return Typography::font(10, QFont::Bold); }

double contentHeight() {
    return std::max(QFontMetricsF(titleFont()).height(), SymbolImage::size(chevronSize).height());
}

} // namespace

TableHeader::TableHeader(QWidget* parent) : ThemedWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The titles are one stop of Tab: Left and Right walk them, Space and Return sort by one.
    FocusChain::makeGroup(this);
    for (TableColumn column : TableRows::columns) {
        auto* stop = new KeyStop([this, column] {
            if (m_onClick) m_onClick(column);
        }, this);
        stop->setObjectName(QString::fromLatin1(TableRows::title(column)));
        m_stops.push_back(stop);
    }
}

void TableHeader::setSort(TableColumn column, bool ascending) {
    if (column == m_sort && ascending == m_ascending) return;
    m_sort = column;
    m_ascending = ascending;
    placeStops();
    update();
}

void TableHeader::setTrailingMargin(int margin) {
    if (m_trailingMargin == margin) return;
    m_trailingMargin = margin;
    placeStops();
    update();
}

void TableHeader::placeStops() {
    // The ring goes round the title as drawn, with the room a line of text needs.
    for (std::size_t i = 0; i < m_stops.size(); ++i)
        m_stops[i]->place(titleRect(TableRows::columns[i]), 4, FocusRing::textOutset);
}

QRectF TableHeader::titleRect(TableColumn column) const {
    const QRectF cell = cellRect(column).adjusted(0, verticalInset, 0, -verticalInset);
    const bool sorted = column == m_sort;
    const QString title = QString::fromLatin1(TableRows::title(column));
    const double chevron = sorted ? chevronGap + SymbolImage::size(chevronSize).width() : 0;
    const double room = cell.width() - chevron;
    const double titleWidth = std::min(TextDraw::width(title, {titleFont(), QColor()}), std::max(0.0, room));
    const double used = titleWidth + chevron;
    const double left = TableColumns::isTrailing(column) ? cell.right() - used : cell.left();
    return {left, cell.top(), used, cell.height()};
}

void TableHeader::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    placeStops();
}

QSize TableHeader::sizeHint() const {
    // The divider's line sits under the padded titles.
    return {600, static_cast<int>(std::ceil(contentHeight() + 2 * verticalInset)) + 1};
}

QRectF TableHeader::cellRect(TableColumn column) const {
    const auto span = TableColumns::spans(width() - m_trailingMargin)[static_cast<std::size_t>(column)];
    return {span.left, 0, span.width, static_cast<double>(height() - 1)};
}

int TableHeader::columnAt(QPointF point) const {
    for (TableColumn column : TableRows::columns)
        if (cellRect(column).contains(point)) return static_cast<int>(column);
    return -1;
}

void TableHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Theme& t = theme();
    const double lineY = height() - 1;
    painter.fillRect(QRectF(0, 0, width(), lineY), ShapePaint::withOpacity(t.surface, 0.6));
    painter.fillRect(QRectF(0, lineY, width(), 1), t.stroke);

    const QSizeF chevron = SymbolImage::size(chevronSize);
    for (TableColumn column : TableRows::columns) {
        const QRectF used = titleRect(column);
        const bool sorted = column == m_sort;
        const QString title = QString::fromLatin1(TableRows::title(column));
        TextDraw::Style style{titleFont(), sorted ? t.text : t.textTertiary};
        const double titleWidth = used.width() - (sorted ? chevronGap + chevron.width() : 0);
        painter.save();
        if (m_pressed == static_cast<int>(column)) painter.setOpacity(0.7);
        TextDraw::draw(painter, QRectF(used.left(), used.top(), titleWidth, used.height()), title, style);
        if (sorted) {
            const QRectF box(used.left() + titleWidth + chevronGap, used.center().y() - chevron.height() / 2,
                             chevron.width(), chevron.height());
            SymbolImage::draw(painter, box, m_ascending ? "chevron.up" : "chevron.down", chevronSize, QFont::Black,
                              t.accent);
        }
        painter.restore();
    }
}

void TableHeader::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mousePressEvent(event);
    m_pressed = columnAt(event->position());
    update();
}

void TableHeader::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mouseReleaseEvent(event);
    const int pressed = m_pressed;
    m_pressed = -1;
    update();
    if (pressed >= 0 && columnAt(event->position()) == pressed && m_onClick)
        m_onClick(static_cast<TableColumn>(pressed));
}

} // namespace tallymere
