// Shared by the component tests: a fixture that registers the fonts, offscreen rendering over a
// magenta backdrop, colour comparisons and pointer events.
#pragma once
#include "style/Theme.h"
#include "style/Typography.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QImage>
#include <QLayout>
#include <QMouseEvent>
#include <QVariantAnimation>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tallymere::test {

inline const QColor backdrop(255, 0, 255);

class Gallery : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }
};

// Lays the widget out at its preferred size (or the given one) and renders it, children included,
// over a magenta backdrop so that anything left unpainted shows.
inline QImage render(QWidget& widget, QSize size = {}) {
    widget.ensurePolished();
    if (widget.layout()) widget.layout()->activate();
    widget.resize(size.isValid() ? size : widget.sizeHint());
    if (widget.layout()) widget.layout()->activate();
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(backdrop);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_ARGB32);
}

inline int distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

inline ::testing::AssertionResult near(const QColor& actual, const QColor& expected, int tolerance = 2) {
    if (distance(actual, expected) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.name().toStdString() << " is not "
                                         << expected.name().toStdString();
}

// What a colour with opacity looks like over an opaque one.
inline QColor over(const QColor& top, const QColor& below) {
    return ColorRules::mix(below, QColor(top.red(), top.green(), top.blue()), top.alphaF());
}

inline QColor pixel(const QImage& image, double x, double y) { return image.pixelColor(int(x), int(y)); }

// Whether any pixel of the area is within `tolerance` of the colour.
inline bool contains(const QImage& image, const QRect& area, const QColor& color, int tolerance = 12) {
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            if (distance(image.pixelColor(x, y), color) <= tolerance) return true;
    return false;
}

// The point of a circle at a clock angle: 0 at 12 o'clock, growing clockwise.
inline QPointF onCircle(const QRectF& circle, double clockDegrees) {
    const double radians = clockDegrees * std::numbers::pi / 180.0;
    const double r = circle.width() / 2;
    return {circle.center().x() + r * std::sin(radians), circle.center().y() - r * std::cos(radians)};
}

inline void click(QWidget& widget, QPointF at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
    QCoreApplication::sendEvent(&widget, &release);
}

inline void hover(QWidget& widget, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)));
        QCoreApplication::sendEvent(&widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&widget, &leave);
    }
}

// Runs a component's animation to the given time without waiting for the clock.
inline void seek(QWidget& widget, const char* name, int milliseconds) {
    auto* animation = widget.findChild<QVariantAnimation*>(QString::fromLatin1(name));
    ASSERT_NE(animation, nullptr) << name;
    animation->setCurrentTime(milliseconds);
}

} // namespace tallymere::test
