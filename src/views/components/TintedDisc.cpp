#include "views/components/TintedDisc.h"

#include "views/components/ParallelBands.h"
#include "views/components/PixelCopy.h"
#include "views/components/TileRaster.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tallymere {

namespace {

// Rows of one strip: fewer make the tiles hug the rim more closely where it runs across the rows,
// more make fewer tiles.
constexpr int stripRows = 8;
// How far past the ring's pen the band reaches, in device pixels: the painter's antialiasing and the
// curves it draws a circle with stay within a pixel of the pen; the rest is room to spare.
constexpr double bandSlack = 3;
// Below this many pixels a mark is laid on the calling thread alone.
constexpr qint64 parallelPixels = 256 * 1024;

// The painter's source-over of a premultiplied pixel onto an opaque one, with its own integer
// sums (a channel of `d` times the source's transparency, rounded the painter's way), so that a ring
// laid here gives the pixels the painter gives when it draws the ring's kept pixels.
inline std::uint32_t sourceOver(std::uint32_t s, std::uint32_t d) {
    if (s >= 0xff000000u) return s;
    const std::uint32_t keep = 255u - (s >> 24);
    std::uint32_t rb = (d & 0x00ff00ffu) * keep;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu) + 0x00800080u) >> 8) & 0x00ff00ffu;
    std::uint32_t ag = ((d >> 8) & 0x00ff00ffu) * keep;
    ag = (ag + ((ag >> 8) & 0x00ff00ffu) + 0x00800080u) & 0xff00ff00u;
    return s + (rb | ag);
}

} // namespace

void TintedDisc::clear() {
    m_scale = 0;
    m_revision = -1;
    m_ringLaid = false;
    m_area = m_pixels = QRect();
    m_pictureSize = QSize();
    m_strips.clear();
    m_tiles.clear();
}

bool TintedDisc::make(const QImage& picture, int pictureRevision, const QRectF& disc, const QColor& tint,
                      const QPen& ring, const std::atomic<bool>* stop) {
    clear();
    const qreal ratio = picture.devicePixelRatio();
    if (picture.isNull() || picture.format() != QImage::Format_ARGB32_Premultiplied || ratio != std::floor(ratio) ||
        ratio < 1 || disc.isEmpty())
        return false;
    const int scale = int(ratio);
    // The ring's pen and its antialiasing reach past the rim on either side.
    const double penReach = ring.widthF() / 2;
    const QRect logical(0, 0, picture.width() / scale, picture.height() / scale);
    const QRect area = disc.adjusted(-penReach - 2, -penReach - 2, penReach + 2, penReach + 2).toAlignedRect() & logical;
    if (area.isEmpty()) return false;
    const QRect pixels(area.topLeft() * scale, area.size() * scale);
    const double cx = disc.center().x() * scale, cy = disc.center().y() * scale, radius = disc.width() / 2 * scale;
    const double reach = penReach * scale + bandSlack;
    const double outer = radius + reach, inner = radius - reach;

    // The tiles of each strip, from the reach of the band along each of its rows.
    std::size_t size = 0;
    for (int top = pixels.top(); top <= pixels.bottom(); top += stripRows) {
        const int bottom = std::min(top + stripRows, pixels.bottom() + 1);
        bool any = false, allInside = true;
        int outerLeft = pixels.right() + 1, outerRight = pixels.left(), innerLeft = pixels.left(),
            innerRight = pixels.right() + 1;
        for (int y = top; y < bottom; ++y) {
            const double near = (y <= cy && cy <= y + 1) ? 0 : std::min(std::abs(y - cy), std::abs(y + 1 - cy));
            const double far = std::max(std::abs(y - cy), std::abs(y + 1 - cy));
            if (near >= outer) {
                allInside = false;
                continue;
            }
            any = true;
            const double across = std::sqrt(outer * outer - near * near);
            outerLeft = std::min(outerLeft, std::max(int(std::floor(cx - across)), pixels.left()));
            outerRight = std::max(outerRight, std::min(int(std::ceil(cx + across)), pixels.right() + 1));
            if (inner <= 0 || far >= inner) {
                allInside = false;
                continue;
            }
            // The pixels of this row wholly within the inner edge of the band.
            const double within = std::sqrt(inner * inner - far * far);
            innerLeft = std::max(innerLeft, int(std::ceil(cx - within)));
            innerRight = std::min(innerRight, int(std::floor(cx + within)));
        }
        Strip strip;
        strip.first = int(m_tiles.size());
        // A tile may be empty (a side cut off by the picture's edge): it still bounds the inside.
        auto add = [&](int left, int right) {
            m_tiles.push_back({QRect(left, top, std::max(right - left, 0), bottom - top), size});
            size += std::size_t(m_tiles.back().rect.width()) * std::size_t(bottom - top);
            ++strip.tiles;
        };
        if (any && allInside && innerLeft < innerRight) {
            add(outerLeft, innerLeft);
            add(innerRight, outerRight);
        } else if (any && outerLeft < outerRight) {
            add(outerLeft, outerRight);
        }
        m_strips.push_back(strip);
    }
    m_band.resize(size);

    // Each tile: the picture's pixels with the fill laid over them, as it lies over the whole
    // picture (the same distances from the same centre, counted from the tile's corner). The fill's
    // edge is worked out pixel by pixel: the strips are shared out among the pool's threads.
    ParallelBands::run(int(m_strips.size()), 8, [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            if (stop && stop->load(std::memory_order_relaxed)) return;
            const Strip& strip = m_strips[std::size_t(i)];
            for (int t = strip.first; t < strip.first + strip.tiles; ++t) {
                const Tile& tile = m_tiles[std::size_t(t)];
                if (tile.rect.isEmpty()) continue;
                std::uint32_t* pixelsOfTile = m_band.data() + tile.offset;
                for (int y = tile.rect.top(); y <= tile.rect.bottom(); ++y)
                    std::memcpy(pixelsOfTile + std::size_t(y - tile.rect.top()) * std::size_t(tile.rect.width()),
                                picture.constScanLine(y) + qsizetype(tile.rect.left()) * 4,
                                std::size_t(tile.rect.width()) * 4);
                QImage image(reinterpret_cast<uchar*>(pixelsOfTile), tile.rect.width(), tile.rect.height(),
                             qsizetype(tile.rect.width()) * 4, QImage::Format_ARGB32_Premultiplied);
                TileRaster(image, scale, -QPointF(tile.rect.topLeft())).fill(disc, disc.width() / 2, tint);
            }
        }
    });
    if (stop && stop->load()) {
        clear();
        return false;
    }
    m_disc = disc;
    m_tint = tint;
    m_pen = ring;
    m_revision = pictureRevision;
    m_scale = scale;
    m_area = area;
    m_pixels = pixels;
    m_pictureSize = picture.size();
    return true;
}

bool TintedDisc::layRing(const KeptStroke& kept) {
    if (m_scale == 0 || m_ringLaid) return m_ringLaid;
    if (!kept.holds(m_scale, m_disc, m_pen)) {
        clear();
        return false;
    }
    // The band without the ring is kept too, for a ring to be stroked over other marks.
    m_fillOnly = m_band;
    const std::vector<QImage>& runs = kept.runs();
    const std::vector<QPoint>& at = kept.runPositions();
    const QRect picture(QPoint(0, 0), m_pictureSize);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const QImage& run = runs[i];
        // Beyond the picture the window shows nothing of the ring.
        const QRect shown = QRect(at[i], run.size()) & picture;
        for (int py = shown.top(); py <= shown.bottom(); ++py) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(run.constScanLine(py - at[i].y())) - at[i].x();
            // Every pixel the ring touches must be one of the band's: the row's pixels outside the
            // strip's tiles are checked to be clear, those inside laid on the tile.
            int x = shown.left();
            auto clear = [&](int to) {
                for (; x < to; ++x)
                    if (line[x]) return false;
                return true;
            };
            bool apart = true;
            if (m_pixels.contains(m_pixels.left(), py)) {
                const Strip& strip = m_strips[std::size_t((py - m_pixels.top()) / stripRows)];
                for (int t = strip.first; t < strip.first + strip.tiles && apart; ++t) {
                    const Tile& tile = m_tiles[std::size_t(t)];
                    const int left = std::max(tile.rect.left(), x), right = std::min(tile.rect.right() + 1, shown.right() + 1);
                    if (left >= right) continue;
                    apart = clear(left);
                    std::uint32_t* band = m_band.data() + tile.offset +
                                          std::size_t(py - tile.rect.top()) * std::size_t(tile.rect.width());
                    for (; x < right; ++x)
                        if (line[x]) band[x - tile.rect.left()] = sourceOver(line[x], band[x - tile.rect.left()]);
                }
            }
            if (!apart || !clear(shown.right() + 1)) {
                this->clear();
                return false;
            }
        }
    }
    m_ringLaid = true;
    return true;
}

bool TintedDisc::canLay(QPainter& painter, const QImage& picture) {
    const qreal ratio = picture.devicePixelRatio();
    return ratio == std::floor(ratio) && PixelCopy::target(painter, ratio).has_value();
}

bool TintedDisc::lay(QPainter& painter, const QImage& picture, bool withRing) const {
    if (!m_ringLaid || picture.devicePixelRatio() != m_scale) return false;
    const std::optional<PixelCopy::Target> device = PixelCopy::target(painter, m_scale);
    if (!device) return false;
    const QPoint origin = device->origin;
    const QRegion exposed = device->exposed & QRegion(m_pixels.translated(origin));
    qint64 count = 0;
    for (const QRect& r : exposed) count += qint64(r.width()) * r.height();
    if (count == 0) return true;
    const std::vector<QRect> rects(exposed.begin(), exposed.end());
    const QRect bounds = exposed.boundingRect();
    const SolidTint tint(m_tint);
    const std::vector<std::uint32_t>& band = withRing ? m_band : m_fillOnly;
    uchar* const bits = device->image->bits();
    const qsizetype stride = device->image->bytesPerLine();
    ParallelBands::run(bounds.height(), count < parallelPixels ? 1 : 8, [&](int top, int bottom) {
        for (const QRect& r : rects) {
            const int y0 = std::max(r.top(), bounds.top() + top), y1 = std::min(r.bottom() + 1, bounds.top() + bottom);
            // In the picture's pixels: the columns [from, to) of each row.
            const int from = r.left() - origin.x(), to = r.right() + 1 - origin.x();
            for (int y = y0; y < y1; ++y) {
                const int py = y - origin.y();
                auto* out = reinterpret_cast<std::uint32_t*>(bits + qsizetype(y) * stride);
                const auto* in = reinterpret_cast<const std::uint32_t*>(picture.constScanLine(py));
                // Columns [left, right) of the picture's row from `source`, whose first pixel is the
                // picture's column `column`.
                auto copy = [&](int left, int right, const std::uint32_t* source, int column) {
                    left = std::max(left, from), right = std::min(right, to);
                    if (left < right)
                        std::memcpy(out + (left + origin.x()), source + (left - column), std::size_t(right - left) * 4);
                };
                const Strip& strip = m_strips[std::size_t((py - m_pixels.top()) / stripRows)];
                int x = m_pixels.left();
                for (int i = 0; i < strip.tiles; ++i) {
                    const Tile& tile = m_tiles[std::size_t(strip.first + i)];
                    if (i == 1) {
                        // Between the two tiles: wholly inside the fill and clear of the ring.
                        const int left = std::max(x, from), right = std::min(tile.rect.left(), to);
                        if (left < right) tint.over(out + (left + origin.x()), in + left, right - left);
                    } else {
                        copy(x, tile.rect.left(), in, 0);
                    }
                    if (!tile.rect.isEmpty())
                        copy(tile.rect.left(), tile.rect.right() + 1,
                             band.data() + tile.offset + std::size_t(py - tile.rect.top()) * std::size_t(tile.rect.width()),
                             tile.rect.left());
                    x = tile.rect.left() + tile.rect.width();
                }
                copy(x, m_pixels.right() + 1, in, 0);
            }
        }
    });
    return true;
}

} // namespace tallymere
