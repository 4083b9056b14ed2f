#include "views/components/RepaintArea.h"

#include <QWidget>

#include <cmath>

namespace tallymere::RepaintArea {

QRect around(const QWidget& widget, const QRectF& drawn) {
    const QRect aligned = drawn.toAlignedRect();
    const qreal ratio = widget.devicePixelRatioF();
    return ratio == std::floor(ratio) ? aligned : aligned.adjusted(-1, -1, 1, 1);
}

void update(QWidget& widget, const QRectF& drawn) {
    if (!drawn.isEmpty()) widget.update(around(widget, drawn));
}

} // namespace tallymere::RepaintArea
