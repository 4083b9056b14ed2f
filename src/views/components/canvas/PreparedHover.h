#pragma once
#include "views/components/canvas/KeptStroke.h"
#include "views/components/canvas/TintedDisc.h"

#include <QColor>
#include <QPen>
#include <QRectF>
#include <QSize>

#include <future>
#include <memory>

namespace tallymere {

// The hover mark of a canvas's largest disc, shaped on a thread of its own as soon as a picture of
// a new size or theme is rendered: the kept pixels of its ring, and the disc's band with the ring
// laid out in it (see TintedDisc). Stroking the ring costs several milliseconds at twice the pixel
// ratio; a hover arriving later only takes them, one arriving sooner waits for them. They hold no
// picture: a new picture of the same size and theme needs nothing new.
class PreparedHover {
public:
    struct Mark {
        QRectF disc; // in the picture's logical coordinates
        QColor tint;
        QPen ring;
        bool operator==(const Mark&) const = default;
    };

    PreparedHover() = default;
    PreparedHover(const PreparedHover&) = delete;
    PreparedHover& operator=(const PreparedHover&) = delete;
    ~PreparedHover();

    // Starts shaping `mark` over pictures of `pictureSize` at `scale`, unless `disc`, the canvas's
    // own, holds it already or another is still being shaped (a stroke cannot be stopped halfway:
    // a hover of this one shapes it itself). `ring` is the canvas's kept hover ring, copied where
    // it holds this one.
    void prepare(const Mark& mark, QSize pictureSize, int scale, const TintedDisc& disc, const KeptStroke& ring);
    // Where `mark` is the one being shaped or shaped last: waits for it and hands the shaped disc
    // to `disc` and its ring to `ring` (keeping theirs for the next). Returns whether it did.
    bool take(const Mark& mark, QSize pictureSize, int scale, TintedDisc& disc, KeptStroke& ring);
    // How many marks were handed over, for tests.
    int taken() const { return m_taken; }

private:
    struct Job {
        std::future<void> done;
        Mark mark;
        QSize pictureSize;
        int scale = 0;
    };
    // Whether no mark is being shaped (collecting one that is done).
    bool settled();

    // Written by the job's thread while it runs.
    TintedDisc m_disc;
    KeptStroke m_ring;
    std::unique_ptr<Job> m_job;
    int m_taken = 0;
};

} // namespace tallymere
