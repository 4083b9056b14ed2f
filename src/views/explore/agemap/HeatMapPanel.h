#pragma once
#include "views/components/controls/Panel.h"

namespace tallymere {

class Chip;
class HeatMapGrid;

// "Bytes by last-modified month": the caption, a chip naming the hovered month ("Mar 2024 · 1.2 GB ·
// 1,234 files") while a month is hovered, and the month grid with its legend below. The caption
// line keeps the chip's height whether or not it shows, so the grid does not move under the
// pointer when the chip comes and goes.
class HeatMapPanel : public Panel {
    Q_OBJECT
public:
    explicit HeatMapPanel(QWidget* parent = nullptr);

    HeatMapGrid* grid() const { return m_grid; }
    Chip* hoverChip() const { return m_chip; }

    // The chip's text for the grid's hover cell; empty without one.
    QString chipText() const;

protected:
    void themeChanged() override;

private:
    void showHoverCell();

    HeatMapGrid* m_grid;
    Chip* m_chip;
};

} // namespace tallymere
