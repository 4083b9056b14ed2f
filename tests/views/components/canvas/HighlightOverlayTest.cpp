// The hover, selection and queue marks, checked on painted pixels in a light and a dark theme.
#include "views/components/canvas/HighlightOverlay.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace tallymere;

namespace {

QImage paint(const HighlightOverlay& overlay, QColor under) {
    QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(under);
    QPainter painter(&image);
    overlay.paint(painter);
    return image;
}

// The colour `over` at `opacity` laid on `under`.
QColor blend(QColor under, QColor over, double opacity) {
    return QColor::fromRgbF(float(under.redF() + (over.redF() - under.redF()) * opacity),
                            float(under.greenF() + (over.greenF() - under.greenF()) * opacity),
                            float(under.blueF() + (over.blueF() - under.blueF()) * opacity));
}

void expectNear(QColor actual, QColor expected) {
    EXPECT_NEAR(actual.red(), expected.red(), 3);
    EXPECT_NEAR(actual.green(), expected.green(), 3);
    EXPECT_NEAR(actual.blue(), expected.blue(), 3);
}

} // namespace

TEST(HighlightOverlayMarks, QueuedSelectedAndHoveredInTheirColoursAndOrder) {
    const QColor under(200, 200, 200);
    for (ThemeID id : {ThemeID::paper, ThemeID::slate}) {
        HighlightOverlay overlay;
        overlay.theme = Theme::make(id);
        overlay.queued = {QRectF(10, 10, 40, 40)};
        overlay.selected = QRectF(60, 10, 40, 40);
        overlay.hovered = QRectF(110, 10, 40, 40);
        const QImage image = paint(overlay, under);
        const QColor ink = HighlightOverlay::ink(overlay.theme);
        EXPECT_EQ(ink, overlay.theme.isDark ? QColor(255, 255, 255) : QColor(18, 17, 16));

        // Queued: danger at 0.28 inside, the danger outline on the edge.
        expectNear(image.pixelColor(30, 30), blend(under, overlay.theme.danger, 0.28));
        expectNear(image.pixelColor(30, 9), overlay.theme.danger);
        // Selected: an outline only, 1 outside the rectangle.
        EXPECT_EQ(image.pixelColor(80, 30), under);
        expectNear(image.pixelColor(80, 9), ink);
        // Hovered: ink at 0.1 inside.
        expectNear(image.pixelColor(130, 30), blend(under, ink, 0.1));
        // Nothing outside the marks.
        EXPECT_EQ(image.pixelColor(180, 80), under);
    }
    // The hover mark is painted last: over a queued mark of the same tile.
    HighlightOverlay both;
    both.queued = {QRectF(10, 10, 40, 40)};
    both.hovered = QRectF(10, 10, 40, 40);
    const QColor queuedOnly = paint(HighlightOverlay{std::nullopt, std::nullopt, both.queued, {}}, under).pixelColor(30, 30);
    expectNear(paint(both, under).pixelColor(30, 30), blend(queuedOnly, HighlightOverlay::ink(both.theme), 0.1));
    // Nothing to mark draws nothing.
    EXPECT_EQ(paint(HighlightOverlay{}, under).pixelColor(30, 10), under);
}
