#include "views/components/PreparedHover.h"

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
    m_job = std::make_unique<Job>();
    m_job->stop = std::make_shared<std::atomic<bool>>(false);
    m_job->mark = mark;
    // The thread works in this object's own cache, which nothing else touches until the job is done.
    m_job->done = std::async(std::launch::async, [picture = QImage(picture), mark, stop = m_job->stop,
                                                  tint = m_tint.get()] {
        tint->patch(picture, mark.pictureRevision, mark.disc, mark.disc.width() / 2, mark.tint, QRect(), stop.get());
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
    ++m_taken;
    // The ring made for this mark, now or for an earlier picture, where the canvas's own is another.
    const double ratio = tint->ratio();
    if (m_ringJob && m_ringJob->scale == ratio && m_ringJob->disc == mark.disc && m_ringJob->pen == mark.ring) {
        m_ringJob->done.get();
        m_ringJob.reset();
    }
    if (ringSettled() && !ring.holds(ratio, mark.disc, mark.ring) && m_ring.holds(ratio, mark.disc, mark.ring))
        std::swap(ring, m_ring);
    return true;
}

} // namespace tallymere
