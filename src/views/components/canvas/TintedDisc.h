#pragma once
#include "views/components/canvas/KeptStroke.h"

#include <QColor>
#include <QImage>
#include <QPen>
#include <QRect>
#include <QRectF>

#include <cstdint>
#include <vector>

class QPainter;

namespace tallymere {

// The hover mark of a large disc, its translucent fill with a ring along its rim, laid straight
// into the window's pixels over the picture. A disc as large as the canvas covers millions of
// pixels at twice the pixel ratio, and every one of them changes when it is hovered: its inside is
// the picture with the fill blended on as it is copied, one pass over the pixels like a plain copy,
// and only its outline band (the fill's antialiased edge with the ring over it, a few pixels either
// side of the rim) is worked out pixel by pixel, in tiles a few rows high.
//
// What depends on the disc alone (the band's tiles and the ring's pixels laid out as they are) is
// made once per disc, pen and size (shape()); the band's pixels over a picture are made for each
// new picture as the mark is first laid over it, strip by strip on the threads that lay it.
class TintedDisc {
public:
    // Shapes the mark of `disc` (a circle in the picture's logical coordinates) filled with `tint`
    // and ringed with the ring `kept` holds (stroked with `ring` at `scale`), over pictures of
    // `pictureSize` device pixels at the whole pixel ratio `scale`. Returns false, holding nothing,
    // where it cannot be laid so: a ring that is not the disc's or reaches past the band.
    bool shape(const QRectF& disc, const QColor& tint, const QPen& ring, const KeptStroke& kept, QSize pictureSize,
               int scale);
    // Whether the mark was shaped for this disc, fill, ring, size and ratio.
    bool holds(const QRectF& disc, const QColor& tint, const QPen& ring, QSize pictureSize, qreal scale) const {
        return m_scale > 0 && disc == m_disc && tint == m_tint && ring == m_pen && pictureSize == m_pictureSize &&
               scale == m_scale;
    }
    // What the mark covers, in the picture's logical coordinates: whole points, within the picture.
    QRect area() const { return m_area; }
    // Writes `picture` (told apart by `pictureRevision`) with the mark over it into the part of
    // area() the painter's paint exposes, the painter's logical origin at the picture's, where the
    // painter's pixels can be written straight (see PixelCopy::target); returns false, having
    // written nothing, elsewhere. Without `withRing` the fill alone, for a ring the caller strokes
    // over other marks.
    bool lay(QPainter& painter, const QImage& picture, int pictureRevision, bool withRing = true);
    // Whether lay() writes into this painter's pixels.
    static bool canLay(QPainter& painter, const QImage& picture);
    void clear();

private:
    // A rectangle of the band in the picture's device pixels; its pixels start at `offset`.
    struct Tile {
        QRect rect;
        std::size_t offset = 0;
    };
    // A few rows of the area: no tile (the disc does not reach them), one across the disc, or one
    // either side of an inside that every row of the strip has wholly within the fill and clear of
    // the ring. `madeFor` is the picture its tiles' pixels were made over.
    struct Strip {
        int tiles = 0;
        int first = 0; // index of the first tile
        int madeFor = -1;
    };
    // Makes the pixels of a strip's tiles over `picture`.
    void makeStrip(Strip& strip, const QImage& picture);

    QRectF m_disc;
    QColor m_tint;
    QPen m_pen;
    int m_scale = 0;
    QSize m_pictureSize;
    QRect m_area;   // logical
    QRect m_pixels; // m_area in device pixels
    std::vector<Strip> m_strips;
    std::vector<Tile> m_tiles;
    std::vector<std::uint32_t> m_ring;     // the ring's kept pixels, tile by tile
    std::vector<std::uint32_t> m_fill;     // the picture with the fill laid over it, tile by tile
    std::vector<std::uint32_t> m_band;     // the same with the ring laid over it
};

} // namespace tallymere
