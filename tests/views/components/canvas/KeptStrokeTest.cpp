// A ring laid from its kept pixels, checked pixel for pixel against the painter's own stroke of the
// same ellipse over busy pictures: many sizes and positions within a pixel, both pixel ratios, the
// canvases' pens, translated and clipped painters, and a ring that moves or changes its pen.
#include "views/components/canvas/KeptStroke.h"

#include "support/NoisyPicture.h"

#include <QImage>
#include <QPainter>
#include <QRegion>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

using namespace tallymere;

namespace {

using test::nextRandom;
using test::uniform;
const auto picture = test::noisyPicture;

QImage painted(QImage image, const QRegion& clip, QPointF shift, const std::function<void(QPainter&)>& draw) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (!clip.isEmpty()) painter.setClipRegion(clip);
    painter.translate(shift);
    draw(painter);
    painter.end();
    return image;
}

} // namespace

TEST(KeptStroke, SamePixelsAsThePaintersRing) {
    const QPen pens[] = {
        QPen(QColor(18, 17, 16, 204), 1.6),   // hover
        QPen(QColor(255, 255, 255, 204), 1.6),
        QPen(QColor(18, 17, 16), 2),          // selection
        QPen(QColor(10, 120, 200, 90), 3.3),
    };
    std::uint64_t seed = 0x2545F4914F6CDD1Dull;
    int laid = 0, compared = 0;
    for (qreal ratio : {1.0, 2.0}) {
        const QImage base = picture(400, 300, ratio, seed);
        KeptStroke kept; // one for the whole run, as a canvas keeps it from paint to paint
        for (int round = 0; round < 80; ++round) {
            const QPen& pen = pens[std::size_t(round) % std::size(pens)];
            const double radius = uniform(seed, 40, 150);
            const QRectF rect(uniform(seed, -30, 250), uniform(seed, -30, 150), 2 * radius,
                              round % 5 == 0 ? 2 * radius * 0.7 : 2 * radius);
            const QPointF shift(std::round(uniform(seed, 0, 8)) / 2, std::round(uniform(seed, 0, 8)) / 4);
            QRegion clip;
            if (round % 3 == 1) clip = QRegion(0, 0, 200, 120) + QRegion(150, 100, 250, 200);
            // The round's pen twice (built, then laid again from what it kept), then the same ring
            // in the next pen.
            for (const QPen& now : {pen, pen, pens[std::size_t(round + 1) % std::size(pens)]}) {
                const QImage expected = painted(base, clip, shift, [&](QPainter& painter) {
                    painter.setPen(now);
                    painter.setBrush(Qt::NoBrush);
                    painter.drawEllipse(rect);
                });
                const QImage image =
                    painted(base, clip, shift, [&](QPainter& painter) { kept.ellipse(painter, rect, now); });
                ASSERT_EQ(image, expected) << "ratio " << ratio << " round " << round;
            }
            laid += kept.laidFromKept();
            ++compared;
        }
    }
    EXPECT_EQ(compared, 160);
    EXPECT_GT(laid, 120);
}
