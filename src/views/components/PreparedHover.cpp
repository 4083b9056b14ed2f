#include "views/components/PreparedHover.h"

#include <optional>

namespace tallymere {

PreparedHover::~PreparedHover() {
    release();
    if (m_ringJob) m_ringJob->done.get();
}

bool PreparedHover::ringSettled() {
    if (!m_ringJob) return true;
    if (m_ringJob->done.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
    m_ringJob->done.get();
    m_ringJob.reset();
    return true;
}

void PreparedHover::prepare(const QImage& picture, const Mark& mark, const KeptStroke& ring) {
    release();
    if (picture.isNull() || mark.disc.isEmpty()) return;
    const double ratio = picture.devicePixelRatio();
    // The ring needs no picture: it is made on a thread of its own that a new picture does not wait
    // for (a stroke cannot be stopped halfway), and one at a time. While one for another ring is
    // still being made, a hover of this one strokes it itself.
    if (ringSettled() && !ring.holds(ratio, mark.disc, mark.ring) && !m_ring.holds(ratio, mark.disc, mark.ring)) {
        m_ringJob = std::make_unique<RingJob>();
        m_ringJob->scale = ratio;
        m_ringJob->disc = mark.disc;
        m_ringJob->pen = mark.ring;
        m_ringJob->done = std::async(std::launch::async, [kept = &m_ring, ratio, disc = mark.disc, pen = mark.ring] {
            kept->prepare(ratio, disc, pen);
        });
    }
    // The ring is laid on the band by its thread where it is kept already; a ring still to be made
    // is laid when the mark is taken.
    std::optional<KeptStroke> kept;
    if (ring.holds(ratio, mark.disc, mark.ring)) kept = ring;
    else if (ringSettled() && m_ring.holds(ratio, mark.disc, mark.ring)) kept = m_ring;
    m_job = std::make_unique<Job>();
    m_job->stop = std::make_shared<std::atomic<bool>>(false);
    m_job->mark = mark;
    // The thread works in this object's own band, which nothing else touches until the job is done.
    m_job->done = std::async(std::launch::async, [picture = QImage(picture), mark, stop = m_job->stop,
                                                  disc = &m_disc, kept = std::move(kept)] {
        if (disc->make(picture, mark.pictureRevision, mark.disc, mark.tint, mark.ring, stop.get()) && kept)
            disc->layRing(*kept);
    });
}

void PreparedHover::release() {
    if (!m_job) return;
    m_job->stop->store(true);
    m_job->done.get();
    m_job.reset();
}

bool PreparedHover::take(const Mark& mark, TintedDisc& disc, KeptStroke& ring) {
    if (!m_job) return false;
    if (!(m_job->mark == mark)) {
        release();
        return false;
    }
    m_job->done.get();
    m_job.reset();
    ++m_taken;
    // The ring made for this mark, now or for an earlier picture, where the canvas's own is another.
    if (const double ratio = m_disc.scale(); ratio > 0) {
        if (m_ringJob && m_ringJob->scale == ratio && m_ringJob->disc == mark.disc && m_ringJob->pen == mark.ring) {
            m_ringJob->done.get();
            m_ringJob.reset();
        }
        if (ringSettled() && !ring.holds(ratio, mark.disc, mark.ring) && m_ring.holds(ratio, mark.disc, mark.ring))
            std::swap(ring, m_ring);
        if (m_disc.awaitsRing(mark.pictureRevision, mark.disc, mark.tint, mark.ring, ratio) &&
            ring.holds(ratio, mark.disc, mark.ring))
            m_disc.layRing(ring);
    }
    std::swap(disc, m_disc);
    return true;
}

} // namespace tallymere
