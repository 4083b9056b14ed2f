#pragma once

class QScrollArea;
class QWidget;

namespace tallymere::ListScroll {

// A vertical scroll area for the explore lists: no frame, a transparent background so the view's
// own fill shows through, and a slim rounded scroll bar (neutral grey at partial opacity, so it
// reads on light and dark themes alike) whenever the content is taller than the area. The content
// never scrolls sideways.
//
// overInset: the bar floats over the content's right edge, for content with an empty inset there,
// so its columns do not jump when the list grows long enough to scroll. beside: the bar takes its
// own strip and the content narrows, for content that draws up to its edge.
enum class Bar { overInset, beside };
QScrollArea* make(QWidget* content, QWidget* parent, Bar bar);

} // namespace tallymere::ListScroll
