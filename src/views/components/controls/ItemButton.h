#pragma once
#include "views/components/controls/KeyStop.h"

namespace tallymere {

// The keyboard's stop for a button drawn inside an item of a list or a grid (a row's "+", a card's
// menu button). It is no stop of Tab: the keyboard comes to it from its item with Right, and Space
// or Return press it there, so a key meant for the item never runs the button's action. Left and
// Escape go back to the item; Up and Down, Home and End, Page Up and Page Down go back to the item
// and on, as they would have from it.
//
// `item` is the widget that holds the keyboard for the item: the row itself, or the list or grid
// stop that paints it. The button is laid over its control as a KeyStop is (place()).
class ItemButton : public KeyStop {
    Q_OBJECT
public:
    ItemButton(std::function<void()> action, QWidget* item, QWidget* owner, QWidget* host = nullptr);

    // Takes the keyboard, with its ring, as Right from the item does; false while it is not placed.
    bool enter();

    // What Right does here, where the item's neighbour lies to its right (a card in a grid): by
    // default nothing, the button being the last control of its item.
    void setOnRight(std::function<void()> right) { m_right = std::move(right); }

private:
    bool key(QKeyEvent* event);

    QPointer<QWidget> m_item;
    std::function<void()> m_right;
};

} // namespace tallymere
