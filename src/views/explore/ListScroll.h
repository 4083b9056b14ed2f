#pragma once

class QScrollArea;
class QWidget;

namespace tallymere::ListScroll {

// A vertical scroll area for the explore lists: no frame, a transparent background so the view's
// own fill shows through, and a slim rounded scroll bar (neutral grey at partial opacity, so it
// reads on light and dark themes alike) shown whenever the content is taller than the area. The
// content keeps the area's width and never scrolls sideways.
QScrollArea* make(QWidget* content, QWidget* parent);

} // namespace tallymere::ListScroll
