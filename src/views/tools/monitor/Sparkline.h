#pragma once
#include "views/components/ThemedWidget.h"
#include "views/tools/monitor/MonitorText.h"

#include <QPainterPath>

#include <vector>

namespace tallymere {

// A history line: `values` (oldest first, each clamped to 0...1) spread evenly across the width,
// 0 on the bottom edge and 1 on the top, stroked 1.6 wide with round caps and joins in the tint;
// when filled, the area under it carries a gradient of the tint from 0.26 opacity at the top to
// 0.02 at the bottom. Fewer than two values draw nothing. It has no size of its own: the caller
// fixes its height, and it takes the width offered. Transparent elsewhere; passive.
class Sparkline : public ThemedWidget {
    Q_OBJECT
public:
    explicit Sparkline(MonitorText::ColorPick tint, bool filled, QWidget* parent = nullptr);

    void setValues(std::vector<double> values);
    const std::vector<double>& values() const { return m_values; }
    QColor tintColor() const { return m_tint(theme()); }

    // The open line through the points in a `size` canvas; empty for fewer than two values.
    static QPainterPath linePath(const std::vector<double>& values, QSizeF size);

    QSize sizeHint() const override { return {120, 54}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<double> m_values;
    MonitorText::ColorPick m_tint;
    bool m_filled;
};

} // namespace tallymere
