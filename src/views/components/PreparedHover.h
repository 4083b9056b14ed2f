#pragma once
#include "views/components/KeptStroke.h"
#include "views/components/TintedDisc.h"

#include <QColor>
#include <QImage>
#include <QPen>
#include <QRectF>

#include <atomic>
#include <future>
#include <memory>

namespace tallymere {

// The hover mark of a canvas's largest disc, made on a thread of its own as soon as a picture is
// rendered: the outline band of the tinted disc over the picture (see TintedDisc) and the kept
// pixels of its ring, laid on the band. The ring costs several milliseconds to stroke at twice the
// pixel ratio (for every size and theme), the band a fraction of one (for every picture); a hover
// arriving later only takes them, one arriving sooner waits for what is still being made.
//
// Until the mark is taken or released the band's thread reads the picture's pixels: release()
// must come before they are drawn again; it stops the band between tiles.
class PreparedHover {
public:
    struct Mark {
        QRectF disc; // in the picture's logical coordinates
        QColor tint;
        QPen ring;
        int pictureRevision = -1;
        bool operator==(const Mark&) const = default;
    };

    PreparedHover() = default;
    PreparedHover(const PreparedHover&) = delete;
    PreparedHover& operator=(const PreparedHover&) = delete;
    ~PreparedHover();

    // Starts making `mark` over `picture`; its ring only where neither `ring`, the canvas's own,
    // nor the one kept here holds it already at the picture's pixel ratio.
    void prepare(const QImage& picture, const Mark& mark, const KeptStroke& ring);
    // Stops what is being made of the band and lets go of the picture.
    void release();
    // Where `mark` is the one being made: waits for it and hands its band to `disc` (whose own is
    // kept here for the next) and its ring, where `ring` is another, to `ring`. Else releases what
    // was being made. Returns whether the mark was handed over (its band may still have failed to
    // be made: `disc` tells).
    bool take(const Mark& mark, TintedDisc& disc, KeptStroke& ring);
    // How many marks were handed over, for tests.
    int taken() const { return m_taken; }

private:
    struct Job {
        std::future<void> done;
        std::shared_ptr<std::atomic<bool>> stop;
        Mark mark;
    };
    struct RingJob {
        std::future<void> done;
        double scale = 0;
        QRectF disc;
        QPen pen;
    };
    // Whether no ring is being made (collecting one that is done).
    bool ringSettled();

    TintedDisc m_disc; // written by the band's thread while m_job runs
    KeptStroke m_ring; // written by the ring's thread while m_ringJob runs
    std::unique_ptr<Job> m_job;
    std::unique_ptr<RingJob> m_ringJob;
    int m_taken = 0;
};

} // namespace tallymere
