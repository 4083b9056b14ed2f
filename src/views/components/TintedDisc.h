#pragma once
#include "views/components/KeptStroke.h"

#include <QColor>
#include <QImage>
#include <QPen>
#include <QRect>
#include <QRectF>

#include <atomic>
#include <cstdint>
#include <vector>

class QPainter;

namespace tallymere {

// The hover mark of a large disc, its translucent fill with a ring along its rim, laid straight
// into the window's pixels over the picture. A disc as large as the canvas covers millions of
// pixels at twice the pixel ratio, and every one of them changes when it is hovered: its inside is
// the picture with the fill blended on as it is copied, one pass over the pixels like a plain copy,
// and only its outline band (the fill's antialiased edge with the ring over it, a few pixels either
// side of the rim) is made beforehand and kept, in tiles a few rows high. The band is a small share
// of the disc, so it is ready soon after a new picture, and a hover copies every pixel once.
class TintedDisc {
public:
    // Makes the band of `disc` (a circle in the picture's logical coordinates) filled with `tint`
    // over `picture` (told apart by `pictureRevision`), wide enough for a ring stroked with `ring`.
    // Returns false, holding nothing, where the disc cannot be laid this way (a pixel ratio that is
    // not a whole number, a picture in another layout) or a `stop` was heard while it was made.
    bool make(const QImage& picture, int pictureRevision, const QRectF& disc, const QColor& tint, const QPen& ring,
              const std::atomic<bool>* stop = nullptr);
    // Lays the ring `kept` holds on the band (the kept ring of the disc and pen made for, at the
    // picture's pixel ratio); returns false, and holds nothing, where any of it falls outside the band.
    bool layRing(const KeptStroke& kept);
    // Whether the band was made for this disc, fill, ring and picture, its ring laid.
    bool holds(int pictureRevision, const QRectF& disc, const QColor& tint, const QPen& ring, qreal ratio) const {
        return m_ringLaid && pictureRevision == m_revision && disc == m_disc && tint == m_tint && ring == m_pen &&
               ratio == m_scale;
    }
    // Whether the band was made for this disc, fill, ring and picture, its ring not laid yet.
    bool awaitsRing(int pictureRevision, const QRectF& disc, const QColor& tint, const QPen& ring, qreal ratio) const {
        return m_scale > 0 && !m_ringLaid && pictureRevision == m_revision && disc == m_disc && tint == m_tint &&
               ring == m_pen && ratio == m_scale;
    }
    // The picture's pixel ratio the band was made at; 0 when it holds none.
    int scale() const { return m_scale; }
    // What the mark covers, in the picture's logical coordinates: whole points, within the picture.
    QRect area() const { return m_area; }
    // Writes the picture with the mark over it into the part of area() the painter's paint exposes,
    // the painter's logical origin at the picture's, where the painter's pixels can be written
    // straight (see PixelCopy::target); returns false, having written nothing, elsewhere. Without
    // `withRing` the fill alone, for a ring the caller strokes over other marks.
    bool lay(QPainter& painter, const QImage& picture, bool withRing = true) const;
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
    // the ring.
    struct Strip {
        int tiles = 0;
        int first = 0; // index of the first tile
    };
    QRectF m_disc;
    QColor m_tint;
    QPen m_pen;
    int m_revision = -1;
    int m_scale = 0;
    bool m_ringLaid = false;
    QRect m_area;   // logical
    QRect m_pixels; // m_area in device pixels
    QSize m_pictureSize;
    std::vector<Strip> m_strips;
    std::vector<Tile> m_tiles;
    std::vector<std::uint32_t> m_band;
    std::vector<std::uint32_t> m_fillOnly; // the band before the ring was laid
};

} // namespace tallymere
