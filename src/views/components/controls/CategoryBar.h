#pragma once
#include "core/FileCategory.h"
#include "views/components/ThemedWidget.h"

#include <utility>
#include <vector>

namespace tallymere {

// One horizontal bar split into category colours, left to right in the order given. Each segment
// is share × the bar's width (at least 1, so tiny shares stay visible) and 1.5 apart; widths are
// not reduced to make room for the gaps. The row is clipped to a capsule of its own length, so
// both ends are fully rounded. It spans the width offered at the given height.
class CategoryBar : public ThemedWidget {
    Q_OBJECT
public:
    using Segment = std::pair<FileCategory, double>;

    explicit CategoryBar(std::vector<Segment> segments = {}, double height = 8, QWidget* parent = nullptr);

    void setSegments(std::vector<Segment> segments);
    const std::vector<Segment>& segments() const { return m_segments; }

    static constexpr double gap = 1.5;

    // Segment rectangles of a bar `width` wide and `height` high, starting at x = 0.
    static std::vector<QRectF> segmentRects(const std::vector<Segment>& segments, double width, double height);
    // The bar drawn into `rect`, for canvases and list rows.
    static void paint(QPainter& painter, const QRectF& rect, const Theme& theme, const std::vector<Segment>& segments);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Segment> m_segments;
    double m_height;
};

} // namespace tallymere
