// A large disc's hover mark laid straight into a window's pixels, checked pixel for pixel against
// the picture with the fill laid over it and the painter's own ring stroked on top (or the fill
// alone): discs of many sizes and positions within a pixel, cut by the picture's edge or larger
// than it, both pixel ratios, fills and rings of dark and light ink, windows of both pixel layouts with the
// picture at an offset and exposed in part, and a new picture under the same mark, laid in part
// first; and a ring that is not the disc's is refused.
#include "views/components/canvas/TintedDisc.h"

#include "support/NoisyPicture.h"
#include "views/components/canvas/KeptStroke.h"
#include "views/components/canvas/TileRaster.h"
#include "views/viz/PackCanvas.h"

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include <gtest/gtest.h>

using namespace tallymere;

namespace {

constexpr QRgb untouched = 0xff123456u;

// The picture with the mark as the painter draws it: the fill, then the ring stroked over it.
QImage reference(const QImage& picture, const QRectF& disc, const QColor& tint, const QPen& pen, bool withRing) {
    QImage expected = picture.copy();
    TileRaster(expected, picture.devicePixelRatio(), QPointF()).fill(disc, disc.width() / 2, tint);
    if (!withRing) return expected;
    QPainter painter(&expected);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(disc);
    return expected;
}

// A window of `format` with the picture's logical origin at `offset`, laid by `disc` where
// `exposed` (device pixels; empty for all) lets it.
QImage laid(TintedDisc& disc, const QImage& picture, int revision, bool withRing, QImage::Format format,
            QPoint offset, const QRegion& exposed, bool& wrote) {
    const qreal ratio = picture.devicePixelRatio();
    QImage window(picture.width() + int(2 * offset.x() * ratio), picture.height() + int(2 * offset.y() * ratio), format);
    window.fill(untouched);
    window.setDevicePixelRatio(ratio);
    if (!exposed.isEmpty()) window.paintEngine()->setSystemClip(exposed);
    QPainter painter(&window);
    painter.translate(offset);
    wrote = disc.lay(painter, picture, revision, withRing);
    painter.end();
    return window.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

TEST(TintedDisc, SamePixelsAsTheFillAndThePaintersRing) {
    std::uint64_t seed = 0x9E3779B97F4A7C15ull;
    int checked = 0;
    for (const qreal ratio : {1.0, 2.0}) {
        const QImage pictures[] = {test::noisyPicture(320, 240, ratio, seed),
                                   test::noisyPicture(320, 240, ratio, seed + 1)};
        for (const ThemeID id : {ThemeID::paper, ThemeID::sage, ThemeID::slate}) {
            // The dark palettes' ink (white) as well.
            Theme theme = Theme::make(id);
            theme.isDark = id == ThemeID::slate;
            const QColor tint = PackCanvas::hoverFill(theme);
            const QPen pen = PackCanvas::hoverRing(theme);
            const QRectF discs[] = {
                // Within the picture, centres and radii anywhere within a pixel.
                QRectF(QPointF(160 + test::uniform(seed, -1, 1), 120 + test::uniform(seed, -1, 1)), QSizeF()),
                QRectF(QPointF(test::uniform(seed, 110, 210), test::uniform(seed, 100, 140)), QSizeF()),
                // Cut by the picture's edges, and larger than the picture.
                QRectF(QPointF(30.25, 200.5), QSizeF()),
                QRectF(QPointF(160, 120), QSizeF(1, 1)),
            };
            for (std::size_t i = 0; i < std::size(discs); ++i) {
                const double radius = i == 3 ? 150 : test::uniform(seed, 40, 115);
                const QPointF centre = discs[i].center();
                const QRectF disc(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
                KeptStroke ring;
                ring.prepare(ratio, disc, pen);
                TintedDisc mark;
                ASSERT_TRUE(mark.shape(disc, tint, pen, ring, pictures[0].size(), int(ratio)));
                ASSERT_TRUE(mark.holds(disc, tint, pen, pictures[0].size(), ratio));
                const QRect area = mark.area();
                const QRect pixels(area.topLeft() * int(ratio), area.size() * int(ratio));
                const QPoint offset(7, 5), shift = offset * int(ratio);
                // Exposed in two parts that leave some of the area out, then whole; over one picture,
                // then over another.
                const QRegion part = QRegion(pixels.adjusted(0, 0, -pixels.width() / 2, 0).translated(shift)) +
                                     QRegion(QRect(pixels.center() + shift, QSize(40, 30)));
                for (int revision = 0; revision < 2; ++revision) {
                    const QImage& picture = pictures[revision];
                    for (const QRegion& exposed : {part, QRegion()}) {
                        const bool withRing = (checked / 2) % 3 != 2;
                        const QImage expected = reference(picture, disc, tint, pen, withRing);
                        const QImage::Format format =
                            (checked++ % 2) ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
                        bool wrote = false;
                        const QImage window = laid(mark, picture, revision, withRing, format, offset, exposed, wrote);
                        ASSERT_TRUE(wrote);
                        const QRegion shown = exposed.isEmpty() ? QRegion(window.rect()) : exposed;
                        int differing = 0;
                        for (int y = 0; y < window.height(); ++y)
                            for (int x = 0; x < window.width(); ++x) {
                                const QPoint at(x, y);
                                const bool inside = pixels.contains(at - shift) && shown.contains(at);
                                const QRgb want = inside ? expected.pixel(at - shift) : untouched;
                                differing += window.pixel(at) != want;
                            }
                        EXPECT_EQ(differing, 0) << "ratio " << ratio << ", theme " << int(id) << ", disc " << i
                                                << ", picture " << revision << (withRing ? "" : ", fill alone")
                                                << (exposed.isEmpty() ? "" : ", exposed in part");
                    }
                }
            }
        }
    }

    // Only the disc's own ring is taken.
    const QImage picture = test::noisyPicture(200, 200, 2, seed);
    const QRectF disc(20, 20, 160, 160);
    const QPen pen = PackCanvas::hoverRing(Theme());
    KeptStroke other;
    other.prepare(2, disc.adjusted(-4, -4, 4, 4), pen);
    TintedDisc mark;
    EXPECT_FALSE(mark.shape(disc, PackCanvas::hoverFill(Theme()), pen, other, picture.size(), 2));
    EXPECT_FALSE(mark.holds(disc, PackCanvas::hoverFill(Theme()), pen, picture.size(), 2));
    QImage window(400, 400, QImage::Format_RGB32);
    window.setDevicePixelRatio(2);
    QPainter painter(&window);
    EXPECT_FALSE(mark.lay(painter, picture, 0));
}
