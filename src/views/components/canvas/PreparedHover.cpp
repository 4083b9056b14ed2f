#include "views/components/canvas/PreparedHover.h"

#include <optional>

namespace tallymere {

PreparedHover::~PreparedHover() {
    if (m_job) m_job->done.wait();
}

bool PreparedHover::settled() {
    if (!m_job) return true;
    if (m_job->done.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
    m_job->done.get();
    m_job.reset();
    return true;
}

void PreparedHover::prepare(const Mark& mark, QSize pictureSize, int scale, const TintedDisc& disc,
                            const KeptStroke& ring) {
    if (mark.disc.isEmpty() || scale < 1 || disc.holds(mark.disc, mark.tint, mark.ring, pictureSize, scale)) return;
    if (!settled()) return;
    if (m_disc.holds(mark.disc, mark.tint, mark.ring, pictureSize, scale)) return;
    // The canvas's ring, where it is this one, is copied (its pixels are shared, not copied) rather
    // than stroked again.
    std::optional<KeptStroke> kept;
    if (ring.holds(scale, mark.disc, mark.ring)) kept = ring;
    m_job = std::make_unique<Job>();
    m_job->mark = mark;
    m_job->pictureSize = pictureSize;
    m_job->scale = scale;
    m_job->done = std::async(std::launch::async, [this, mark, pictureSize, scale, kept = std::move(kept)] {
        if (kept) m_ring = *kept;
        else m_ring.prepare(scale, mark.disc, mark.ring);
        m_disc.shape(mark.disc, mark.tint, mark.ring, m_ring, pictureSize, scale);
    });
}

bool PreparedHover::take(const Mark& mark, QSize pictureSize, int scale, TintedDisc& disc, KeptStroke& ring) {
    if (m_job && m_job->mark == mark && m_job->pictureSize == pictureSize && m_job->scale == scale)
        m_job->done.wait();
    if (!settled() || !m_disc.holds(mark.disc, mark.tint, mark.ring, pictureSize, scale)) return false;
    std::swap(disc, m_disc);
    if (!ring.holds(scale, mark.disc, mark.ring)) std::swap(ring, m_ring);
    ++m_taken;
    return true;
}

} // namespace tallymere
