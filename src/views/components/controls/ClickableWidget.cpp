#include "views/components/controls/ClickableWidget.h"

#include "views/components/FocusChain.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/ItemButton.h"

#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace tallymere {

namespace {

// Space and Return press the component; the arrows are the group's. Taken before any shortcut of
// the window, so a focused button is pressed rather than, say, the selection previewed.
bool pressesIt(const QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::NoModifier) return false;
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: return true;
    default: return false;
    }
}

} // namespace

ClickableWidget::ClickableWidget(std::function<void()> action, QWidget* parent)
    : ThemedWidget(parent), m_action(std::move(action)) {
    setFocusPolicy(Qt::TabFocus);
    FocusRing::follow(this);
}

void ClickableWidget::activate() {
    // The action may tear this component down (a view rebuilding itself): touch nothing after it.
    const QPointer<ClickableWidget> alive(this);
    emit clicked();
    if (!alive || !m_action) return;
    // A copy, so an action that replaces the component's action still runs to its end.
    const std::function<void()> action = m_action;
    action();
}

bool ClickableWidget::event(QEvent* event) {
    // A component with a button inside takes Space and Return too, and leaves them unused: they are
    // the button's, once the keyboard is on it.
    if (event->type() == QEvent::ShortcutOverride && (pressable() || m_itemButton) &&
        pressesIt(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    const bool handled = ThemedWidget::event(event);
    // The ring goes over whatever the component drew.
    if (event->type() == QEvent::Paint && FocusRing::shown(this) && !FocusRing::isDrawnOutside(this)) {
        QPainter painter(this);
        FocusRing::paint(painter, ringRect(), ringRadius(), theme());
    }
    return handled;
}

void ClickableWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mousePressEvent(event);
    m_pressed = true;
    update();
}

void ClickableWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed) return ThemedWidget::mouseReleaseEvent(event);
    m_pressed = false;
    update();
    if (!rect().contains(event->position().toPoint())) return;
    activate();
}

bool ClickableWidget::pressable() const {
    return bool(m_action) || isSignalConnected(QMetaMethod::fromSignal(&ClickableWidget::clicked));
}

ItemButton* ClickableWidget::addItemButton(std::function<void()> press) {
    if (!m_itemButton) m_itemButton = new ItemButton({}, this, this);
    itemButton()->setAction(std::move(press));
    return itemButton();
}

ItemButton* ClickableWidget::itemButton() const { return static_cast<ItemButton*>(m_itemButton.data()); }

void ClickableWidget::keyPressEvent(QKeyEvent* event) {
    if (pressesIt(event) && (pressable() || m_itemButton)) {
        if (!event->isAutoRepeat() && pressable()) activate();
        return event->accept();
    }
    if (event->key() == Qt::Key_Right && !(event->modifiers() & ~Qt::KeypadModifier) && m_itemButton &&
        itemButton()->enter())
        return event->accept();
    FocusChain::Move move;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Left: move = FocusChain::Move::previous; break;
    case Qt::Key_Down:
    case Qt::Key_Right: move = FocusChain::Move::next; break;
    case Qt::Key_Home: move = FocusChain::Move::first; break;
    case Qt::Key_End: move = FocusChain::Move::last; break;
    default: return ThemedWidget::keyPressEvent(event);
    }
    if (!FocusChain::stepInGroup(this, move)) return ThemedWidget::keyPressEvent(event);
    event->accept();
}

} // namespace tallymere
