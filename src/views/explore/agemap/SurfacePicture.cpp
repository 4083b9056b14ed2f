#include "views/explore/agemap/SurfacePicture.h"

#include "views/components/canvas/ParallelBands.h"
#include "views/components/canvas/PixelCopy.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

// Below this many device pixels the bands are drawn on the calling thread: its painter fills their
// marks itself (kept pictures of small shapes, copied), and the drawing costs less than waking a
// thread of the pool, which on a busy machine takes milliseconds. A grid of 500 by 500 pixels, the
// Age Map's at pixel ratio 1, or its rows in view of a short window at ratio 2.
constexpr qint64 poolPixels = 300'000;

} // namespace

void SurfacePicture::paint(QPainter& painter, const QWidget& widget, const QRegion& exposed, const QColor& surface,
                           const std::vector<double>& edges, const Draw& draw) {
    const qreal ratio = widget.devicePixelRatioF();
    const QSize pixels(int(std::ceil(widget.width() * ratio)), int(std::ceil(widget.height() * ratio)));
    if (pixels.isEmpty()) return;
    if (m_stale || m_image.size() != pixels || m_image.devicePixelRatio() != ratio || m_surface != surface) {
        if (m_image.size() != pixels) m_image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(ratio);
        m_surface = surface;
        m_stale = false;
        m_rows = {0};
        // One band an edge more, empty where an edge lies outside the picture.
        for (double edge : edges)
            m_rows.push_back(std::clamp(int(std::lround(edge * ratio)), m_rows.back(), pixels.height()));
        m_rows.push_back(pixels.height());
        m_drawn.assign(m_rows.size() - 1, false);
    }
    // The bands the exposed rows reach that are not drawn yet.
    const QRect shown = exposed.boundingRect();
    const int showTop = int(std::floor(shown.top() * ratio)), showBottom = int(std::ceil((shown.bottom() + 1) * ratio));
    std::vector<std::size_t> due;
    for (std::size_t band = 0; band < m_drawn.size(); ++band)
        if (!m_drawn[band] && m_rows[band] < showBottom && m_rows[band + 1] > showTop) due.push_back(band);
    if (!due.empty()) {
        ++m_renders;
        // Made here: taking the bits touches the image, which only this thread may do.
        uchar* bits = m_image.bits();
        const qsizetype stride = m_image.bytesPerLine();
        const QImage::Format format = m_image.format();
        auto drawBand = [&](std::size_t band) {
            const int top = m_rows[band], bottom = m_rows[band + 1];
            if (bottom <= top) return;
            QImage part(bits + qsizetype(top) * stride, pixels.width(), bottom - top, stride, format);
            part.setDevicePixelRatio(ratio);
            part.fill(surface);
            QPainter p(&part);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setRenderHint(QPainter::TextAntialiasing, true);
            p.translate(0, -top / ratio);
            draw(p, band);
        };
        qint64 duePixels = 0;
        for (std::size_t band : due) duePixels += qint64(m_rows[band + 1] - m_rows[band]) * pixels.width();
        if (duePixels < poolPixels)
            for (std::size_t band : due) drawBand(band);
        else if (due.size() == 1)
            ParallelBands::runOnPool([&] { drawBand(due.front()); });
        else
            // The window's thread draws bands too: on a busy machine the pool's threads start late,
            // and it would only wait for them.
            ParallelBands::share(int(due.size()), int(due.size()), [&](int first, int last) {
                for (int i = first; i < last; ++i) drawBand(due[std::size_t(i)]);
            });
        for (std::size_t band : due) m_drawn[band] = true;
    }
    // Copied straight into the window where that is plainly the same, rows shared with the pool;
    // the painter would copy the picture on this thread alone, through its path for scaled images.
    if (PixelCopy::toDevice(painter, m_image)) return;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPointF(0, 0), m_image);
    painter.restore();
}

} // namespace tallymere
