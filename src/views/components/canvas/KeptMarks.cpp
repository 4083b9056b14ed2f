#include "views/components/canvas/KeptMarks.h"

#include "views/components/canvas/ParallelBands.h"

#include <QPainter>
#include <QThreadPool>

#include <cmath>

namespace tallymere {

namespace {

// The picture's pixels under `area` (whole points).
QImage pixelsUnder(const QImage& picture, const QRect& area) {
    const int ratio = int(picture.devicePixelRatio());
    QImage pixels = picture.copy(QRect(area.topLeft() * ratio, area.size() * ratio));
    pixels.setDevicePixelRatio(ratio);
    return pixels;
}

// Those pixels with the marks drawn over them, as the canvas's painter would draw them there.
QImage drawOver(QImage pixels, QPoint areaTopLeft, const KeptMarks::Draw& draw) {
    QPainter painter(&pixels);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(-areaTopLeft);
    draw(painter);
    painter.end();
    return pixels;
}

} // namespace

bool KeptMarks::canKeep(const QImage& picture) {
    const qreal ratio = picture.devicePixelRatio();
    return !picture.isNull() && picture.format() == QImage::Format_ARGB32_Premultiplied && ratio >= 1 &&
           ratio == std::floor(ratio);
}

void KeptMarks::settle() {
    if (!m_job) return;
    // Marks still queued behind other work are made now rather than waited for.
    if (QThreadPool* pool = QThreadPool::globalInstance(); pool && pool->tryTake(m_job->runnable.get()))
        ParallelBands::runOnPool([this] { m_job->runnable->run(); });
    m_key = m_job->key;
    m_image = m_job->made.get();
    m_job.reset();
}

void KeptMarks::prepare(const QImage& picture, const Key& key, Draw draw) {
    settle();
    if (!canKeep(picture) || key.area.isEmpty() || key == m_key) return;
    m_job = std::make_unique<Job>();
    m_job->key = key;
    m_job->made = m_job->promise.get_future();
    // The pixels are copied here: the picture may be drawn again while the marks are being made.
    m_job->runnable.reset(QRunnable::create([promise = &m_job->promise, pixels = pixelsUnder(picture, key.area),
                                             at = key.area.topLeft(), draw = std::move(draw)] {
        promise->set_value(drawOver(pixels, at, draw));
    }));
    m_job->runnable->setAutoDelete(false);
    QThreadPool::globalInstance()->start(m_job->runnable.get());
}

const QImage& KeptMarks::image(const QImage& picture, const Key& key, const Draw& draw) {
    settle();
    if (key == m_key) return m_image;
    // On a thread of the pool, whose painter fills its own spans rather than hand them out and wait.
    ++m_onDemand;
    QImage made;
    ParallelBands::runOnPool([&] { made = drawOver(pixelsUnder(picture, key.area), key.area.topLeft(), draw); });
    m_key = key;
    m_image = std::move(made);
    return m_image;
}

} // namespace tallymere
