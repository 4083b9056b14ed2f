#include "views/components/canvas/TintedDisc.h"

#include "views/components/canvas/ParallelBands.h"
#include "views/components/canvas/PixelCopy.h"
#include "views/components/canvas/TileRaster.h"

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

// The painter's source-over of a premultiplied pixel onto an opaque one, so that a ring laid here
// gives the pixels the painter gives when it draws the ring's kept pixels; an opaque one replaces it.
inline std::uint32_t sourceOver(std::uint32_t s, std::uint32_t d) {
    return s >= 0xff000000u ? s : sourceOverPixel(s, d);
}

} // namespace

void TintedDisc::clear() {
    m_scale = 0;
    m_area = m_pixels = QRect();
    m_pictureSize = QSize();
    m_strips.clear();
    m_tiles.clear();
}

bool TintedDisc::shape(const QRectF& disc, const QColor& tint, const QPen& ring, const KeptStroke& kept,
                       QSize pictureSize, int scale) {
    clear();
    if (scale < 1 || disc.isEmpty() || pictureSize.isEmpty() || !kept.holds(scale, disc, ring)) return false;
    // The ring's pen and its antialiasing reach past the rim on either side.
    const double penReach = ring.widthF() / 2;
    const QRect logical(0, 0, pictureSize.width() / scale, pictureSize.height() / scale);
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
    m_ring.assign(size, 0);
    m_fill.resize(size);
    m_band.resize(size);
    m_pixels = pixels;

    // The ring's pixels where the tiles hold them: every pixel it touches within the picture must
    // be one of the band's (beyond the picture the window shows nothing of it).
    const std::vector<QImage>& runs = kept.runs();
    const std::vector<QPoint>& at = kept.runPositions();
    const QRect picture(QPoint(0, 0), pictureSize);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const QImage& run = runs[i];
        const QRect shown = QRect(at[i], run.size()) & picture;
        for (int py = shown.top(); py <= shown.bottom(); ++py) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(run.constScanLine(py - at[i].y())) - at[i].x();
            int x = shown.left();
            auto clearTo = [&](int to) {
                for (; x < to; ++x)
                    if (line[x]) return false;
                return true;
            };
            bool apart = true;
            if (py >= pixels.top() && py <= pixels.bottom()) {
                const Strip& strip = m_strips[std::size_t((py - pixels.top()) / stripRows)];
                for (int t = strip.first; t < strip.first + strip.tiles && apart; ++t) {
                    const Tile& tile = m_tiles[std::size_t(t)];
                    const int left = std::max(tile.rect.left(), x), right = std::min(tile.rect.right() + 1, shown.right() + 1);
                    if (left >= right) continue;
                    apart = clearTo(left);
                    std::uint32_t* kept = m_ring.data() + tile.offset +
                                          std::size_t(py - tile.rect.top()) * std::size_t(tile.rect.width());
                    for (; x < right; ++x) kept[x - tile.rect.left()] = line[x];
                }
            }
            if (!apart || !clearTo(shown.right() + 1)) {
                clear();
                return false;
            }
        }
    }
    m_disc = disc;
    m_tint = tint;
    m_pen = ring;
    m_scale = scale;
    m_pictureSize = pictureSize;
    m_area = area;
    return true;
}

void TintedDisc::makeStrip(Strip& strip, const QImage& picture) {
    // The picture's pixels with the fill laid over them, as it lies over the whole picture (the
    // same distances from the same centre, counted from the tile's corner), then the ring.
    for (int t = strip.first; t < strip.first + strip.tiles; ++t) {
        const Tile& tile = m_tiles[std::size_t(t)];
        if (tile.rect.isEmpty()) continue;
        const std::size_t width = std::size_t(tile.rect.width()), count = width * std::size_t(tile.rect.height());
        std::uint32_t* fill = m_fill.data() + tile.offset;
        for (int y = tile.rect.top(); y <= tile.rect.bottom(); ++y)
            std::memcpy(fill + std::size_t(y - tile.rect.top()) * width,
                        picture.constScanLine(y) + qsizetype(tile.rect.left()) * 4, width * 4);
        QImage image(reinterpret_cast<uchar*>(fill), tile.rect.width(), tile.rect.height(), qsizetype(width) * 4,
                     QImage::Format_ARGB32_Premultiplied);
        TileRaster(image, m_scale, -QPointF(tile.rect.topLeft())).fill(m_disc, m_disc.width() / 2, m_tint);
        const std::uint32_t* ring = m_ring.data() + tile.offset;
        std::uint32_t* band = m_band.data() + tile.offset;
        for (std::size_t i = 0; i < count; ++i) band[i] = ring[i] ? sourceOver(ring[i], fill[i]) : fill[i];
    }
}

bool TintedDisc::canLay(QPainter& painter, const QImage& picture) {
    const qreal ratio = picture.devicePixelRatio();
    return ratio == std::floor(ratio) && PixelCopy::target(painter, ratio).has_value();
}

bool TintedDisc::lay(QPainter& painter, const QImage& picture, int pictureRevision, bool withRing) {
    if (m_scale == 0 || picture.devicePixelRatio() != m_scale || picture.size() != m_pictureSize ||
        picture.format() != QImage::Format_ARGB32_Premultiplied)
        return false;
    const std::optional<PixelCopy::Target> device = PixelCopy::target(painter, m_scale);
    if (!device) return false;
    const QPoint origin = device->origin;
    const QRegion exposed = device->exposed & QRegion(m_pixels.translated(origin));
    qint64 count = 0;
    for (const QRect& r : exposed) count += qint64(r.width()) * r.height();
    if (count == 0) return true;
    const std::vector<QRect> rects(exposed.begin(), exposed.end());
    const QRect bounds = exposed.boundingRect().translated(-origin);
    const int firstStrip = (bounds.top() - m_pixels.top()) / stripRows,
              lastStrip = (bounds.bottom() - m_pixels.top()) / stripRows;
    const SolidTint tint(m_tint);
    uchar* const bits = device->image->bits();
    const qsizetype stride = device->image->bytesPerLine();
    const std::vector<std::uint32_t>& band = withRing ? m_band : m_fill;
    // Strip by strip, each made over this picture first where it was not yet: a strip's rows are
    // all laid by one thread.
    const int strips = lastStrip - firstStrip + 1;
    ParallelBands::run(strips, count < parallelPixels ? 1 : 8, [&](int from, int to) {
        for (int s = firstStrip + from; s < firstStrip + to; ++s) {
            Strip& strip = m_strips[std::size_t(s)];
            if (strip.madeFor != pictureRevision) {
                makeStrip(strip, picture);
                strip.madeFor = pictureRevision;
            }
            const int stripTop = m_pixels.top() + s * stripRows + origin.y();
            const int stripBottom = std::min(stripTop + stripRows, m_pixels.bottom() + 1 + origin.y());
            for (const QRect& r : rects) {
                const int y0 = std::max(r.top(), stripTop), y1 = std::min(r.bottom() + 1, stripBottom);
                // In the picture's pixels: the columns [left, right) of each row.
                const int left = r.left() - origin.x(), right = r.right() + 1 - origin.x();
                for (int y = y0; y < y1; ++y) {
                    const int py = y - origin.y();
                    auto* out = reinterpret_cast<std::uint32_t*>(bits + qsizetype(y) * stride);
                    const auto* in = reinterpret_cast<const std::uint32_t*>(picture.constScanLine(py));
                    // Columns [from, to) of the picture's row from `source`, whose first pixel is
                    // the picture's column `column`.
                    auto copy = [&](int from, int to, const std::uint32_t* source, int column) {
                        from = std::max(from, left), to = std::min(to, right);
                        if (from < to)
                            std::memcpy(out + (from + origin.x()), source + (from - column), std::size_t(to - from) * 4);
                    };
                    int x = m_pixels.left();
                    for (int i = 0; i < strip.tiles; ++i) {
                        const Tile& tile = m_tiles[std::size_t(strip.first + i)];
                        if (i == 1) {
                            // Between the two tiles: wholly inside the fill and clear of the ring.
                            const int from = std::max(x, left), to = std::min(tile.rect.left(), right);
                            if (from < to) tint.over(out + (from + origin.x()), in + from, to - from);
                        } else {
                            copy(x, tile.rect.left(), in, 0);
                        }
                        if (!tile.rect.isEmpty())
                            copy(tile.rect.left(), tile.rect.right() + 1,
                                 band.data() + tile.offset +
                                     std::size_t(py - tile.rect.top()) * std::size_t(tile.rect.width()),
                                 tile.rect.left());
                        x = tile.rect.left() + tile.rect.width();
                    }
                    copy(x, m_pixels.right() + 1, in, 0);
                }
            }
        }
    }, 3);
    return true;
}

} // namespace tallymere
