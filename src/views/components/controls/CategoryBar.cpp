#include "views/components/controls/CategoryBar.h"

#include "views/components/canvas/ShapePaint.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tallymere {

CategoryBar::CategoryBar(std::vector<Segment> segments, double height, QWidget* parent)
    : ThemedWidget(parent), m_segments(std::move(segments)), m_height(std::max(height, 0.0)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(int(std::ceil(m_height)));
}

void CategoryBar::setSegments(std::vector<Segment> segments) {
    m_segments = std::move(segments);
    update();
}

std::vector<QRectF> CategoryBar::segmentRects(const std::vector<Segment>& segments, double width, double height) {
    std::vector<QRectF> rects;
    rects.reserve(segments.size());
    double x = 0;
    for (const auto& [category, share] : segments) {
        (void)category;
        // A share that is not a finite number (say, a part of a zero total) draws as the 1-pixel
        // minimum rather than as a width no painter can use.
        const double wanted = share * width;
        const double w = std::isfinite(wanted) ? std::max(wanted, 1.0) : 1.0;
        rects.emplace_back(x, 0, w, height);
        x += w + gap;
    }
    return rects;
}

void CategoryBar::paint(QPainter& painter, const QRectF& rect, const Theme& theme,
                        const std::vector<Segment>& segments) {
    if (segments.empty() || rect.isEmpty()) return;
    const std::vector<QRectF> rects = segmentRects(segments, rect.width(), rect.height());
    const QRectF row(rect.topLeft(), QSizeF(rects.back().right(), rect.height()));
    QPainterPath capsule;
    const double radius = ShapePaint::capsuleRadius(row);
    capsule.addRoundedRect(row, radius, radius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Each segment is cut to the capsule as a shape rather than through a clip, so the rounded ends
    // are antialiased.
    for (std::size_t i = 0; i < rects.size(); ++i) {
        QPainterPath segment;
        segment.addRect(rects[i].translated(rect.topLeft()));
        painter.fillPath(segment.intersected(capsule), theme.category(segments[i].first));
    }
    painter.restore();
}

QSize CategoryBar::sizeHint() const { return {120, int(std::ceil(m_height))}; }
QSize CategoryBar::minimumSizeHint() const { return {0, int(std::ceil(m_height))}; }

void CategoryBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QRectF(0, 0, width(), m_height), theme(), m_segments);
}

} // namespace tallymere
