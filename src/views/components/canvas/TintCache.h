#pragma once
#include "views/components/canvas/TintedPicture.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRectF>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class QPainter;

namespace tallymere {

// The hover mark of a canvas made ready to copy: the part of the cached picture under the hovered
// shape, with the mark's translucent fill laid on it. It is made once per shape and picture, by an
// integer blend over the shape's pixels only, and copied on every repaint of the mark, so a large
// shape is not blended again while the pointer moves over it or another mark repaints across it.
//
// The picture's largest shape is copied whole from a tinted copy of the picture made once per
// picture (preparePicture()); another shape that covers much of the picture keeps patches only for
// its outline band and has its inside copied from there: the window then takes one copy instead of
// the picture's copy and a blend over it.
class TintCache {
public:
    TintCache() = default;
    // The patch is an image over pixels of its own cache's.
    TintCache(const TintCache&) = delete;
    TintCache& operator=(const TintCache&) = delete;

    // The tinted patch for the rounded rectangle `shape` (radius `radius`; a circle when the radius
    // is half its side) filled with `tint`, in the picture's logical coordinates; `pictureRevision`
    // tells pictures apart. The patch covers area() and is drawn there without blending. A valid
    // `part` (logical, whole numbers) limits the patch to that much of the shape's bounds. A `stop`
    // heard while the patch is made leaves it unfinished, and made again by the next call.
    const QImage& patch(const QImage& picture, int pictureRevision, const QRectF& shape, double radius,
                        const QColor& tint, const QRect& part = QRect(), const std::atomic<bool>* stop = nullptr);
    // Lays the tinted shape on `painter`, which has painted the picture at its origin already, or
    // has left out cover() (the same logical coordinates; the painter's clip is kept).
    void paint(QPainter& painter, const QImage& picture, int pictureRevision, const QRectF& shape, double radius,
               const QColor& tint);
    // The part of the picture that paint() covers with opaque pixels of its own, in the picture's
    // logical coordinates: the whole mark, where it lies within the picture at a whole pixel ratio;
    // else empty. The picture need not be copied there before paint().
    static QRect cover(const QImage& picture, const QRectF& shape);
    // Starts making the tinted picture that a large shape is copied from, with `shape` (the
    // picture's largest, which holds every other) filled, as soon as a picture is rendered;
    // releasePicture() must come before the picture's pixels change. Hovering `shape` then copies
    // the tinted picture alone, and any other large shape inside it copies its inside from there.
    void preparePicture(const QImage& picture, int pictureRevision, const QRectF& shape, double radius,
                        const QColor& tint) {
        m_tinted.prepare(picture, {pictureRevision, shape, radius, tint});
    }
    void releasePicture() {
        m_remake = false;
        m_tinted.release();
    }
    // Whether paint() laid the largest shape's mark straight into the window while its tinted
    // picture was still being made, and stopped making it: the caller has it made again with
    // remakePicture(), once the paint is done, for the hovers to come.
    bool isRemakeDue(int pictureRevision) const { return m_remake && m_remakeMark.revision == pictureRevision; }
    void remakePicture(const QImage& picture) {
        if (!m_remake) return;
        m_remake = false;
        m_tinted.prepare(picture, m_remakeMark);
    }
    // The pixel ratio of the last patch's picture.
    qreal ratio() const { return m_ratio; }
    // Where the last patch goes, in the picture's logical coordinates.
    QRect area() const { return m_area; }
    // Where the last patch's first pixel goes, in the same coordinates: area()'s corner at a whole
    // pixel ratio, the picture's pixel nearest it at one that is not (a point's edge falls inside a
    // pixel there), so that the patch lands on the pixels it was copied from.
    QPointF origin() const { return m_origin; }
    // Whether every pixel of the last patch came from the picture (so is opaque).
    bool isWithinPicture() const { return m_withinPicture; }
    // Whether a shape covers enough of the picture for a tinted picture to be worth making for it
    // (the band's tall patches cost about a millisecond whatever their shape's size), at a whole
    // pixel ratio only, so that the band's patches and the inside meet without a seam.
    static bool isLarge(const QImage& picture, const QRectF& shape, double radius);

private:
    QRectF m_shape;
    QRect m_part;
    double m_radius = -1;
    QColor m_tint;
    int m_revision = -1;
    qreal m_ratio = 0;
    QRect m_area;
    QPointF m_origin;
    bool m_withinPicture = false; // every pixel of the patch comes from the picture, so is opaque
    QImage m_image; // over m_pixels
    std::unique_ptr<std::uint32_t[]> m_pixels;
    std::size_t m_capacity = 0;
    // The outline band of a large shape: above, below, left and right of its inside.
    std::array<std::unique_ptr<TintCache>, 4> m_band;
    // The whole picture with the tint laid over it, for the inside of a large shape.
    TintedPicture m_tinted;
    // The largest shape's mark, laid straight into the window while its tinted picture was stopped.
    TintedPicture::Mark m_remakeMark;
    bool m_remake = false;
};

} // namespace tallymere
