#pragma once
#include "views/components/KeptStroke.h"
#include "views/components/TintCache.h"

#include <QColor>
#include <QImage>
#include <QPen>
#include <QRectF>

#include <atomic>
#include <future>
#include <memory>

namespace tallymere {

// The hover mark of a canvas's largest disc, made on a thread of its own as soon as a picture is
// rendered: the tinted patch of the disc over the picture and the kept pixels of its ring. Making
// them costs several milliseconds at twice the pixel ratio (the patch for every picture, the ring
// for every size and theme); a hover arriving later only copies them, one arriving sooner waits for
// what is still being made.
//
// Until the mark is taken or released the patch's thread shares the picture's pixels: release()
// must come before they are drawn again; it stops the patch between bands of rows. It keeps one patch cache of its own besides the canvas's, the two
// swapped at each take, so their pixels are reused from picture to picture.
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
    // Stops what is being made of the patch and lets go of the picture.
    void release();
    // Where `mark` is the one being made: waits for it and hands its patch to `tint` (whose own
    // cache is kept here for the next) and its ring, where `ring` is another, to `ring`. Else releases
    // what was being made. Returns whether the mark was handed over.
    bool take(const Mark& mark, std::unique_ptr<TintCache>& tint, KeptStroke& ring);
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

    std::unique_ptr<TintCache> m_tint = std::make_unique<TintCache>();
    KeptStroke m_ring; // written by the ring's thread while m_ringJob runs
    std::unique_ptr<Job> m_job;
    std::unique_ptr<RingJob> m_ringJob;
    int m_taken = 0;
};

} // namespace tallymere
