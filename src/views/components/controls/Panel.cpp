#include "views/components/controls/Panel.h"

#include "views/components/canvas/ShapePaint.h"

#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tallymere {

Panel::Panel(double padding, double radius, QWidget* content, QWidget* parent)
    : ThemedWidget(parent), m_padding(padding), m_radius(radius), m_layout(new QVBoxLayout(this)) {
    // Layout margins are whole pixels; every padding the window uses is whole.
    const int inset = int(std::lround(std::max(padding, 0.0)));
    m_layout->setContentsMargins(inset, inset, inset, inset);
    m_layout->setSpacing(0);
    setContent(content);
}

void Panel::setContent(QWidget* content) {
    if (content == m_content) return;
    if (m_content) {
        m_layout->removeWidget(m_content);
        delete m_content;
    }
    m_content = content;
    if (m_content) {
        m_layout->addWidget(m_content);
        // A content added after the theme was handed down still draws in it.
        propagateTheme(m_content, theme());
    }
}

void Panel::paintCard(QPainter& painter, const QRectF& rect, double radius, const Theme& theme) {
    ShapePaint::fillRounded(painter, rect, radius, theme.surface);
    ShapePaint::strokeInside(painter, rect, radius, theme.stroke);
}

bool Panel::isDeepInside(const QRegion& region) const {
    // The outline is a pixel wide inside the edge, anti-aliased, and the corners round off about
    // centres a radius in from each corner: whatever keeps a pixel's margin clear of both shows the
    // opaque fill alone.
    constexpr double margin = 2;
    const double w = width(), h = height();
    const double r = std::min(m_radius, std::min(w, h) / 2);
    for (const QRect& part : region) {
        const double left = part.left(), top = part.top(), right = part.right() + 1.0, bottom = part.bottom() + 1.0;
        if (left < margin || top < margin || right > w - margin || bottom > h - margin) return false;
        // The part's own corner nearest each of the card's, where it lies within that rounding.
        const QPointF nearest[] = {{left, top}, {right, top}, {left, bottom}, {right, bottom}};
        const QPointF centres[] = {{r, r}, {w - r, r}, {r, h - r}, {w - r, h - r}};
        for (int i = 0; i < 4; ++i) {
            const QPointF away = nearest[i] - centres[i];
            const bool outward = (i % 2 == 0 ? away.x() < 0 : away.x() > 0) && (i < 2 ? away.y() < 0 : away.y() > 0);
            if (outward && std::hypot(away.x(), away.y()) > r - margin) return false;
        }
    }
    return true;
}

void Panel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // A row or text inside the card repainting needs only the card's fill beneath it: the same
    // pixels, without drawing the whole card's shape and outline again.
    if (theme().surface.alpha() == 255 && isDeepInside(event->region())) {
        for (const QRect& r : event->region()) painter.fillRect(r, theme().surface);
        return;
    }
    paintCard(painter, QRectF(rect()), m_radius, theme());
}

} // namespace tallymere
