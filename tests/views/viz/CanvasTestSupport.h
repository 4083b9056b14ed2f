#pragma once
// Shared by the canvas tests: pointer events sent straight to a widget, and colour comparisons.
#include <QApplication>
#include <QColor>
#include <QContextMenuEvent>
#include <QMenu>
#include <QAction>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

namespace tallymere::test {

inline void sendMouse(QWidget& widget, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::NoButton) {
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, button, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

inline void hoverAt(QWidget& widget, QPointF at) { sendMouse(widget, QEvent::MouseMove, at); }

inline void clickAt(QWidget& widget, QPointF at) {
    hoverAt(widget, at);
    sendMouse(widget, QEvent::MouseButtonPress, at, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton);
}

inline void doubleClickAt(QWidget& widget, QPointF at) {
    clickAt(widget, at);
    sendMouse(widget, QEvent::MouseButtonDblClick, at, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton);
}

// Opens the widget's context menu at a point and runs the entry with that title; false when there
// is no menu or no such entry.
inline bool chooseFromMenu(QWidget& widget, QPointF at, const QString& title) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at.toPoint(), widget.mapToGlobal(at.toPoint()));
    QApplication::sendEvent(&widget, &event);
    QMenu* menu = nullptr;
    for (QMenu* candidate : widget.findChildren<QMenu*>())
        if (candidate->isVisible()) menu = candidate;
    if (!menu) return false;
    for (QAction* action : menu->actions())
        if (action->text() == title) {
            action->trigger();
            menu->close();
            return true;
        }
    menu->close();
    return false;
}

inline int colourDistance(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// `over` at `opacity` laid on `under`.
inline QColor blend(QColor under, QColor over, double opacity) {
    return QColor::fromRgbF(float(under.redF() + (over.redF() - under.redF()) * opacity),
                            float(under.greenF() + (over.greenF() - under.greenF()) * opacity),
                            float(under.blueF() + (over.blueF() - under.blueF()) * opacity));
}

} // namespace tallymere::test
