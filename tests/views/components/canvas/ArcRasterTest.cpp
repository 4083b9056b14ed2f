// Ring segments filled straight into an image, against the same shapes filled by the painter as fine
// polygons: narrow slivers, segments of under and over half a turn, the whole ring and a pie slice;
// the outline's band, and bands of rows.
#include "views/components/canvas/ArcRaster.h"

#include <QPainter>
#include <QPolygonF>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

using namespace tallymere;

namespace {

constexpr double pi = std::numbers::pi;
const QColor paper(250, 247, 240), ink(40, 90, 160);

QImage blank(int size = 120) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(paper);
    return image;
}

// The segment as the painter fills it: a polygon whose chords stay within a hundredth of a pixel of
// the circles.
QImage painted(const ArcRaster::Segment& s, QPointF centre, int size = 120) {
    QImage image = blank(size);
    QPolygonF polygon;
    auto point = [&](double radius, double angle) {
        return QPointF(centre.x() + radius * std::sin(angle), centre.y() - radius * std::cos(angle));
    };
    const int steps = 2000;
    for (int i = 0; i <= steps; ++i) polygon << point(s.outer, s.start + (s.end - s.start) * i / steps);
    if (s.inner > 0)
        for (int i = steps; i >= 0; --i) polygon << point(s.inner, s.start + (s.end - s.start) * i / steps);
    else
        polygon << centre;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawPolygon(polygon);
    return image;
}

// How far the blue channel, which tells ink (160) from paper (240) best, of each pixel lies from
// the reference: the largest difference and the summed ink, which must agree to a fraction.
struct Difference {
    int largest = 0;
    double inkShare = 0; // total ink of `actual` over total ink of `reference`
};

Difference compare(const QImage& actual, const QImage& reference) {
    Difference d;
    double inkActual = 0, inkReference = 0;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x) {
            const int a = qBlue(actual.pixel(x, y)), r = qBlue(reference.pixel(x, y));
            d.largest = std::max(d.largest, std::abs(a - r));
            inkActual += 240 - a, inkReference += 240 - r;
        }
    d.inkShare = inkReference > 0 ? inkActual / inkReference : 0;
    return d;
}

} // namespace

TEST(ArcRasterFill, MatchesThePaintersPolygonForEveryKindOfSegment) {
    const QPointF centre(60.3, 59.6);
    const struct {
        const char* what;
        ArcRaster::Segment segment;
    } cases[] = {
        {"sliver under a pixel wide", {20, 55, 0.7, 0.71}},
        {"segment of a tenth of a turn across twelve o'clock", {18.4, 41.7, 2 * pi - 0.3, 2 * pi + 0.33}},
        {"segment of under half a turn", {30.2, 50.9, 1.1, 3.9}},
        {"segment of over half a turn", {10.5, 25.25, 0.4, 5.1}},
        {"whole ring", {33, 47.5, 0, 2 * pi}},
        {"pie slice", {0, 40, 4.0, 5.2}},
    };
    for (const auto& c : cases) {
        QImage image = blank();
        ArcRaster(image, centre).fill(c.segment, ink);
        const Difference d = compare(image, painted(c.segment, centre));
        // Edge pixels differ by a few levels of coverage at most (of 80 from paper to ink); the ink
        // laid is the same.
        EXPECT_LE(d.largest, 12) << c.what;
        EXPECT_NEAR(d.inkShare, 1.0, 0.02) << c.what;
    }
    // Inside is the colour itself, outside untouched.
    QImage image = blank();
    ArcRaster(image, centre).fill({30.2, 50.9, 1.1, 3.9}, ink);
    EXPECT_EQ(image.pixelColor(100, 60), ink);   // at three o'clock, 40 from the centre
    EXPECT_EQ(image.pixelColor(20, 60), paper);  // at nine o'clock, outside the angle
    EXPECT_EQ(image.pixelColor(75, 60), paper);  // in the hole
}

TEST(ArcRasterFill, OutlineIsABandOfTheGivenWidthCentredOnTheEdges) {
    QImage image = blank();
    const QColor line(255, 255, 255);
    // A quarter ring from twelve to three o'clock, centre on a pixel corner, outline 2 wide.
    ArcRaster(image, QPointF(60, 60)).fill({20, 50, 0, pi / 2}, ink, 2, line);
    // On the row 4.5 above the centre the outer edge lies at x = 109.8: its band covers 108.8 to 110.8.
    EXPECT_EQ(image.pixelColor(109, 55), line);
    EXPECT_EQ(image.pixelColor(107, 55), ink);
    EXPECT_EQ(image.pixelColor(111, 55), paper);
    // Along the start edge (x = 60, going up): its band covers columns 59 and 60.
    EXPECT_EQ(image.pixelColor(59, 30), line);
    EXPECT_EQ(image.pixelColor(60, 30), line);
    EXPECT_EQ(image.pixelColor(62, 30), ink);
    EXPECT_EQ(image.pixelColor(57, 30), paper);
    // A translucent line lies over the fill and the paper alike.
    QImage translucent = blank();
    ArcRaster(translucent, QPointF(60, 60)).fill({20, 50, 0, pi / 2}, ink, 2, QColor(255, 255, 255, 128));
    const QColor over = translucent.pixelColor(60, 30); // wholly filled, wholly under the line
    EXPECT_NEAR(over.blue(), (160 + 255) / 2, 2);
}

TEST(ArcRasterBands, BandsCoverTheSamePixelsAsOneRaster) {
    QImage whole = blank(), banded = blank();
    const QPointF centre(58.5, 61.25);
    const ArcRaster::Segment segments[] = {{15, 52, 0.2, 2.7}, {15, 52, 2.7, 2.702}, {30, 44, 3.0, 6.1}};
    ArcRaster one(whole, centre);
    for (const auto& s : segments) one.fill(s, ink, 1.8, QColor(250, 250, 250, 217));
    const ArcRaster all(banded, centre);
    for (auto [top, bottom] : {std::pair{0, 37}, {37, 61}, {61, 120}}) {
        ArcRaster band(all, top, bottom);
        for (const auto& s : segments) band.fill(s, ink, 1.8, QColor(250, 250, 250, 217));
    }
    EXPECT_EQ(whole, banded);
}
