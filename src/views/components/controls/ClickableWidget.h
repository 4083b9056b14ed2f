#pragma once
#include "views/components/ThemedWidget.h"

#include <QPointer>
#include <QRectF>

#include <functional>

namespace tallymere {

class ItemButton;

// Base of the components that take clicks. A left press, released inside the component, emits
// clicked() and then runs the action; released outside, it does nothing. isPressed() holds from the
// press to the release, for drawing. An empty action only emits.
//
// Every one is a stop of Tab (a click leaves the keyboard where it was): Space and Return press it
// as a click does, and while the keyboard is here the component wears the focus ring on its own
// shape (ringRect(), ringRadius()), or round it when it has none (FocusRing::drawOutside). In a group of rows (FocusChain::makeGroup) the arrows walk the
// rows; the context-menu key asks for the component's menu where it has one. A button drawn inside
// the component (addItemButton) is reached from it with Right, and only there do Space and Return
// press it.
class ClickableWidget : public ThemedWidget {
    Q_OBJECT
public:
    explicit ClickableWidget(std::function<void()> action = {}, QWidget* parent = nullptr);

    void setAction(std::function<void()> action) { m_action = std::move(action); }

    // What a click does: emits clicked() and runs the action.
    void activate();
    // Whether a press does anything: an action or a listener to clicked(). One that does nothing
    // (a row of tabs walked by the arrows) leaves Space and Return to the window's shortcuts.
    bool pressable() const;

    // Adds the keyboard's stop for a button the component draws inside itself, which runs `press`;
    // the component places it over what it draws (ItemButton::place).
    ItemButton* addItemButton(std::function<void()> press);
    ItemButton* itemButton() const;

signals:
    void clicked();

protected:
    // Content is drawn at this opacity while pressed.
    static constexpr double pressedOpacity = 0.7;
    bool isPressed() const { return m_pressed; }

    // The shape the focus ring follows, in widget coordinates: the whole component by default.
    virtual QRectF ringRect() const { return QRectF(rect()); }
    virtual double ringRadius() const { return 8; }

    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void()> m_action;
    bool m_pressed = false;
    QPointer<QWidget> m_itemButton; // an ItemButton
};

} // namespace tallymere
