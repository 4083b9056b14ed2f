#include "views/components/controls/Panel.h"

#include "views/components/canvas/ShapePaint.h"

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

void Panel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintCard(painter, QRectF(rect()), m_radius, theme());
}

} // namespace tallymere
