#pragma once
#include "views/components/canvas/ParallelBands.h"

#include <QColor>
#include <QImage>
#include <QRectF>

#include <memory>

namespace tallymere {

// A canvas's whole cached picture with the hover mark of its largest shape laid over it: the
// shape's translucent fill, anti-aliased edges and corners included, exactly as a patch of the
// shape would hold it. Hovering that shape then copies the picture from here alone, where the
// picture's copy and a blend over it cost twice that; a smaller large shape inside it copies its
// inside from here too (every pixel there is the picture with the tint at full coverage).
//
// It is made on the thread pool as soon as a picture is rendered (prepare()); a hover that comes
// before it is done joins in rather than wait. Until then the pool shares the picture's pixels:
// release() must come before they are drawn again. It is as large as the picture and is kept, its
// pixels reused from picture to picture of one size.
class TintedPicture {
public:
    // What the tinted picture holds: the picture (told apart by `revision`) with `shape` (logical,
    // radius `radius`) filled with `tint`.
    struct Mark {
        int revision = -1;
        QRectF shape;
        double radius = 0;
        QColor tint;
        bool operator==(const Mark&) const = default;
    };

    TintedPicture() = default;
    TintedPicture(const TintedPicture&) = delete;
    TintedPicture& operator=(const TintedPicture&) = delete;
    ~TintedPicture() { release(); }

    // Starts making `mark` over `picture`.
    void prepare(const QImage& picture, const Mark& mark);
    // Stops a copy being made and lets go of the picture.
    void release();
    // Stops a copy being made, starting no more of it, without waiting for the parts under way:
    // it holds no mark afterwards, and release() (or prepare()) lets go of the picture.
    void stop() {
        if (!m_job) return;
        m_job->stop();
        m_mark = Mark();
    }
    // The mark the picture holds or is being made with; a revision of -1 when none.
    const Mark& mark() const { return m_mark; }
    // Whether the picture with its mark is made, not still being made.
    bool isMade() const { return m_mark.revision >= 0 && (!m_job || m_job->isDone()); }
    // The tinted copy of `picture` (at its pixel ratio) with `mark`: finishes the one being made,
    // or makes it here when none was started for this picture and mark.
    const QImage& image(const QImage& picture, const Mark& mark);

private:
    QImage m_image;
    Mark m_mark;
    std::shared_ptr<ParallelBands::Job> m_job;
};

} // namespace tallymere
