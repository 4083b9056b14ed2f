#pragma once

class QWidget;

namespace tallymere::WindowPlacement {

// Moves the window `window` so that its centre lies on the centre of the window `over`, kept
// inside the screen area `over` is on (a window larger than that area keeps its top-left corner
// in it). Frames count when the window manager has drawn them.
void centreOver(QWidget* window, const QWidget* over);

} // namespace tallymere::WindowPlacement
