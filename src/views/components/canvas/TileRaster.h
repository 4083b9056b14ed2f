#pragma once
#include "style/PixelSums.h"

#include <QColor>
#include <QImage>
#include <QRectF>

#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tallymere {

// Writes `count` copies of one pixel, four at a time where the processor has SSE2: the plain loop
// is not vectorised at the build's optimisation level, and solid interiors and backdrops are most
// of a picture's pixels.
inline void fillPixels(std::uint32_t* line, int count, std::uint32_t pixel) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(int(pixel));
    for (; i + 4 <= count; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(line + i), four);
#endif
    for (; i < count; ++i) line[i] = pixel;
}

// A translucent colour laid over pixels at full coverage, with the sums TileRaster::fill() lays it
// with over the pixels wholly inside its shape: copying a picture's pixels through over() gives
// the pixels a fill would leave there.
class SolidTint {
public:
    explicit SolidTint(const QColor& color);
    // Writes `count` pixels of `from` with the colour laid over them to `to` (the same pixels or
    // others).
    void over(std::uint32_t* to, const std::uint32_t* from, int count) const;

private:
    std::uint32_t m_pixel = 0, m_keep = 255;
};

// Rounded rectangles blended straight into a premultiplied ARGB32 image with analytic
// anti-aliasing (coverage from the distance to the outline), for canvases that draw tens of
// thousands of tiles: the per-shape cost of a general painter (paths, rasteriser set-up, gradient
// tables) dominates there, while these loops touch only the shape's pixels.
//
// Rectangles are in logical coordinates; `scale` and `offset` map them to device pixels (device =
// logical × scale + offset). Pixels outside the image are skipped. Radii are held to half the
// short side; nothing is drawn for an empty rectangle or a fully transparent colour.
//
// A raster may be limited to a band of rows; rasters of disjoint bands of one image may draw at the
// same time on different threads (make them on the image's thread: making one touches the image).
class TileRaster {
public:
    TileRaster(QImage& image, double scale, QPointF offset, int rowFrom = 0, int rowTo = -1);
    // The same raster limited to the rows [rowFrom, rowTo) of its own; touches no image.
    TileRaster(const TileRaster& whole, int rowFrom, int rowTo);

    // Whether a logical rectangle (grown by `margin`) reaches the raster's rows.
    bool meetsRows(const QRectF& rect, double margin = 1) const;

    // Fills with one colour.
    void fill(const QRectF& rect, double radius, const QColor& color);
    // The same as fill(whole, 0, color), where `whole` covers every pixel of the raster's rows and
    // `color` is opaque, except for the pixels that a fill of (`next`, `nextRadius`) with the opaque
    // `nextColor`, drawn right after, writes without reading what lay beneath (the straight middle
    // of its rows): laying the colour there would only be overwritten, and a picture's backdrop
    // under its largest shape is most of its pixels. Otherwise it is that fill, every pixel laid.
    void fillAround(const QRectF& whole, const QColor& color, const QRectF& next, double nextRadius,
                    const QColor& nextColor);
    // Fills with a linear gradient from `from` at the top-left corner to `to` at the bottom-right.
    void fillGradient(const QRectF& rect, double radius, const QColor& from, const QColor& to);
    // Fills with a linear gradient from `top` along the top edge to `bottom` along the bottom edge.
    void fillVerticalGradient(const QRectF& rect, double radius, const QColor& top, const QColor& bottom);
    // Strokes the outline with a line `width` wide centred on it.
    void stroke(const QRectF& rect, double radius, double width, const QColor& color);

private:
    struct Shape;
    struct Shading;
    Shape shape(const QRectF& rect, double radius) const;
    void shade(const QRectF& rect, double radius, const QColor& from, const QColor& to, bool vertical);
    // The colours of one fill and the pixels it reaches; false when it reaches none.
    bool plan(const Shape& s, const QColor& from, const QColor& to, bool vertical, Shading& shading) const;
    // The colours along an opaque gradient's diagonal, when the tile's rows can copy theirs from it.
    void makeRamp(const Shape& s, Shading& shading);
    // One row of the fill, a pixel at a time where it is covered in part.
    void shadeRow(const Shape& s, const Shading& shading, int y);

    // A pixel row of the image.
    std::uint32_t* row(int y) const { return reinterpret_cast<std::uint32_t*>(m_bits + qsizetype(y) * m_stride); }

    // The colours along one gradient's diagonal, reused from tile to tile.
    std::vector<std::uint32_t> m_ramp;
    uchar* m_bits = nullptr;
    qsizetype m_stride = 0;
    int m_width = 0;
    int m_height = 0;
    int m_rowFrom = 0;
    int m_rowTo = 0;
    double m_scale;
    QPointF m_offset;
};

} // namespace tallymere
