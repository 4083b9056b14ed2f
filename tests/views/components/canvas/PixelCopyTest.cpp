// A picture copied straight into the pixels a painter paints on, leaving out what the caller covers
// with pixels of its own: however little is left, only that is written.
#include "views/components/canvas/PixelCopy.h"

#include "support/NoisyPicture.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace tallymere;

TEST(PixelCopy, LeavesOutWhatTheCallerCoversHoweverLittleIsLeft) {
    constexpr QRgb untouched = 0xff123456u;
    const QImage picture = test::noisyPicture(300, 200, 2, 77);
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        QImage window(picture.width() + 20, picture.height() + 20, format);
        window.fill(untouched);
        window.setDevicePixelRatio(2);
        // All of the picture but a frame two points wide: too little to hand to other threads.
        const QRect covered(2, 2, 296, 196);
        QPainter painter(&window);
        painter.translate(5, 5);
        ASSERT_TRUE(PixelCopy::toDevice(painter, picture, QRect(), QRegion(covered)));
        painter.end();
        const QImage seen = window.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        int wrong = 0;
        for (int y = 0; y < seen.height(); ++y)
            for (int x = 0; x < seen.width(); ++x) {
                const QPoint at(x, y), inPicture = at - QPoint(10, 10);
                const bool copied = picture.rect().contains(inPicture) &&
                                    !QRect(covered.topLeft() * 2, covered.size() * 2).contains(inPicture);
                wrong += seen.pixel(at) != (copied ? picture.pixel(inPicture) : untouched);
            }
        EXPECT_EQ(wrong, 0) << "window layout " << int(format);
    }
}
