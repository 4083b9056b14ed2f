#pragma once
// Helpers shared by the window shell's tests: clicks delivered where a user's would land, and
// colour comparisons of rendered pixels.
#include "support/RecordingDesktop.h"

#include <QApplication>
#include <QColor>
#include <QMouseEvent>
#include <QWidget>

#include <cmath>
#include <string>
#include <vector>

namespace tallymere::test {


// A left click at `at` (in `top`'s coordinates), delivered to the widget under that point, as the
// window system would: press and release.
// Widgets added a moment ago are shown and laid out by posted work, which may post more (nested
// layouts); let all of it land before a click is aimed.
inline void settle() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

inline void clickAt(QWidget& top, QPointF at) {
    settle();
    QWidget* target = top.childAt(at.toPoint());
    if (!target) target = &top;


    const QPointF local = target->mapFrom(&top, at);
    const QPointF global = top.mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// A click at the centre of `rect` of `widget` (in that widget's coordinates); a null rectangle
// stands for the whole widget as it is once posted layouts have landed (a widget shown a moment ago
// may not have its own height yet, and its old centre can lie outside it).
inline void clickOn(QWidget& widget, QRectF rect) {
    settle();
    QWidget* top = widget.window();
    const QRectF area = rect.isNull() ? QRectF(widget.rect()) : rect;
    clickAt(*top, widget.mapTo(top, area.center().toPoint()));
}

inline void clickOn(QWidget& widget) { clickOn(widget, QRectF()); }

// Whether two colours are the same to within `tolerance` per channel.
inline bool near(const QColor& a, const QColor& b, int tolerance = 3) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// `over` at `opacity` on an opaque `under`.
inline QColor blend(const QColor& under, const QColor& over, double opacity) {
    auto mix = [&](int u, int o) { return int(std::lround(u + (o - u) * opacity)); };
    return QColor(mix(under.red(), over.red()), mix(under.green(), over.green()), mix(under.blue(), over.blue()));
}

} // namespace tallymere::test
