#include "views/components/canvas/TintedPicture.h"

#include "views/components/canvas/TileRaster.h"

#include <cstring>

namespace tallymere {

void TintedPicture::prepare(const QImage& picture, const Mark& mark) {
    release();
    if (picture.isNull() || picture.depth() != 32) return;
    if (m_image.size() != picture.size() || m_image.format() != picture.format())
        m_image = QImage(picture.size(), picture.format());
    const qreal ratio = picture.devicePixelRatio();
    m_image.setDevicePixelRatio(ratio);
    // Made here: making a raster touches the image, which only this thread may do.
    const TileRaster whole(m_image, ratio, QPointF());
    uchar* const bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    const std::size_t rowBytes = std::size_t(m_image.width()) * 4;
    // Bands of rows on the thread pool, each copying its rows of the picture and filling the
    // shape over them while they are in the cache. The pieces hold their own reference to the
    // picture's pixels until the job is joined or cancelled.
    m_job = ParallelBands::Job::start(picture.height(), 16, [picture, whole, bits, stride, rowBytes, mark](int top, int bottom) {
        for (int y = top; y < bottom; ++y) std::memcpy(bits + y * stride, picture.constScanLine(y), rowBytes);
        // The same pixels as the shape's patch: the same blend by the same coverage.
        TileRaster(whole, top, bottom).fill(mark.shape, mark.radius, mark.tint);
    });
    m_mark = mark;
}

void TintedPicture::release() {
    if (!m_job) return;
    m_job->cancel();
    m_job.reset();
    // Unfinished, or finished for a picture about to change: kept for its pixels only.
    m_mark = Mark();
}

const QImage& TintedPicture::image(const QImage& picture, const Mark& mark) {
    if (m_job && m_mark != mark) release();
    const bool fits = m_image.size() == picture.size() && m_image.devicePixelRatio() == picture.devicePixelRatio();
    if (m_mark != mark || !fits) prepare(picture, mark);
    if (m_job) {
        m_job->join();
        m_job.reset();
    }
    return m_image;
}

} // namespace tallymere
