#include "views/components/canvas/SoftShadow.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tallymere {

namespace {

// One pass of a box blur over the alpha bytes of a premultiplied image, along rows or columns.
void boxBlur(QImage& image, int radius, bool horizontal) {
    const int w = image.width(), h = image.height();
    const int lines = horizontal ? h : w, length = horizontal ? w : h;
    std::vector<int> source(std::size_t(length) + 1);
    const int window = 2 * radius + 1;
    for (int line = 0; line < lines; ++line) {
        auto pixel = [&](int i) -> QRgb& {
            return horizontal ? reinterpret_cast<QRgb*>(image.scanLine(line))[i]
                              : reinterpret_cast<QRgb*>(image.scanLine(i))[line];
        };
        for (int i = 0; i < length; ++i) source[std::size_t(i)] = qAlpha(pixel(i));
        int sum = 0;
        for (int i = -radius; i <= radius; ++i) sum += (i >= 0 && i < length) ? source[std::size_t(i)] : 0;
        for (int i = 0; i < length; ++i) {
            const int a = sum / window;
            pixel(i) = qRgba(0, 0, 0, a);
            const int out = i - radius, in = i + radius + 1;
            if (out >= 0) sum -= source[std::size_t(out)];
            if (in < length) sum += source[std::size_t(in)];
        }
    }
}

} // namespace

void SoftShadow::paint(QPainter& painter, const QRectF& rect, double cornerRadius) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (m_image.isNull() || m_forSize != rect.size() || m_forCorner != cornerRadius ||
        m_image.devicePixelRatio() != ratio) {
        const double pad = m_blur;
        const QSize pixels(int(std::ceil((rect.width() + 2 * pad) * ratio)),
                           int(std::ceil((rect.height() + 2 * pad) * ratio)));
        QImage mask(pixels, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter p(&mask);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.scale(ratio, ratio);
            QPainterPath path;
            path.addRoundedRect(QRectF(pad, pad, rect.width(), rect.height()), cornerRadius, cornerRadius);
            p.fillPath(path, Qt::black);
        }
        // Three box passes approach a Gaussian whose spread is about half the shadow's radius.
        const int box = std::max(1, int(std::lround(m_blur * ratio * 0.45)));
        for (int pass = 0; pass < 3; ++pass) {
            boxBlur(mask, box, true);
            boxBlur(mask, box, false);
        }
        // Colour the blurred coverage.
        for (int y = 0; y < mask.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(mask.scanLine(y));
            for (int x = 0; x < mask.width(); ++x) {
                const int a = qAlpha(line[x]) * m_color.alpha() / 255;
                line[x] = qPremultiply(qRgba(m_color.red(), m_color.green(), m_color.blue(), a));
            }
        }
        mask.setDevicePixelRatio(ratio);
        m_image = mask;
        m_forSize = rect.size();
        m_forCorner = cornerRadius;
    }
    painter.drawImage(rect.topLeft() + m_offset - QPointF(m_blur, m_blur), m_image);
}

} // namespace tallymere
