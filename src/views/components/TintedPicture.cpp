#include "views/components/TintedPicture.h"

#include "views/components/ParallelBands.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace tallymere {

namespace {

// Copies `picture` into `target` (reused when it has the picture's size and format) and fills it
// with `tint`, bands of rows at once on the thread pool, each band hearing a stop before it starts.
// A stopped copy comes back unfinished.
QImage tinted(const QImage& picture, QImage target, const QColor& tint, const std::atomic<bool>* stop) {
    if (target.size() != picture.size() || target.format() != picture.format())
        target = QImage(picture.size(), picture.format());
    target.setDevicePixelRatio(picture.devicePixelRatio());
    const qsizetype stride = target.bytesPerLine();
    uchar* bits = target.bits();
    const int width = target.width();
    const QImage::Format format = target.format();
    ParallelBands::run(
        picture.height(), 8,
        [&](int top, int bottom) {
            if (stop && stop->load(std::memory_order_relaxed)) return;
            for (int y = top; y < bottom; ++y)
                std::memcpy(bits + y * stride, picture.constScanLine(y), std::size_t(width) * 4);
            // The same blend, pixel by pixel, as a translucent fill over the picture on the window.
            QImage band(bits + top * stride, width, bottom - top, stride, format);
            QPainter painter(&band);
            painter.fillRect(band.rect(), tint);
        },
        2);
    return target;
}

} // namespace

void TintedPicture::prepare(const QImage& picture, int revision, const QColor& tint) {
    release();
    if (picture.isNull() || picture.depth() != 32) return;
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_job = std::make_unique<Job>();
    m_job->stop = stop;
    m_job->revision = revision;
    m_job->tint = tint;
    // The thread holds its own reference to the picture's pixels and reuses the kept copy's.
    m_job->result = std::async(std::launch::async, [picture, target = std::move(m_image), tint, stop]() mutable {
        return tinted(picture, std::move(target), tint, stop.get());
    });
    m_image = QImage();
    m_revision = -1;
}

void TintedPicture::release() {
    if (!m_job) return;
    m_job->stop->store(true);
    m_image = m_job->result.get();
    // Unfinished, or finished for a picture about to change: kept for its pixels only.
    m_revision = -1;
    m_job.reset();
}

const QImage& TintedPicture::image(const QImage& picture, int revision, const QColor& tint) {
    if (m_job) {
        if (m_job->revision == revision && m_job->tint == tint) {
            m_image = m_job->result.get();
            m_revision = revision;
            m_tint = tint;
            m_job.reset();
        } else release();
    }
    if (m_revision != revision || m_tint != tint || m_image.size() != picture.size() ||
        m_image.devicePixelRatio() != picture.devicePixelRatio()) {
        m_image = tinted(picture, std::move(m_image), tint, nullptr);
        m_revision = revision;
        m_tint = tint;
    }
    return m_image;
}

} // namespace tallymere
