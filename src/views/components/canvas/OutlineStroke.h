#pragma once
#include <QImage>
#include <QPen>
#include <QPoint>
#include <QRectF>
#include <QTransform>

#include <array>

class QPainter;

namespace tallymere {

// Whether a stroke with `pen` over `rect` on `painter` can be laid from kept pixels that are the
// painter's own: antialiased, a plain solid opaque pen, source-over at full opacity, and a device
// transform that scales both axes by one power of two (1 to 8) and translates.
bool isKeepableStroke(const QPainter& painter, const QPen& pen, const QRectF& rect);

// The anti-aliased outline of a rounded rectangle, stroked with the same pixels as
// QPainter::strokePath() gives for that shape, at a cost that grows with the outline's length
// rather than its area. The painter's rasteriser spends several milliseconds on the outline of a
// shape as large as a canvas at twice the pixel ratio; here a small shape with the same corners,
// pen and position within the pixel grid is stroked instead, and its corners are copied and its
// straight edges repeated, a row or column of coverage at a time, out to the full length.
//
// The pieces are kept: stroking the same outline again, as a repaint of the same mark does, only
// lays them on the painter.
class OutlineStroke {
public:
    // Strokes `rect` with corner radius `radius` (held to half the short side as the painter does)
    // with `pen` on `painter`, antialiased. Falls back to the painter's own stroke where the pieces
    // could differ from it: a transform other than a scale by a power of two with a translation, a
    // pen other than a plain solid one, or an outline too short to be worth it.
    void stroke(QPainter& painter, const QRectF& rect, double radius, const QPen& pen);
    // Whether the last stroke was laid from the pieces rather than by the painter, for tests.
    bool laidFromPieces() const { return m_laid; }

private:
    // Builds the pieces for the outline in device pixels; false when the small stroke's edges are
    // not straight runs of one coverage (the painter's own stroke is used then).
    bool build(const QTransform& device, const QRectF& rect, double radius, const QPen& pen);

    QRectF m_rect;
    double m_radius = -1;
    QPen m_pen;
    QTransform m_device;
    bool m_valid = false;
    bool m_laid = false;
    // Above, below, left and right of the inside, in device pixels: the outline's whole top and
    // bottom rows with the corners, and its sides between them.
    std::array<QImage, 4> m_pieces;
    std::array<QPoint, 4> m_at;
};

} // namespace tallymere
