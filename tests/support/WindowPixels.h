#pragma once
// What a window's own repaints left on screen, for tests that hold it beside a fresh painting.
#include <QBackingStore>
#include <QImage>
#include <QRectF>
#include <QWidget>

namespace tallymere::test {

// The part of the window's pixels, as its paints left them, that `widget` covers; null when the
// window has no image to paint into.
inline QImage shownPixels(QWidget& window, const QWidget& widget) {
    auto* store = window.backingStore() ? dynamic_cast<QImage*>(window.backingStore()->paintDevice()) : nullptr;
    if (!store) return {};
    const qreal ratio = store->devicePixelRatio();
    const QRect area = QRectF(QPointF(widget.mapTo(&window, QPoint(0, 0))) * ratio, QSizeF(widget.size()) * ratio).toRect();
    return store->copy(area).convertToFormat(QImage::Format_RGB32);
}

// `widget` painted whole afresh, in the format shownPixels() gives.
inline QImage freshPixels(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

} // namespace tallymere::test
