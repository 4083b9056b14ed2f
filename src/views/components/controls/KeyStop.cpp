#include "views/components/controls/KeyStop.h"

#include <QEvent>
#include <QKeyEvent>

#include <cmath>

namespace tallymere {

KeyStop::KeyStop(std::function<void()> action, QWidget* owner, QWidget* host)
    : ClickableWidget(std::move(action), host ? host : owner), m_owner(owner) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
    owner->installEventFilter(this);
}

void KeyStop::setHost(QWidget* host) {
    if (!host || host == parentWidget()) return;
    setParent(host);
    follow();
}

void KeyStop::place(const QRectF& control, double radius, double around) {
    m_control = control;
    m_around = around;
    m_radius = radius + around;
    follow();
}

void KeyStop::follow() {
    if (!m_owner || m_control.isEmpty() || (m_owner != parentWidget() && !m_owner->isVisibleTo(parentWidget()))) {
        if (!isHidden()) hide();
        return;
    }
    const QRectF mapped = m_owner == parentWidget()
                              ? m_control
                              : m_control.translated(QPointF(m_owner->mapTo(parentWidget(), QPoint(0, 0))));
    const QRectF around = mapped.adjusted(-m_around, -m_around, m_around, m_around);
    const QRect whole(QPoint(int(std::floor(around.left())), int(std::floor(around.top()))),
                      QPoint(int(std::ceil(around.right())) - 1, int(std::ceil(around.bottom())) - 1));
    if (geometry() != whole) setGeometry(whole);
    raise();
    if (isHidden()) show();
    update();
}

bool KeyStop::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_owner) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide: follow(); break;
        default: break;
        }
    }
    return ClickableWidget::eventFilter(watched, event);
}

void KeyStop::keyPressEvent(QKeyEvent* event) {
    if (m_keys && m_keys(event)) return event->accept();
    ClickableWidget::keyPressEvent(event);
}

} // namespace tallymere
