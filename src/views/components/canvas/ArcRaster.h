#pragma once
#include <QColor>
#include <QImage>
#include <QPointF>

#include <cstdint>

namespace tallymere {

// Ring segments (the pieces of a sunburst) filled straight into a premultiplied ARGB32 image, with
// coverage worked out only where a pixel meets the outline: the per-shape cost of a general
// painter (a polygon per segment, its rasteriser and span blending) dominates for thousands of
// segments a pixel or two wide, while these loops touch only each segment's own pixels, row by row.
//
// Everything is in device pixels: the centre, the radii, and the width of the outline. Angles are
// in radians from twelve o'clock, growing clockwise on screen. A raster may be limited to a band of
// rows; rasters of disjoint bands of one image may draw at the same time on different threads
// (make them on the image's thread: making one touches the image).
class ArcRaster {
public:
    ArcRaster(QImage& image, QPointF centre, int rowFrom = 0, int rowTo = -1);
    // The same raster limited to the rows [rowFrom, rowTo) of its own; touches no image.
    ArcRaster(const ArcRaster& whole, int rowFrom, int rowTo);

    struct Segment {
        double inner = 0, outer = 0; // radii; an inner radius of 0 or less makes a pie slice
        double start = 0, end = 0;   // a sweep of 2π or more is the whole ring
    };

    // Fills the segment with the opaque colour `fill`; then, when `lineWidth` is above 0, lays `line`
    // (translucent or not) over a band that wide centred on the segment's outline, as a painter
    // that fills a path and then strokes it (the whole ring's outline has the seam at its start).
    void fill(const Segment& segment, const QColor& fill, double lineWidth = 0, const QColor& line = {});

private:
    std::uint32_t* row(int y) const { return reinterpret_cast<std::uint32_t*>(m_bits + qsizetype(y) * m_stride); }

    uchar* m_bits = nullptr;
    qsizetype m_stride = 0;
    int m_width = 0;
    int m_rowFrom = 0;
    int m_rowTo = 0;
    QPointF m_centre;
};

} // namespace tallymere
