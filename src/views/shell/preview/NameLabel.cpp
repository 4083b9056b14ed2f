#include "views/shell/preview/NameLabel.h"

#include "views/components/TextDraw.h"

#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace tallymere {

NameLabel::NameLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
}

bool NameLabel::wordsFit(int width) const { return QLabel::minimumSizeHint().width() <= width; }

double NameLabel::brokenHeight(double width) const {
    QTextLayout layout(text(), font());
    TextDraw::breakLines(layout, width, alignment());
    return layout.boundingRect().height();
}

QSize NameLabel::minimumSizeHint() const {
    // The toolkit's label asks for its widest word; this one can break any word.
    const QSize label = QLabel::minimumSizeHint();
    return {std::min(label.width(), fontMetrics().averageCharWidth() * 4), label.height()};
}

int NameLabel::heightForWidth(int width) const {
    if (wordsFit(width)) return QLabel::heightForWidth(width);
    const QMargins margins = contentsMargins();
    const double textWidth = std::max(width - margins.left() - margins.right(), 1);
    return int(std::ceil(brokenHeight(textWidth))) + margins.top() + margins.bottom();
}

void NameLabel::paintEvent(QPaintEvent* event) {
    if (wordsFit(width())) return QLabel::paintEvent(event);
    const QRectF room = contentsRect();
    QTextLayout layout(text(), font());
    TextDraw::breakLines(layout, room.width(), alignment());
    const double height = layout.boundingRect().height();
    double top = room.top();
    if (alignment() & Qt::AlignVCenter) top += (room.height() - height) / 2;
    else if (alignment() & Qt::AlignBottom) top += room.height() - height;
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    layout.draw(&painter, QPointF(room.left(), top));
}

} // namespace tallymere
