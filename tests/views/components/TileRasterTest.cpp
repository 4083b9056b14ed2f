// Tiles blended straight into an image: coverage at straight and fractional edges, rounded corners,
// the diagonal gradient, strokes, bands of rows and the device scale.
#include "views/components/TileRaster.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tallymere;

namespace {

QImage blank(int w = 40, int h = 40) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(255, 255, 255));
    return image;
}

void expectNear(QColor actual, QColor expected, int tolerance = 2) {
    EXPECT_LE(std::abs(actual.red() - expected.red()), tolerance) << actual.name().toStdString() << " vs " << expected.name().toStdString();
    EXPECT_LE(std::abs(actual.green() - expected.green()), tolerance);
    EXPECT_LE(std::abs(actual.blue() - expected.blue()), tolerance);
}

} // namespace

TEST(TileRasterFill, CoverageAtEdgesAndCorners) {
    QImage image = blank();
    TileRaster raster(image, 1, QPointF(0, 0));
    const QColor ink(0, 0, 0);
    // Left edge at 10.5: column 10 is half covered; the corner pixel of a radius-6 corner is outside.
    raster.fill(QRectF(10.5, 10, 20, 20), 6, ink);
    expectNear(image.pixelColor(20, 20), ink);
    expectNear(image.pixelColor(10, 20), QColor(128, 128, 128), 3);
    EXPECT_EQ(image.pixelColor(9, 20), QColor(255, 255, 255));
    EXPECT_EQ(image.pixelColor(10, 10), QColor(255, 255, 255));  // cut off by the rounding
    expectNear(image.pixelColor(20, 10), ink);                    // the straight top edge is whole
    expectNear(image.pixelColor(30, 20), QColor(128, 128, 128), 3); // right edge at 30.5: column 30 half
    EXPECT_EQ(image.pixelColor(31, 20), QColor(255, 255, 255));
    // A translucent colour is blended over what is there.
    QImage under = blank();
    TileRaster(under, 1, QPointF()).fill(QRectF(0, 0, 40, 40), 0, QColor(0, 0, 0, 128));
    expectNear(under.pixelColor(20, 20), QColor(127, 127, 127), 2);
}

TEST(TileRasterFill, GradientRunsFromTopLeftToBottomRight) {
    QImage image = blank(100, 100);
    TileRaster(image, 1, QPointF()).fillGradient(QRectF(0, 0, 100, 100), 0, QColor(200, 0, 0), QColor(0, 0, 200));
    expectNear(image.pixelColor(0, 0), QColor(199, 0, 1), 3);
    expectNear(image.pixelColor(99, 99), QColor(1, 0, 199), 3);
    expectNear(image.pixelColor(50, 50), QColor(100, 0, 100), 3);
    // Along the other diagonal the colour does not change.
    expectNear(image.pixelColor(99, 0), image.pixelColor(0, 99), 1);
}

TEST(TileRasterStroke, LineOfTheGivenWidthCentredOnTheOutline) {
    QImage image = blank();
    TileRaster(image, 1, QPointF()).stroke(QRectF(10, 10, 20, 20), 0, 2, QColor(0, 0, 0));
    expectNear(image.pixelColor(9, 20), QColor(0, 0, 0));
    expectNear(image.pixelColor(10, 20), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(8, 20), QColor(255, 255, 255));
    EXPECT_EQ(image.pixelColor(11, 20), QColor(255, 255, 255));
    EXPECT_EQ(image.pixelColor(20, 20), QColor(255, 255, 255)); // inside untouched
}

TEST(TileRasterBands, BandsAndScaleCoverTheSamePixelsAsOneRaster) {
    // Drawn whole at twice the pixel ratio, offset by the margin, and drawn in three bands.
    QImage whole = blank(80, 80), banded = blank(80, 80);
    TileRaster one(whole, 2, QPointF(4, 4));
    one.fillGradient(QRectF(3.3, 5.7, 25.1, 21.4), 5, QColor(250, 200, 10), QColor(10, 90, 240));
    one.stroke(QRectF(3.3, 5.7, 25.1, 21.4), 5, 1, QColor(20, 20, 20, 200));
    TileRaster all(banded, 2, QPointF(4, 4));
    for (auto [top, bottom] : {std::pair{0, 23}, {23, 50}, {50, 80}}) {
        TileRaster band(all, top, bottom);
        band.fillGradient(QRectF(3.3, 5.7, 25.1, 21.4), 5, QColor(250, 200, 10), QColor(10, 90, 240));
        band.stroke(QRectF(3.3, 5.7, 25.1, 21.4), 5, 1, QColor(20, 20, 20, 200));
    }
    EXPECT_EQ(whole, banded);
    // The shape lands at device pixels: logical 3.3 × 2 + 4 = 10.6, its 2-pixel outline from 9.6.
    EXPECT_EQ(whole.pixelColor(8, 30), QColor(255, 255, 255));
    EXPECT_NE(whole.pixelColor(9, 30), QColor(255, 255, 255));
    EXPECT_NE(whole.pixelColor(12, 30), QColor(255, 255, 255));
    // Empty, inverted or non-finite rectangles draw nothing.
    QImage untouched = blank();
    TileRaster raster(untouched, 1, QPointF());
    raster.fill(QRectF(5, 5, 0, 10), 2, Qt::black);
    raster.fill(QRectF(5, 5, -10, 10), 2, Qt::black);
    raster.fill(QRectF(qQNaN(), 5, 10, 10), 2, Qt::black);
    EXPECT_EQ(untouched, blank());
}
