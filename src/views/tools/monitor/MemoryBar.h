#pragma once
#include "services/SystemMonitor.h"
#include "views/components/ThemedWidget.h"

#include <array>

namespace tallymere {

// The memory card's bar, 8 high and as wide as offered: from the left, wired memory (danger), the
// rest of used memory (the fifth ramp colour), compressed (warning) and cached (textTertiary at
// half opacity), each W x bytes / total wide with 1.5 between them, clipped to a capsule. Cached
// memory is not part of used memory, so the pieces may run past the end, where they are cut off.
class MemoryBar : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr double barHeight = 8;
    static constexpr double gap = 1.5;

    explicit MemoryBar(QWidget* parent = nullptr);

    void setFigures(const MonitorFigures& figures);

    // Widths of wired, the rest of used, compressed and cached in a bar `width` wide, each at
    // least 0; measured against a total of at least 1 byte.
    static std::array<double, 4> pieceWidths(const MonitorFigures& figures, double width);

    QSize sizeHint() const override { return {120, int(barHeight)}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MonitorFigures m_figures;
};

} // namespace tallymere
