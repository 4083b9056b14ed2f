#include "views/components/controls/Panel.h"

#include "views/components/canvas/ShapePaint.h"

#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>

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
    // The outline is a device pixel wide and anti-aliased along every edge, and the corners round
    // off within the radius: whatever lies clear of both shows the opaque fill alone.
    constexpr int edge = 2;
    const int corner = int(std::ceil(m_radius)) + edge;
    const QRect inner = rect().adjusted(edge, edge, -edge, -edge);
    const QRect corners[] = {QRect(0, 0, corner, corner), QRect(width() - corner, 0, corner, corner),
                             QRect(0, height() - corner, corner, corner),
                             QRect(width() - corner, height() - corner, corner, corner)};
    for (const QRect& r : region) {
        if (!inner.contains(r)) return false;
        for (const QRect& c : corners)
            if (c.intersects(r)) return false;
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
