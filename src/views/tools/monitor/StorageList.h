#pragma once
#include "core/DiskInfo.h"
#include "views/components/ThemedWidget.h"
#include "views/tools/monitor/MonitorText.h"

#include <vector>

namespace tallymere {

// The storage card's body: one row for each of the first four volumes, 9 apart. A row is the
// volume's name (11 medium, text, one line) with "used / total" (10 regular, textTertiary) at
// the right end, and 3 below them a 6-high usage bar: a surfaceRaised capsule with a capsule
// fill from the left, in danger above 90 % use and accentSecondary otherwise. Passive.
class StorageList : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr double rowSpacing = 9;
    static constexpr double lineSpacing = 3;
    static constexpr double barHeight = 6;

    explicit StorageList(QWidget* parent = nullptr);

    void setVolumes(const std::vector<VolumeInfo>& volumes);
    const std::vector<MonitorText::StorageRow>& rows() const { return m_rows; }

    static QFont nameFont();
    static QFont usageFont();
    static double lineHeight();
    // The bar of row `index` in a list `width` wide.
    static QRectF barRect(std::size_t index, double width);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<MonitorText::StorageRow> m_rows;
};

} // namespace tallymere
