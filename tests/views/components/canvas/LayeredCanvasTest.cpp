// The canvases' picture reaching the window: copied into the window's pixels exactly where the
// canvas is exposed, whether the copy goes row by row over several threads (a large exposed area)
// or through the painter (a small one), and never over a widget lying on top of the canvas.
#include "views/components/canvas/LayeredCanvas.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QPainter>
#include <QPaintEngine>

#include <gtest/gtest.h>

using namespace tallymere;

namespace {

// A canvas whose picture gives every device pixel its own colour, from its place in the picture
// and a round number that each new picture raises.
class PatternCanvas : public LayeredCanvas {
public:
    using LayeredCanvas::LayeredCanvas;
    int round = 0;
    static QRgb colourAt(int x, int y, int round) { return qRgb((x * 7 + round * 40) & 255, (y * 5) & 255, (x ^ y) & 255); }

protected:
    void layoutRecords() override {}
    void paintBase(QPainter& painter) override {
        auto* image = static_cast<QImage*>(painter.device());
        for (int y = 0; y < image->height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image->scanLine(y));
            for (int x = 0; x < image->width(); ++x) row[x] = colourAt(x, y, round);
        }
    }
    // The marks cover nothing: a change of them repaints no pixel.
    QRegion marksRegion() const override { return {}; }
};

// The window's pixels, as its paints leave them.
QImage* windowPixels(QWidget& window) {
    auto* device = window.backingStore() ? window.backingStore()->paintDevice() : nullptr;
    return device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
}

// Counts the window pixels that differ from what they should hold: over `canvas`'s `painted` areas
// (canvas coordinates), the picture of `round`; everywhere else, `elsewhere`.
int differences(const QImage& window, const QWidget& canvas, const QRegion& painted, int round, QRgb elsewhere) {
    const qreal ratio = window.devicePixelRatio();
    const QPoint origin = canvas.mapTo(canvas.window(), QPoint(0, 0)) * ratio;
    QRegion paintedPixels;
    for (const QRect& r : painted) paintedPixels += QRect(origin + r.topLeft() * ratio, r.size() * ratio);
    int wrong = 0;
    for (int y = 0; y < window.height(); ++y)
        for (int x = 0; x < window.width(); ++x) {
            const QPoint at(x, y);
            const QRgb expected = paintedPixels.contains(at) ? PatternCanvas::colourAt(x - origin.x(), y - origin.y(), round)
                                                             : elsewhere;
            wrong += (window.pixel(at) | 0xff000000u) != (expected | 0xff000000u);
        }
    return wrong;
}

} // namespace

TEST(LayeredCanvas, PictureReachesTheWindowWhereExposedOnly) {
    AppState state(std::make_shared<MemoryPreferenceStore>());
    QWidget window;
    window.resize(900, 700);
    // At an odd place in the window, so that a copy to the wrong place shows.
    PatternCanvas canvas(state, 0, &window);
    canvas.setGeometry(37, 21, 801, 603);
    window.show();
    QCoreApplication::processEvents();
    QImage* pixels = windowPixels(window);
    ASSERT_NE(pixels, nullptr);
    const QRgb untouched = qRgb(250, 0, 250);

    // The whole canvas, a copy large enough to be spread over threads.
    pixels->fill(untouched);
    canvas.repaint();
    EXPECT_EQ(differences(*pixels, canvas, QRegion(canvas.rect()), 0, untouched), 0);

    // Two separate large areas: the copy keeps within each, not the rectangle round both.
    pixels->fill(untouched);
    const QRegion two = QRegion(0, 0, 300, 603) + QRegion(520, 100, 281, 480);
    canvas.repaint(two);
    EXPECT_EQ(differences(*pixels, canvas, two, 0, untouched), 0);

    // A small area, copied by the painter: the same pixels.
    pixels->fill(untouched);
    canvas.repaint(QRect(5, 7, 40, 30));
    EXPECT_EQ(differences(*pixels, canvas, QRegion(5, 7, 40, 30), 0, untouched), 0);

    // A new picture reaches the window too.
    canvas.round = 1;
    canvas.invalidateBase();
    QCoreApplication::processEvents();
    pixels->fill(untouched);
    canvas.repaint();
    EXPECT_EQ(differences(*pixels, canvas, QRegion(canvas.rect()), 1, untouched), 0);
}
