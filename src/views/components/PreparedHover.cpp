#include "views/components/PreparedHover.h"

namespace tallymere {

void PreparedHover::prepare(const QImage& picture, const Mark& mark, const KeptStroke& ring) {
    release();
    if (picture.isNull() || mark.disc.isEmpty()) return;
    const double ratio = picture.devicePixelRatio();
    m_job = std::make_unique<Job>();
    m_job->stop = std::make_shared<std::atomic<bool>>(false);
    m_job->mark = mark;
    m_job->ring = !ring.holds(ratio, mark.disc, mark.ring) && !m_ring.holds(ratio, mark.disc, mark.ring);
    // The thread works in this object's own cache and ring, which nothing else touches until the
    // job is done; it lets go of the picture as soon as the patch is made.
    m_job->done = std::async(std::launch::async, [picture = QImage(picture), mark, ratio, stop = m_job->stop, tint = m_tint.get(),
                                                  kept = m_job->ring ? &m_ring : nullptr]() mutable {
        // The ring, which needs no picture, on a thread of its own beside the patch.
        std::future<void> ring;
        if (kept) ring = std::async(std::launch::async, [&] { kept->prepare(ratio, mark.disc, mark.ring); });
        if (!stop->load()) tint->patch(picture, mark.pictureRevision, mark.disc, mark.disc.width() / 2, mark.tint);
        picture = QImage();
        if (ring.valid()) ring.get();
    });
}

void PreparedHover::release() {
    if (!m_job) return;
    m_job->stop->store(true);
    m_job->done.get();
    m_job.reset();
}

bool PreparedHover::take(const Mark& mark, std::unique_ptr<TintCache>& tint, KeptStroke& ring) {
    if (!m_job) return false;
    if (!(m_job->mark == mark)) {
        release();
        return false;
    }
    m_job->done.get();
    m_job.reset();
    std::swap(tint, m_tint);
    // The ring made now or for an earlier picture, while the canvas's own is another.
    const double ratio = tint->ratio();
    if (!ring.holds(ratio, mark.disc, mark.ring) && m_ring.holds(ratio, mark.disc, mark.ring)) std::swap(ring, m_ring);
    ++m_taken;
    return true;
}

} // namespace tallymere
