#include "views/components/canvas/OutlineStroke.h"

#include "views/components/canvas/PixelCopy.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tallymere {

namespace {

// Below this many device pixels of bounds the painter's own stroke costs no more than the pieces.
constexpr double smallOutline = 160.0 * 160.0;

bool isPowerOfTwo(double scale) { return scale >= 1 && scale <= 8 && std::exp2(std::round(std::log2(scale))) == scale; }

QPainterPath roundedPath(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

std::uint32_t* row(QImage& image, int y) { return reinterpret_cast<std::uint32_t*>(image.scanLine(y)); }

// Whether `count` pixels from `from` all equal `value`.
bool allEqual(const std::uint32_t* from, int count, std::uint32_t value) {
    return std::all_of(from, from + count, [value](std::uint32_t pixel) { return pixel == value; });
}

} // namespace

bool OutlineStroke::build(const QTransform& device, const QRectF& rect, double radius, const QPen& pen) {
    const double scale = device.m11();
    const double half = pen.widthF() / 2 * scale;
    // The image's first column and row: two pixels beyond the pen's outer edge and its
    // antialiasing, so its border stays empty.
    const int outside = int(std::ceil(half)) + 2;
    const QRectF bounds = device.mapRect(rect);
    const int left = int(std::floor(bounds.left())) - outside, top = int(std::floor(bounds.top())) - outside;
    const int width = int(std::ceil(bounds.right())) + outside - left;
    const int height = int(std::ceil(bounds.bottom())) + outside - top;
    // Rows and columns from the image's edge past the corner's arc and the pen's inner edge.
    const double corner = std::min({radius, rect.width() / 2, rect.height() / 2}) * scale;
    const int reach = outside + int(std::ceil(corner)) + int(std::ceil(half)) + 2;
    // The small shape keeps a straight run of a few pixels on every edge, to take the runs from.
    const int shorterX = width - (2 * reach + 4), shorterY = height - (2 * reach + 4);
    if (shorterX < 0 || shorterY < 0) return false;

    // The small shape: the same corners, shorter by whole pixels, at the same place within a
    // pixel; the painter's own stroke of it gives the coverage of every pixel of the large one.
    const int smallWidth = width - shorterX, smallHeight = height - shorterY;
    QImage small(smallWidth, smallHeight, QImage::Format_ARGB32_Premultiplied);
    small.fill(Qt::transparent);
    {
        QPainter painter(&small);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setTransform(QTransform(scale, 0, 0, scale, device.dx() - left, device.dy() - top));
        painter.strokePath(roundedPath(QRectF(rect.x(), rect.y(), rect.width() - shorterX / scale,
                                              rect.height() - shorterY / scale),
                                       radius),
                           pen);
    }
    // Every row above and below the inside is one value along its straight run, every column
    // beside it one value along its run, and the inside is empty; else the pieces would not be
    // the painter's stroke.
    for (int y = 0; y < smallHeight; ++y) {
        const std::uint32_t* line = row(small, y);
        if (y < reach || y >= smallHeight - reach) {
            if (!allEqual(line + reach, smallWidth - 2 * reach, line[reach])) return false;
        } else {
            const std::uint32_t* straight = row(small, reach);
            if (std::memcmp(line, straight, std::size_t(reach) * 4) != 0 ||
                std::memcmp(line + smallWidth - reach, straight + smallWidth - reach, std::size_t(reach) * 4) != 0 ||
                !allEqual(line + reach, smallWidth - 2 * reach, 0))
                return false;
        }
    }

    const qreal ratio = scale;
    auto piece = [&](int pieceWidth, int pieceHeight) {
        QImage image(pieceWidth, pieceHeight, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        return image;
    };
    // Above and below: the corners as stroked, the straight run repeated between them.
    for (int side = 0; side < 2; ++side) {
        QImage image = piece(width, reach);
        const int from = side == 0 ? 0 : smallHeight - reach;
        for (int y = 0; y < reach; ++y) {
            const std::uint32_t* source = row(small, from + y);
            std::uint32_t* target = row(image, y);
            std::memcpy(target, source, std::size_t(reach) * 4);
            std::fill(target + reach, target + width - reach, source[reach]);
            std::memcpy(target + width - reach, source + smallWidth - reach, std::size_t(reach) * 4);
        }
        m_pieces[std::size_t(side)] = image;
        m_at[std::size_t(side)] = QPoint(left, side == 0 ? top : top + height - reach);
    }
    // Beside: one row of each side repeated down the straight run.
    for (int side = 0; side < 2; ++side) {
        QImage image = piece(reach, height - 2 * reach);
        const std::uint32_t* source = row(small, reach) + (side == 0 ? 0 : smallWidth - reach);
        for (int y = 0; y < image.height(); ++y) std::memcpy(row(image, y), source, std::size_t(reach) * 4);
        m_pieces[std::size_t(2 + side)] = image;
        m_at[std::size_t(2 + side)] = QPoint(side == 0 ? left : left + width - reach, top + reach);
    }
    return true;
}

bool isKeepableStroke(const QPainter& painter, const QPen& pen, const QRectF& rect) {
    const QTransform device = painter.deviceTransform();
    const double scale = device.m11();
    return device.type() <= QTransform::TxScale && device.m22() == scale && isPowerOfTwo(scale) &&
           pen.style() == Qt::SolidLine && pen.brush().style() == Qt::SolidPattern && !pen.isCosmetic() &&
           pen.widthF() > 0 && painter.testRenderHint(QPainter::Antialiasing) &&
           painter.compositionMode() == QPainter::CompositionMode_SourceOver && painter.opacity() == 1 &&
           rect.width() > 0 && rect.height() > 0;
}

void OutlineStroke::stroke(QPainter& painter, const QRectF& rect, double radius, const QPen& pen) {
    const QTransform device = painter.deviceTransform();
    const double scale = device.m11();
    const bool plain = isKeepableStroke(painter, pen, rect);
    const QRectF bounds = device.mapRect(rect);
    m_laid = false;
    if (!plain || bounds.width() * bounds.height() < smallOutline) {
        painter.strokePath(roundedPath(rect, radius), pen);
        return;
    }
    if (rect != m_rect || radius != m_radius || pen != m_pen || device != m_device) {
        m_rect = rect;
        m_radius = radius;
        m_pen = pen;
        m_device = device;
        m_valid = build(device, rect, radius, pen);
    }
    if (!m_valid) {
        painter.strokePath(roundedPath(rect, radius), pen);
        return;
    }
    m_laid = true;
    // Each piece lands on whole device pixels: a power-of-two scale maps these points back exactly.
    for (std::size_t i = 0; i < m_pieces.size(); ++i)
        PixelCopy::draw(painter, QPointF((m_at[i].x() - device.dx()) / scale, (m_at[i].y() - device.dy()) / scale),
                        m_pieces[i]);
}

} // namespace tallymere
