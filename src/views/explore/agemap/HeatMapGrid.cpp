#include "views/explore/agemap/HeatMapGrid.h"

#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double spacing = 3;
constexpr double yearWidth = 40;
constexpr double headHeight = 12;
constexpr double cellRadius = 5;
constexpr double outlineWidth = 1.4;
constexpr double labelThreshold = 0.55;
constexpr double labelInset = 3;
constexpr double legendSpacing = 6;
// Between the grid's stack and the legend, as between the members of the panel.
constexpr double legendGap = 8;
constexpr double swatchWidth = 15;
constexpr double swatchHeight = 10;
constexpr double swatchRadius = 2.5;

const char* const columnHeads[12] = {"J", "F", "M", "A", "M", "J", "J", "A", "S", "O", "N", "D"};
const char* const abbreviations[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

QFont headFont() { return Typography::font(9, QFont::DemiBold); }
QFont yearFont() { return Typography::font(10, QFont::DemiBold); }
QFont cellLabelFont() { return Typography::font(9, QFont::Bold); }
QFont legendFont() { return Typography::font(9, QFont::Normal); }
QFont busiestFont() { return Typography::font(9.5, QFont::Normal); }
QFont messageFont() { return Typography::font(11, QFont::Normal); }

TextDraw::Style cellLabelStyle() {
    return {.font = cellLabelFont(),
            .color = QColor(0, 0, 0, qRound(0.72 * 255)),
            .alignment = Qt::AlignCenter,
            .minimumScale = 0.7};
}

const QString emptyMessage = QStringLiteral("No timestamps to plot here.");

} // namespace

HeatMapGrid::HeatMapGrid(QWidget* parent) : ThemedWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // The picture covers the whole widget with the panel's surface and what lies on it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void HeatMapGrid::setMap(const AgeMapModel::AgeMap& map) {
    m_cells = map.cells;
    // The heads, year labels and legend's key stay while the years do.
    if (map.years != m_years) m_picture.invalidate();
    else m_picture.invalidateContent();
    m_years = map.years;
    m_peak = std::max<std::int64_t>(map.peak, 1);
    // The busiest month's text is part of the least width.
    updateGeometry();
    update();
}

void HeatMapGrid::clear() {
    m_cells.clear();
    m_years.clear();
    m_picture.invalidate();
    updateGeometry();
    update();
}

const AgeMapModel::Cell* HeatMapGrid::cell(int year, int month) const {
    const int id = year * 12 + month;
    const auto found = std::lower_bound(m_cells.begin(), m_cells.end(), id,
                                        [](const AgeMapModel::Cell& c, int key) { return c.id < key; });
    return found != m_cells.end() && found->id == id ? &*found : nullptr;
}

double HeatMapGrid::intensity(int year, int month) const {
    const AgeMapModel::Cell* found = cell(year, month);
    if (!found) return 0;
    return std::pow(static_cast<double>(found->bytes) / static_cast<double>(m_peak), 0.45);
}

QColor HeatMapGrid::heatColor(const Theme& theme, double t) {
    if (!(t > 0)) return ShapePaint::withOpacity(theme.background, 0.55);
    return ShapePaint::withOpacity(ColorRules::mix(theme.accent, theme.accentSecondary, std::min(t, 1.0)),
                                   0.2 + 0.8 * std::min(t, 1.0));
}

double HeatMapGrid::rowHeight(std::size_t years) {
    if (years <= 1) return 62;
    if (years == 2) return 56;
    if (years == 3) return 48;
    if (years <= 6) return 40;
    return 30;
}

QString HeatMapGrid::monthAbbreviation(int month) {
    return QString::fromLatin1(abbreviations[std::clamp(month - 1, 0, 11)]);
}

QSize HeatMapGrid::sizeHint() const {
    if (m_years.empty()) return minimumSizeHint();
    const double rows = static_cast<double>(m_years.size());
    const double grid = headHeight + rows * (rowHeight(m_years.size()) + spacing);
    return {int(yearWidth + 12 * (spacing + 12)), int(std::ceil(grid + legendGap + legendHeight()))};
}

QSize HeatMapGrid::minimumSizeHint() const {
    if (m_years.empty()) return {0, int(std::ceil(QFontMetricsF(messageFont()).height()))};
    const double rows = static_cast<double>(m_years.size());
    const double grid = headHeight + rows * (rowHeight(m_years.size()) + spacing);
    const double width = std::max(yearWidth + 12 * (spacing + 12), legendWidth());
    return {int(std::ceil(width)), int(std::ceil(grid + legendGap + legendHeight()))};
}

double HeatMapGrid::moreRight() const {
    const double moreLeft = legendSwatchRect(5).right() + legendSpacing;
    return moreLeft + QFontMetricsF(legendFont()).horizontalAdvance(QStringLiteral("more"));
}

QRectF HeatMapGrid::legendRect() const { return {0, height() - legendHeight(), moreRight(), legendHeight()}; }

double HeatMapGrid::legendWidth() const {
    return moreRight() + 2 * legendSpacing + QFontMetricsF(busiestFont()).horizontalAdvance(busiestText());
}

QRectF HeatMapGrid::busiestRect() const {
    // Right-aligned after the legend, never over it.
    const double left = moreRight() + 2 * legendSpacing;
    const double textWidth = std::ceil(QFontMetricsF(busiestFont()).horizontalAdvance(busiestText()));
    const double room = std::max(width() - left, 0.0);
    const double shown = std::min(textWidth, room);
    return {width() - shown, height() - legendHeight(), shown, legendHeight()};
}

double HeatMapGrid::shownRowHeight() const { return rowHeight(m_years.size()); }

double HeatMapGrid::legendHeight() const {
    return std::max({QFontMetricsF(legendFont()).height(), swatchHeight, QFontMetricsF(busiestFont()).height()});
}

QRectF HeatMapGrid::cellRect(std::size_t yearRow, int month) const {
    const double cellWidth = std::max((width() - yearWidth - 12 * spacing) / 12.0, 0.0);
    const double row = shownRowHeight();
    const double left = yearWidth + spacing + (month - 1) * (cellWidth + spacing);
    const double top = headHeight + spacing + static_cast<double>(yearRow) * (row + spacing);
    return {left, top, cellWidth, row};
}

QRectF HeatMapGrid::legendSwatchRect(int index) const {
    const double lessWidth = QFontMetricsF(legendFont()).horizontalAdvance(QStringLiteral("less"));
    const double top = height() - legendHeight();
    const double left = lessWidth + legendSpacing + index * (swatchWidth + legendSpacing);
    return {left, top + (legendHeight() - swatchHeight) / 2, swatchWidth, swatchHeight};
}

std::optional<std::pair<std::size_t, int>> HeatMapGrid::cellAt(QPointF point) const {
    for (std::size_t row = 0; row < m_years.size(); ++row) {
        const QRectF first = cellRect(row, 1);
        if (point.y() < first.top() || point.y() >= first.bottom()) continue;
        for (int month = 1; month <= 12; ++month)
            if (cellRect(row, month).contains(point)) return std::pair{row, month};
    }
    return std::nullopt;
}

QString HeatMapGrid::helpText(int year, int month) const {
    const AgeMapModel::Cell* found = cell(year, month);
    if (!found) return {};
    return monthAbbreviation(month) + QLatin1Char(' ') + QString::number(year) + QStringLiteral(" \u2014 ") +
           DisplayText::sizeText(found->bytes);
}

QString HeatMapGrid::busiestText() const { return QStringLiteral("Busiest month: ") + DisplayText::sizeText(m_peak); }

void HeatMapGrid::setHoverCell(std::optional<AgeMapModel::Cell> cell) {
    if (cell == m_hoverCell) return;
    m_hoverCell = cell;
    m_picture.invalidateContent();
    update();
    emit hoverCellChanged();
}

void HeatMapGrid::mouseMoveEvent(QMouseEvent* event) {
    const auto at = cellAt(event->position());
    const AgeMapModel::Cell* found = at ? cell(m_years[at->first], at->second) : nullptr;
    setHoverCell(found ? std::optional(*found) : std::nullopt);
    ThemedWidget::mouseMoveEvent(event);
}

void HeatMapGrid::leaveEvent(QEvent* event) {
    setHoverCell(std::nullopt);
    ThemedWidget::leaveEvent(event);
}

bool HeatMapGrid::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const auto at = cellAt(help->pos());
        const QString text = at ? helpText(m_years[at->first], at->second) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this, cellRect(at->first, at->second).toRect());
        return true;
    }
    return ThemedWidget::event(event);
}

void HeatMapGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // Bands of year rows, each drawn on its own thread: the edges lie in the gaps between rows,
    // which nothing drawn crosses. About three rows a band keep every thread's share worth its
    // hand-over.
    constexpr std::size_t rowsPerBand = 3;
    std::vector<double> edges;
    for (std::size_t row = rowsPerBand; row < m_years.size(); row += rowsPerBand)
        edges.push_back(cellRect(row, 1).top() - spacing / 2);
    const auto rowsOf = [this, &edges](std::size_t band) {
        const std::size_t first = band * rowsPerBand;
        return std::pair{first, band < edges.size() ? first + rowsPerBand : m_years.size()};
    };
    prepareLabels();
    m_picture.paint(
        painter, *this, event->region(), theme().surface, edges,
        [&](QPainter& p, std::size_t band) {
            const auto [first, last] = rowsOf(band);
            paintContent(p, first, last, band == edges.size());
        },
        [&](QPainter& p, std::size_t band) {
            const auto [first, last] = rowsOf(band);
            paintBackdrop(p, first, last, band == 0, band == edges.size());
        });
}

void HeatMapGrid::prepareLabels() {
    const double room = cellRect(0, 1).adjusted(labelInset, 0, -labelInset, 0).width();
    if (room != m_fitsRoom) {
        m_fits.clear();
        m_fitsRoom = room;
    }
    m_labelShown.assign(m_years.size() * 12, 0);
    for (std::size_t row = 0; row < m_years.size(); ++row)
        for (int month = 1; month <= 12; ++month) {
            const AgeMapModel::Cell* found = cell(m_years[row], month);
            if (!found || !(intensity(m_years[row], month) > labelThreshold)) continue;
            const QString text = DisplayText::sizeText(found->bytes);
            auto known = m_fits.constFind(text);
            // A byte count cut short says nothing: a cell too narrow for it even shrunk shows
            // none, and its hover chip and help tag still give it.
            if (known == m_fits.constEnd()) known = m_fits.insert(text, TextDraw::fitsWhole(text, cellLabelStyle(), room));
            m_labelShown[row * 12 + std::size_t(month - 1)] = *known;
        }
}

void HeatMapGrid::paintBackdrop(QPainter& painter, std::size_t firstRow, std::size_t endRow, bool heads,
                                bool legend) const {
    const Theme& colors = theme();
    if (m_years.empty()) return;
    if (heads) {
        for (int month = 1; month <= 12; ++month) {
            const QRectF column = cellRect(0, month);
            TextDraw::draw(painter, QRectF(column.left(), 0, column.width(), headHeight),
                           QString::fromLatin1(columnHeads[month - 1]),
                           {.font = headFont(), .color = colors.textTertiary, .alignment = Qt::AlignCenter});
        }
    }
    for (std::size_t row = firstRow; row < endRow; ++row) {
        const QRectF first = cellRect(row, 1);
        TextDraw::draw(painter, QRectF(0, first.top(), yearWidth, first.height()), QString::number(m_years[row]),
                       {.font = yearFont(),
                        .color = colors.textSecondary,
                        .alignment = Qt::AlignRight | Qt::AlignVCenter,
                        .monospacedDigits = true});
    }
    if (legend) paintLegendKey(painter);
}

void HeatMapGrid::paintContent(QPainter& painter, std::size_t firstRow, std::size_t endRow, bool legend) const {
    const Theme& colors = theme();
    if (m_years.empty()) {
        TextDraw::draw(painter, QRectF(0, 0, width(), QFontMetricsF(messageFont()).height()), emptyMessage,
                       {.font = messageFont(), .color = colors.textTertiary});
        return;
    }
    for (std::size_t row = firstRow; row < endRow; ++row)
        for (int month = 1; month <= 12; ++month) paintCell(painter, row, month);
    if (legend)
        TextDraw::draw(
            painter, busiestRect(), busiestText(),
            {.font = busiestFont(), .color = colors.textTertiary, .alignment = Qt::AlignRight | Qt::AlignVCenter});
}

void HeatMapGrid::paintCell(QPainter& painter, std::size_t yearRow, int month) const {
    const Theme& colors = theme();
    const int year = m_years[yearRow];
    const QRectF box = cellRect(yearRow, month);
    const double t = intensity(year, month);
    ShapePaint::fillRoundedTinted(painter, box, cellRadius, heatColor(colors, t));
    const AgeMapModel::Cell* found = cell(year, month);
    if (found && m_hoverCell && *m_hoverCell == *found) {
        // Stroked inside the edge: the pen runs half its width in from the cell's border.
        const QRectF inner = box.adjusted(outlineWidth / 2, outlineWidth / 2, -outlineWidth / 2, -outlineWidth / 2);
        const double radius = std::clamp(cellRadius - outlineWidth / 2, 0.0, ShapePaint::capsuleRadius(inner));
        painter.save();
        painter.setPen(QPen(ShapePaint::withOpacity(colors.text, 0.85), outlineWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(inner, radius, radius);
        painter.restore();
    }
    if (found && yearRow * 12 + std::size_t(month - 1) < m_labelShown.size() &&
        m_labelShown[yearRow * 12 + std::size_t(month - 1)])
        TextDraw::draw(painter, box.adjusted(labelInset, 0, -labelInset, 0), DisplayText::sizeText(found->bytes),
                       cellLabelStyle());
}

void HeatMapGrid::paintLegendKey(QPainter& painter) const {
    const Theme& colors = theme();
    const double top = height() - legendHeight();
    const QRectF line(0, top, width(), legendHeight());
    const TextDraw::Style small{.font = legendFont(), .color = colors.textTertiary};
    TextDraw::draw(painter, line, QStringLiteral("less"), small);
    for (int i = 0; i < 6; ++i) {
        const QRectF swatch = legendSwatchRect(i);
        ShapePaint::fillRounded(painter, swatch, swatchRadius, heatColor(colors, i / 5.0));
    }
    const double moreLeft = legendSwatchRect(5).right() + legendSpacing;
    TextDraw::draw(painter, QRectF(moreLeft, top, std::max(width() - moreLeft, 0.0), line.height()),
                   QStringLiteral("more"), small);
}

} // namespace tallymere
