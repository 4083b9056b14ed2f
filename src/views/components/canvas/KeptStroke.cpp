#include "views/components/canvas/KeptStroke.h"

#include "views/components/canvas/OutlineStroke.h"
#include "views/components/canvas/PixelCopy.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tallymere {

namespace {

// Below this many device pixels of bounds the painter's own stroke costs no more than the runs.
constexpr double smallRing = 160.0 * 160.0;
constexpr int tile = 32;

void strokeEllipse(QPainter& painter, const QRectF& rect, const QPen& pen) {
    painter.save();
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(rect);
    painter.restore();
}

} // namespace

void KeptStroke::build(double scale, QPointF phase, const QRectF& rect, const QPen& pen) {
    m_runs.clear();
    m_at.clear();
    const QTransform device(scale, 0, 0, scale, phase.x(), phase.y());
    // Two pixels beyond the pen's outer edge and its antialiasing: the image's border stays empty.
    const int outside = int(std::ceil(pen.widthF() / 2 * scale)) + 2;
    const QRectF bounds = device.mapRect(rect);
    const int left = int(std::floor(bounds.left())) - outside, top = int(std::floor(bounds.top())) - outside;
    const int width = int(std::ceil(bounds.right())) + outside - left;
    const int height = int(std::ceil(bounds.bottom())) + outside - top;
    // The same ring, shifted by whole pixels only, so every pixel's coverage is the painter's.
    QImage ring(width, height, QImage::Format_ARGB32_Premultiplied);
    ring.fill(Qt::transparent);
    {
        QPainter painter(&ring);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setTransform(QTransform(scale, 0, 0, scale, device.dx() - left, device.dy() - top));
        strokeEllipse(painter, rect, pen);
    }
    // Along each band of rows, the runs of tiles that hold any of the ring.
    for (int y0 = 0; y0 < height; y0 += tile) {
        const int rows = std::min(tile, height - y0);
        const int columns = (width + tile - 1) / tile;
        std::vector<bool> touched(std::size_t(columns), false);
        for (int y = y0; y < y0 + rows; ++y) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(ring.constScanLine(y));
            for (int x = 0; x < width; ++x)
                if (line[x]) touched[std::size_t(x / tile)] = true;
        }
        for (int c = 0; c < columns;) {
            if (!touched[std::size_t(c)]) {
                ++c;
                continue;
            }
            int end = c;
            while (end < columns && touched[std::size_t(end)]) ++end;
            const QRect part(c * tile, y0, std::min(end * tile, width) - c * tile, rows);
            QImage run = ring.copy(part);
            run.setDevicePixelRatio(scale);
            m_runs.push_back(run);
            m_at.push_back(QPoint(left + part.x(), top + part.y()));
            c = end;
        }
    }
}

bool KeptStroke::keeps(double scale, const QRectF& rect, Keep keep) {
    const double power = std::round(std::log2(scale));
    return scale >= 1 && scale <= 8 && std::exp2(power) == scale &&
           (keep == Keep::any || rect.width() * rect.height() * scale * scale >= smallRing);
}

void KeptStroke::ellipse(QPainter& painter, const QRectF& rect, const QPen& pen, Keep keep) {
    const QTransform device = painter.deviceTransform();
    const double scale = device.m11();
    m_laid = false;
    if (!isKeepableStroke(painter, pen, rect) || !keeps(scale, rect, keep)) {
        strokeEllipse(painter, rect, pen);
        return;
    }
    const QPointF phase(device.dx() - std::floor(device.dx()), device.dy() - std::floor(device.dy()));
    if (rect != m_rect || pen != m_pen || scale != m_scale || phase != m_phase || m_runs.empty()) {
        m_rect = rect;
        m_pen = pen;
        m_scale = scale;
        m_phase = phase;
        build(scale, phase, rect, pen);
    }
    m_laid = true;
    // Each run lands on whole device pixels: a power-of-two scale maps these points back exactly.
    for (std::size_t i = 0; i < m_runs.size(); ++i)
        PixelCopy::draw(painter, QPointF((m_at[i].x() - phase.x()) / scale, (m_at[i].y() - phase.y()) / scale),
                        m_runs[i]);
}

void KeptStroke::prepare(double scale, const QRectF& rect, const QPen& pen) {
    if (holds(scale, rect, pen)) return;
    m_rect = rect;
    m_pen = pen;
    m_scale = scale;
    m_phase = QPointF();
    build(scale, QPointF(), rect, pen);
}

} // namespace tallymere
