#include "views/explore/agemap/SurfacePicture.h"

#include "views/components/canvas/ParallelBands.h"
#include "views/components/canvas/PixelCopy.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tallymere {

namespace {

// Below this many device pixels the bands are drawn on the calling thread: its painter fills their
// marks itself (kept pictures of small shapes, copied), and the drawing costs less than waking a
// thread of the pool, which on a busy machine takes milliseconds. A grid of 500 by 500 pixels, the
// Age Map's at pixel ratio 1, or its rows in view of a short window at ratio 2.
constexpr qint64 poolPixels = 300'000;

// What a band's backdrop is: not drawn since it changed, drawn once with the band (not kept), kept.
constexpr char noBackdrop = 0, drawnOnce = 1, keptBackdrop = 2;

} // namespace

void SurfacePicture::paint(QPainter& painter, const QWidget& widget, const QRegion& exposed, const QColor& surface,
                           const std::vector<double>& edges, const Draw& draw, const Draw& backdrop) {
    const qreal ratio = widget.devicePixelRatioF();
    const QSize pixels(int(std::ceil(widget.width() * ratio)), int(std::ceil(widget.height() * ratio)));
    if (pixels.isEmpty()) return;
    if (m_stale || m_image.size() != pixels || m_image.devicePixelRatio() != ratio || m_surface != surface) {
        const bool sameGround = m_surface == surface && m_image.size() == pixels && m_image.devicePixelRatio() == ratio;
        if (m_image.size() != pixels) m_image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(ratio);
        m_surface = surface;
        m_stale = false;
        const std::vector<int> before = std::move(m_rows);
        m_rows = {0};
        // One band an edge more, empty where an edge lies outside the picture.
        for (double edge : edges)
            m_rows.push_back(std::clamp(int(std::lround(edge * ratio)), m_rows.back(), pixels.height()));
        m_rows.push_back(pixels.height());
        m_drawn.assign(m_rows.size() - 1, false);
        if (m_backdropStale || !sameGround || m_rows != before) {
            m_backdropStale = false;
            m_backdropDrawn.assign(m_rows.size() - 1, 0);
        }
    }
    if (backdrop && m_backdropDrawn.size() != m_drawn.size()) m_backdropDrawn.assign(m_drawn.size(), 0);
    // The bands the exposed rows reach that are not drawn yet.
    const QRect shown = exposed.boundingRect();
    const int showTop = int(std::floor(shown.top() * ratio)), showBottom = int(std::ceil((shown.bottom() + 1) * ratio));
    std::vector<std::size_t> due;
    for (std::size_t band = 0; band < m_drawn.size(); ++band)
        if (!m_drawn[band] && m_rows[band] < showBottom && m_rows[band + 1] > showTop) due.push_back(band);
    if (!due.empty()) {
        // Made here: taking the bits touches the image, which only this thread may do.
        uchar* bits = m_image.bits();
        // A band's backdrop is kept from its second drawing on: a picture drawn once (a view just
        // shown) is drawn whole, without the copy.
        bool keeping = false;
        for (std::size_t band : due) keeping = keeping || (backdrop && m_backdropDrawn[band] == drawnOnce);
        if (keeping && m_backdrop.size() != pixels) m_backdrop = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        uchar* backdropBits = backdrop && !m_backdrop.isNull() ? m_backdrop.bits() : nullptr;
        const qsizetype stride = m_image.bytesPerLine();
        const QImage::Format format = m_image.format();
        // Each band by one painter of its own, on the band's rows alone, starting from the bare
        // surface when `fresh`.
        auto drawOn = [&](uchar* rows, std::size_t band, const Draw& what, bool fresh) {
            const int top = m_rows[band], bottom = m_rows[band + 1];
            QImage part(rows + qsizetype(top) * stride, pixels.width(), bottom - top, stride, format);
            part.setDevicePixelRatio(ratio);
            if (fresh) part.fill(surface);
            QPainter p(&part);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setRenderHint(QPainter::TextAntialiasing, true);
            p.translate(0, -top / ratio);
            what(p, band);
        };
        auto drawBand = [&](std::size_t band) {
            const int top = m_rows[band], bottom = m_rows[band + 1];
            if (bottom <= top) return;
            if (!backdrop) return drawOn(bits, band, draw, true);
            if (m_backdropDrawn[band] == noBackdrop)
                return drawOn(bits, band, [&](QPainter& p, std::size_t b) {
                    p.save();
                    backdrop(p, b);
                    p.restore();
                    draw(p, b);
                }, true);
            if (m_backdropDrawn[band] != keptBackdrop) drawOn(backdropBits, band, backdrop, true);
            std::memcpy(bits + qsizetype(top) * stride, backdropBits + qsizetype(top) * stride,
                        std::size_t(bottom - top) * std::size_t(stride));
            drawOn(bits, band, draw, false);
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
        for (std::size_t band : due) {
            m_drawn[band] = true;
            if (backdrop) m_backdropDrawn[band] = m_backdropDrawn[band] == noBackdrop ? drawnOnce : keptBackdrop;
        }
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
