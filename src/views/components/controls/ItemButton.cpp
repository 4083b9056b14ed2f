#include "views/components/controls/ItemButton.h"

#include "views/components/FocusChain.h"
#include "views/components/controls/FocusRing.h"

#include <QApplication>
#include <QKeyEvent>

namespace tallymere {

ItemButton::ItemButton(std::function<void()> action, QWidget* item, QWidget* owner, QWidget* host)
    : KeyStop(std::move(action), owner, host), m_item(item) {
    // Reached only from its item: Tab passes it over.
    setFocusPolicy(Qt::ClickFocus);
    setKeyHandler([this](QKeyEvent* event) { return key(event); });
}

bool ItemButton::enter() {
    if (isHidden() || !isEnabled()) return false;
    setFocus(Qt::OtherFocusReason);
    FocusChain::bringIntoView(this);
    FocusRing::setShown(this, true);
    return true;
}

bool ItemButton::key(QKeyEvent* event) {
    if (!m_item || (event->modifiers() & ~Qt::KeypadModifier)) return false;
    switch (event->key()) {
    case Qt::Key_Right:
        if (m_right) m_right();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Escape:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: break;
    default: return false;
    }
    QWidget* item = m_item;
    item->setFocus(Qt::OtherFocusReason);
    FocusRing::setShown(item, true);
    if (event->key() != Qt::Key_Left && event->key() != Qt::Key_Escape) {
        QKeyEvent again(QEvent::KeyPress, event->key(), event->modifiers(), event->text());
        QApplication::sendEvent(item, &again);
    }
    return true;
}

} // namespace tallymere
