#pragma once
#include <vector>

class QWidget;

// How Tab walks a window: the controls that take it, in the order a reader meets them. Each
// widget's children are read in rows from the top and, within a row, in columns from the left, each
// column read the same way (a child that starts beside a taller one shares its row; one that starts
// under another's width shares its column), one pane after another, so a view built later takes its
// place where it is drawn rather than at the end of the toolkit's own chain. Hidden and
// disabled controls are passed over, and so are canvases, which take no Tab.
namespace tallymere::FocusChain {

// The stops of Tab below `root` in reading order; a group counts once, by its current member.
std::vector<QWidget*> stops(QWidget* root);

// Moves the keyboard to the stop after (or before) the one holding it, round from the last to the
// first, and scrolls it into view; false when `root` holds no stop. A control that holds the
// keyboard as it is hidden or disabled hands it on to the stop that followed it, with its ring as it was.
bool step(QWidget* root, bool forward);

// Makes the stops inside `container` (the rows of a list) one stop of Tab: Tab enters at the member
// that held the keyboard last, else the first, and leaves past the rest; the arrows walk the members.
void makeGroup(QWidget* container);
// Keeps a stop inside a group out of it (a button under a list's rows): Tab stops there on its own.
void keepOutOfGroup(QWidget* stop);
// The group `widget` belongs to, or null.
QWidget* groupOf(const QWidget* widget);
// The members of a group in reading order.
std::vector<QWidget*> members(QWidget* group);

// Where the arrows go within a group.
enum class Move { previous, next, first, last };
// Moves the keyboard within the group of `member`, with its ring; false when `member` is in no
// group. At either end it stays where it is.
bool stepInGroup(QWidget* member, Move move);

// The segment the arrows choose in a row of `count` segments of which `current` is chosen (-1 for
// none): Left and Right the neighbour, staying put at either end, Home and End the first and the
// last; -1 for any other key.
int segmentFor(int key, int current, int count);

// Scrolls every scroll area around `widget` so that the widget is in view.
void bringIntoView(QWidget* widget);

// Asks the control holding the keyboard for its context menu, as a secondary click on its current
// item does; for the context-menu key and Shift+F10. False when nothing holds the keyboard.
bool openContextMenu();

} // namespace tallymere::FocusChain
