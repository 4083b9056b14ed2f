// The outline laid from a small stroke's pieces, checked pixel for pixel against the painter's own
// stroke of the same rounded rectangle over busy pictures: many sizes and positions within a
// pixel, both pixel ratios, the canvases' pens, translated and clipped painters.
#include "views/components/canvas/OutlineStroke.h"

#include "support/NoisyPicture.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

using namespace tallymere;

namespace {

using test::nextRandom;
using test::uniform;
const auto picture = test::noisyPicture;

QImage painted(QImage image, const std::function<void(QPainter&)>& setUp, const std::function<void(QPainter&)>& draw) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    setUp(painter);
    draw(painter);
    painter.end();
    return image;
}

} // namespace

TEST(OutlineStroke, SamePixelsAsThePaintersStroke) {
    const QColor ink(18, 17, 16), white(255, 255, 255);
    struct Mark {
        QPen pen;
        double grow, radius;
    };
    const Mark marks[] = {
        {QPen(QColor(18, 17, 16, 191), 1.4), 0.5, 4},  // hover
        {QPen(QColor(255, 255, 255, 191), 1.4), 0.5, 4},
        {QPen(ink, 2), 1, 5},                          // selection
        {QPen(white, 2), 1, 5},
        {QPen(QColor(200, 60, 50), 1.4), 0.5, 4},      // queue
        {QPen(QColor(10, 120, 200, 90), 3.3), 0.25, 0}, // square corners, a wide faint pen
        {QPen(QColor(10, 120, 200, 90), 1.4), 0.5, 40},  // corners wider than the short side allows
    };
    std::uint64_t seed = 0x9E3779B97F4A7C15ull;
    int compared = 0, laid = 0;
    for (qreal ratio : {1.0, 2.0}) {
        const QImage base = picture(420, 300, ratio, seed);
        for (int round = 0; round < 150; ++round) {
            const Mark& mark = marks[std::size_t(round) % std::size(marks)];
            const QRectF rect(uniform(seed, -20, 60), uniform(seed, -20, 60), uniform(seed, 60, 420), uniform(seed, 60, 300));
            const QRectF shape = rect.adjusted(-mark.grow, -mark.grow, mark.grow, mark.grow);
            const QPointF shift(std::round(uniform(seed, 0, 8)) / 2, std::round(uniform(seed, 0, 8)) / 4);
            // Every third round repaints through a clip of two rectangles, as a repaint of two
            // marks' areas does.
            QRegion clip;
            if (round % 3 == 1) clip = QRegion(0, 0, 200, 120) + QRegion(150, 100, 270, 200);
            auto setUp = [&](QPainter& painter) {
                if (!clip.isEmpty()) painter.setClipRegion(clip);
                painter.translate(shift);
            };
            QPainterPath path;
            path.addRoundedRect(shape, mark.radius, mark.radius);
            const QImage expected =
                painted(base, setUp, [&](QPainter& painter) { painter.strokePath(path, mark.pen); });
            OutlineStroke outline;
            const QImage once =
                painted(base, setUp, [&](QPainter& painter) { outline.stroke(painter, shape, mark.radius, mark.pen); });
            ASSERT_EQ(once, expected) << "ratio " << ratio << " round " << round;
            // Laid again from the kept pieces.
            const QImage again =
                painted(base, setUp, [&](QPainter& painter) { outline.stroke(painter, shape, mark.radius, mark.pen); });
            ASSERT_EQ(again, expected) << "ratio " << ratio << " round " << round;
            ++compared;
            laid += outline.laidFromPieces();
        }
    }
    EXPECT_EQ(compared, 300);
    // Only the smallest outlines and the degenerate corners go to the painter.
    EXPECT_GT(laid, 200);
}
