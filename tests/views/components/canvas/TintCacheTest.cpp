// The hover mark's patch: the picture under the shape with the tint laid on it, the same whether
// the cache made a larger patch before or none, and empty where the shape leaves the picture.
#include "views/components/canvas/TintCache.h"

#include "views/components/canvas/TileRaster.h"

#include <gtest/gtest.h>

using namespace tallymere;

namespace {

QImage picture() {
    QImage image(120, 80, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 2, y * 3, 255 - x));
    image.setDevicePixelRatio(2);
    return image;
}

} // namespace

TEST(TintCache, PatchIsThePictureTintedWithinTheShapeWhateverCameBefore) {
    const QImage base = picture();
    const QColor tint(0, 0, 0, 26);
    const QRectF inside(10.3, 8.6, 20, 12), clipped(48.5, 30.5, 20, 20);

    TintCache used;
    used.patch(base, 1, QRectF(0, 0, 60, 40), 4, tint); // the whole picture first
    const QImage afterLarge = used.patch(base, 1, inside, 4, tint).copy();
    TintCache fresh;
    EXPECT_EQ(afterLarge, fresh.patch(base, 1, inside, 4, tint));

    // Laid where it belongs, it is the picture with the tint filled over it there.
    QImage expected = base.copy();
    TileRaster(expected, 2, QPointF()).fill(inside, 4, tint);
    const QRect area = used.area();
    EXPECT_EQ(afterLarge, expected.copy(QRect(area.topLeft() * 2, area.size() * 2)));
    EXPECT_NE(afterLarge, base.copy(QRect(area.topLeft() * 2, area.size() * 2)));

    // Past the picture's edge the patch holds nothing, after a patch that held pixels there too.
    const QImage edge = used.patch(base, 2, clipped, 4, tint);
    const QRect edgeArea = used.area();
    ASSERT_GT(edgeArea.right(), 60);
    EXPECT_EQ(edge.pixel(edge.width() - 1, edge.height() - 1), 0u);
    EXPECT_EQ(edge.pixel(0, 0), base.pixel(edgeArea.left() * 2, edgeArea.top() * 2));
}
