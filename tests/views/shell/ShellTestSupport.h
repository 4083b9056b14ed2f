#pragma once
// Helpers shared by the window shell's tests: clicks delivered where a user's would land (and, from
// the keyboard drive, keys, settling and colour comparisons of rendered pixels).
#include "support/KeyboardDrive.h"
#include "support/RecordingDesktop.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace tallymere::test {

// A left click at `at` (in `top`'s coordinates), delivered to the widget under that point, as the
// window system would: press and release.
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

} // namespace tallymere::test
