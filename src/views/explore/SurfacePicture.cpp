#include "views/explore/SurfacePicture.h"

#include "views/components/ParallelBands.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tallymere {

void SurfacePicture::paint(QPainter& painter, const QWidget& widget, const QColor& surface,
                           const std::vector<double>& edges, const Draw& draw) {
    const qreal ratio = widget.devicePixelRatioF();
    const QSize pixels(int(std::ceil(widget.width() * ratio)), int(std::ceil(widget.height() * ratio)));
    if (pixels.isEmpty()) return;
    if (m_stale || m_image.size() != pixels || m_image.devicePixelRatio() != ratio || m_surface != surface) {
        if (m_image.size() != pixels) m_image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(ratio);
        m_surface = surface;
        m_stale = false;
        ++m_renders;
        // The bands' rows, in device pixels.
        std::vector<int> rows{0};
        for (double edge : edges) {
            const int row = std::clamp(int(std::lround(edge * ratio)), rows.back(), pixels.height());
            if (row > rows.back() && row < pixels.height()) rows.push_back(row);
        }
        rows.push_back(pixels.height());
        // Made here: taking the bits touches the image, which only this thread may do.
        uchar* bits = m_image.bits();
        const qsizetype stride = m_image.bytesPerLine();
        const QImage::Format format = m_image.format();
        auto drawBand = [&](std::size_t band) {
            const int top = rows[band], bottom = rows[band + 1];
            QImage part(bits + qsizetype(top) * stride, pixels.width(), bottom - top, stride, format);
            part.setDevicePixelRatio(ratio);
            part.fill(surface);
            QPainter p(&part);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setRenderHint(QPainter::TextAntialiasing, true);
            p.translate(0, -top / ratio);
            draw(p, band);
        };
        const int bands = int(rows.size()) - 1;
        if (bands == 1)
            ParallelBands::runOnPool([&] { drawBand(0); });
        else
            ParallelBands::run(bands, bands, [&](int first, int last) {
                for (int band = first; band < last; ++band) drawBand(std::size_t(band));
            });
    }
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPointF(0, 0), m_image);
    painter.restore();
}

} // namespace tallymere
