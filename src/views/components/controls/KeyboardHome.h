#pragma once

class QWidget;

namespace tallymere::KeyboardHome {

// Call before `leaving` is hidden or deleted. When it or a child of it holds the keyboard, the
// keyboard goes to the nearest pane around it that can hold it (the window's own root, as when the
// window opens). The toolkit would otherwise pass it on to the next Tab stop, the name filter,
// where the next key (a space meant for Quick Look) would filter the tree.
void takeBackFrom(QWidget* leaving);

} // namespace tallymere::KeyboardHome
