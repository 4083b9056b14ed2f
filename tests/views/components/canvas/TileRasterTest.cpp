// Tiles blended straight into an image: coverage at straight and fractional edges, rounded corners,
// the diagonal gradient, strokes, bands of rows and the device scale.
#include "views/components/canvas/TileRaster.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(TileRasterFill, VerticalGradientRunsFromTopToBottomAcrossRoundedCorners) {
    // At twice the ratio: device rows 10 to 190 of a 200-high image are the tile's 90 points.
    QImage twice = blank(60, 200);
    TileRaster(twice, 2, QPointF(0, 0)).fillVerticalGradient(QRectF(5.25, 5, 20, 90), 3, QColor(200, 0, 0),
                                                              QColor(0, 0, 200));
    expectNear(twice.pixelColor(30, 11), QColor(199, 0, 1), 3);   // the top row, inside the corners
    expectNear(twice.pixelColor(30, 189), QColor(1, 0, 199), 3);  // the bottom row
    expectNear(twice.pixelColor(30, 100), QColor(100, 0, 100), 3);
    // One colour along a row, the side's half-covered column blended with the white beneath.
    EXPECT_EQ(twice.pixelColor(12, 100), twice.pixelColor(48, 100));
    expectNear(twice.pixelColor(10, 100), QColor(178, 128, 178), 3);
    EXPECT_EQ(twice.pixelColor(10, 10), QColor(255, 255, 255)); // cut off by the rounding
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
    // A steep gradient tile cut into bands of a few rows: each band takes its colours as the whole does.
    QImage steep = blank(40, 80), steepBanded = blank(40, 80);
    TileRaster(steep, 1, QPointF()).fillGradient(QRectF(10.5, 2.3, 10, 60), 2, QColor(250, 200, 10), QColor(10, 90, 240));
    TileRaster steepAll(steepBanded, 1, QPointF());
    for (int top = 0; top < 80; top += 5)
        TileRaster(steepAll, top, top + 5)
            .fillGradient(QRectF(10.5, 2.3, 10, 60), 2, QColor(250, 200, 10), QColor(10, 90, 240));
    EXPECT_EQ(steep, steepBanded);
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

namespace {

// The share of a device pixel inside a rounded rectangle (device coordinates), from 8 × 8 samples.
double sampledCoverage(int px, int py, QRectF r, double radius) {
    radius = std::min({radius, r.width() / 2, r.height() / 2});
    int inside = 0;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            const double x = px + (i + 0.5) / 8, y = py + (j + 0.5) / 8;
            if (!r.contains(x, y)) continue;
            const double qx = std::abs(x - r.center().x()) - (r.width() / 2 - radius);
            const double qy = std::abs(y - r.center().y()) - (r.height() / 2 - radius);
            if (qx > 0 && qy > 0 && qx * qx + qy * qy > radius * radius) continue;
            ++inside;
        }
    return inside / 64.0;
}

} // namespace

TEST(TileRasterFill, EveryPixelMatchesTheShapeAndItsGradient) {
    // Wide, tall and clipped tiles, opaque and translucent, at twice the pixel ratio and in bands:
    // each pixel is the colour at its centre laid over the white beneath by the share it covers.
    struct Case {
        QRectF rect;
        double radius;
        QColor from, to;
    };
    const Case cases[] = {
        {{3.3, 4.6, 110.2, 70.7}, 5, QColor(220, 120, 40), QColor(30, 60, 200)},   // wide: one ramp per tile
        {{20.25, 2.5, 9.5, 140.0}, 5, QColor(10, 200, 90), QColor(240, 20, 20)},   // tall and narrow
        {{-30.5, 10.5, 90.0, 40.0}, 7, QColor(90, 90, 250), QColor(250, 250, 40)}, // cut by the image's edge
        {{8.5, 8.5, 60.0, 30.0}, 4, QColor(0, 0, 0, 140), QColor(0, 0, 0, 140)},   // translucent, one colour
        {{5.3, 50.8, 7.1, 6.6}, 1.7, QColor(200, 60, 60), QColor(200, 60, 60)},    // small, opaque, one colour
        {{40.1, 90.35, 6.9, 7.3}, 1.6, QColor(60, 200, 60), QColor(20, 20, 120)},  // small: mostly edge
        // Steep, its top row's centre well above its top: that row starts before the diagonal does.
        {{29.75, 58.95, 5.0, 14.0}, 1, QColor(250, 250, 250), QColor(20, 20, 20)},
    };
    for (const Case& c : cases) {
        QImage image = blank(260, 300);
        TileRaster all(image, 2, QPointF(1, 3));
        for (auto [top, bottom] : {std::pair{0, 37}, {37, 151}, {151, 300}})
            TileRaster(all, top, bottom).fillGradient(c.rect, c.radius, c.from, c.to);
        const QRectF device(c.rect.x() * 2 + 1, c.rect.y() * 2 + 3, c.rect.width() * 2, c.rect.height() * 2);
        const double span = device.width() * device.width() + device.height() * device.height();
        int worstInside = 0, worstEdge = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const double coverage = sampledCoverage(x, y, device, c.radius * 2);
                const double t = std::clamp(((x + 0.5 - device.left()) * device.width() +
                                             (y + 0.5 - device.top()) * device.height()) / span, 0.0, 1.0);
                auto channel = [&](int from, int to) {
                    const double alpha = (c.from.alphaF() + (c.to.alphaF() - c.from.alphaF()) * t) * coverage;
                    return 255 * (1 - alpha) + (from + (to - from) * t) * alpha;
                };
                const QColor actual = image.pixelColor(x, y);
                const int diff = int(std::max({std::abs(actual.red() - channel(c.from.red(), c.to.red())),
                                               std::abs(actual.green() - channel(c.from.green(), c.to.green())),
                                               std::abs(actual.blue() - channel(c.from.blue(), c.to.blue()))}) + 0.5);
                (coverage == 0 || coverage == 1 ? worstInside : worstEdge) = std::max(
                    coverage == 0 || coverage == 1 ? worstInside : worstEdge, diff);
            }
        EXPECT_LE(worstInside, 4) << c.rect.x() << "," << c.rect.y();
        EXPECT_LE(worstEdge, 24) << c.rect.x() << "," << c.rect.y();
    }
}

// Laying the backdrop around the shape drawn next gives the picture of laying it everywhere, for
// shapes at fractions of a pixel, of every corner radius, partly outside the image, cut into bands,
// at two scales; pixels the next shape does not write outright keep the backdrop beneath it.
TEST(TileRasterFill, BackdropAroundTheNextShapeIsTheSamePicture) {
    const QColor backdrop(244, 241, 235), opaque(200, 180, 120), translucent(200, 180, 120, 150);
    const std::vector<std::pair<QRectF, double>> shapes{
        {{3.3, 2.6, 50.2, 33.7}, 7}, {{0, 0, 60, 45}, 0}, {{-4.5, 5.25, 70, 30}, 2.5}, {{10.5, 8.5, 1.4, 30}, 3},
        {{5, 5, 0, 20}, 2}, {{20.7, -10, 30, 80}, 11}};
    for (double scale : {1.0, 2.0})
        for (const auto& [rect, radius] : shapes)
            for (const QColor& next : {opaque, translucent}) {
                QImage everywhere(int(60 * scale), int(45 * scale), QImage::Format_ARGB32_Premultiplied);
                everywhere.fill(Qt::black);
                QImage around = everywhere.copy();
                const QRectF whole(0, 0, 60, 45);
                for (auto [top, bottom] : {std::pair{0, 17}, std::pair{17, 18}, std::pair{18, int(45 * scale)}}) {
                    TileRaster all(everywhere, scale, QPointF(), top, bottom);
                    all.fill(whole, 0, backdrop);
                    all.fill(rect, radius, next);
                    TileRaster hole(around, scale, QPointF(), top, bottom);
                    hole.fillAround(whole, backdrop, rect, radius, next);
                    hole.fill(rect, radius, next);
                }
                EXPECT_EQ(around, everywhere) << scale << " " << rect.x() << "," << rect.y() << " " << next.alpha();
            }
}
