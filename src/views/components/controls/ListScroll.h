#pragma once

class QScrollArea;
class QWidget;

namespace tallymere::ListScroll {

// A vertical scroll area for the window's lists and pages: no frame, a transparent background so
// the view's own fill shows through, and the thin themed scroll bar whenever the content is taller
// than the area. The content never scrolls sideways.
//
// overInset: the bar floats over the content's right edge, for content with an empty inset there,
// so its columns do not jump when the list grows long enough to scroll. beside: the bar takes its
// own strip and the content narrows, for content that draws up to its edge. hidden: no bar at all,
// for the window's side columns; the content still scrolls by the wheel and by Page Up and Down.
// A null content is set later with setWidget().
enum class Bar { overInset, beside, hidden };
QScrollArea* make(QWidget* content, QWidget* parent, Bar bar);

// Gives an existing scroll area the same look and manners: no frame, see-through, themed bars, and
// no stop of Tab (a click still gives it the keyboard, for the page keys), since it shows no mark
// of holding the keyboard.
void style(QScrollArea* area);

} // namespace tallymere::ListScroll
