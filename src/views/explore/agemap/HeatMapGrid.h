#pragma once
#include "layout/AgeMapModel.h"
#include "views/components/ThemedWidget.h"
#include "views/explore/agemap/SurfacePicture.h"

#include <QHash>
#include <QRectF>

#include <optional>
#include <vector>

namespace tallymere {

// The month grid of the Age Map with its legend along the bottom. Column heads (J F M ...) over
// one row per year, newest first, each a year label and twelve rounded cells whose fill grows from
// the accent toward the second accent with the month's bytes relative to the busiest month; cells
// above 0.55 of the way carry their bytes. Without years the message "No timestamps to plot here."
// stands alone. Hovering a month with data makes it the hover cell (outlined, and announced by
// hoverCellChanged); an empty month or the space between cells clears it.
class HeatMapGrid : public ThemedWidget {
    Q_OBJECT
public:
    explicit HeatMapGrid(QWidget* parent = nullptr);

    // The state of the last rebuild; the hover cell is kept.
    void setMap(const AgeMapModel::AgeMap& map);
    // Without a displayed node: no cells and no years; the busiest month keeps its value.
    void clear();

    const std::optional<AgeMapModel::Cell>& hoverCell() const { return m_hoverCell; }
    const std::vector<int>& years() const { return m_years; }
    std::int64_t peak() const { return m_peak; }

    // (bytes / peak) ^ 0.45; 0 for a month without files.
    double intensity(int year, int month) const;
    // The fill of an intensity: background at 0.55 for 0 or less, else the accents' blend.
    static QColor heatColor(const Theme& theme, double t);
    // Row height by the number of years shown.
    static double rowHeight(std::size_t years);
    // The row height drawn now: rowHeight() of the years shown, at every size of the widget, which
    // asks for the room for it (the page around it scrolls where the view is shorter).
    double shownRowHeight() const;

    // Geometry as laid out now, in widget coordinates.
    QRectF cellRect(std::size_t yearRow, int month) const;
    QRectF legendSwatchRect(int index) const;
    // Where "less", the swatches and "more" are drawn.
    QRectF legendRect() const;
    // Where "Busiest month: ..." is drawn: right-aligned after "more", shortened if it must be.
    QRectF busiestRect() const;
    // The month under a point as (year row, month); none outside every cell.
    std::optional<std::pair<std::size_t, int>> cellAt(QPointF point) const;
    // What the cell's help tag says: "Mar 2024 — 1.2 GB"; empty for a month without files.
    QString helpText(int year, int month) const;
    QString busiestText() const;

    static QString monthAbbreviation(int month);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void hoverCellChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void themeChanged() override { m_picture.invalidate(); }

private:
    void setHoverCell(std::optional<AgeMapModel::Cell> cell);
    const AgeMapModel::Cell* cell(int year, int month) const;
    double legendHeight() const;
    double moreRight() const;
    // "less", the swatches, "more" and the busiest month's text side by side.
    double legendWidth() const;
    // What does not follow the months' bytes: the heads (when `heads`), the year labels of the rows
    // from firstRow up to endRow and the legend's key (when `legend`).
    void paintBackdrop(QPainter& painter, std::size_t firstRow, std::size_t endRow, bool heads, bool legend) const;
    // The cells of those rows and the busiest month's text (when `legend`), or the message when
    // there are no years.
    void paintContent(QPainter& painter, std::size_t firstRow, std::size_t endRow, bool legend) const;
    void paintCell(QPainter& painter, std::size_t yearRow, int month) const;
    void paintLegendKey(QPainter& painter) const;
    // Which cells carry their bytes, worked out on the window's thread before the bands are drawn.
    void prepareLabels();

    std::vector<AgeMapModel::Cell> m_cells;
    std::vector<int> m_years;
    std::int64_t m_peak = 1;
    std::optional<AgeMapModel::Cell> m_hoverCell;
    SurfacePicture m_picture;
    std::vector<char> m_labelShown; // by year row and month
    // Whether a byte count fits a cell's label room whole, for the room it was measured in.
    QHash<QString, bool> m_fits;
    double m_fitsRoom = -1;
};

} // namespace tallymere
