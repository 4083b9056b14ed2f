#pragma once
#include "style/Theme.h"

#include <QColor>
#include <Qt>
#include <QRectF>

#include <functional>

class QPainter;
class QWidget;

namespace tallymere::FocusRing {

// The mark of the control that holds the keyboard: the accent at 0.6, as a ring 2 wide. Every
// theme's accent is its darkest ink, so at 0.6 the ring stands at least 3.6:1 against each of the
// theme's grounds (background, surface, surfaceRaised, even stroke), where 0.45 fell below 3:1.
inline constexpr double width = 2;
inline constexpr double opacity = 0.6;
// How far the ring goes round a control of bare text: 3 clear of the text's box, where even a
// capital's side or a descender keeps a pixel of ground before the ring, then the ring.
inline constexpr double textOutset = 5;
QColor color(const Theme& theme);

// Whether a control that just took the keyboard for `reason` shows its ring: not when a click gave
// it (the pointer already says where the user is), yes for Tab and the other keyboard ways in; the
// window coming back to the front or a menu closing keeps what was shown before.
bool shownOnFocus(Qt::FocusReason reason, bool shownBefore);

// The ring drawn inside the edge of a rounded rectangle, so the shape keeps its outer size.
void paint(QPainter& painter, const QRectF& rect, double radius, const Theme& theme);

// Whether the keys a control takes also bring its ring back after a click gave it the keyboard: a
// list or a rail walked by the arrows shows where the keyboard went; a text field typed in does not.
enum class Keys { showRing, leaveRing };

// Follows, for a control that takes the keyboard (`holder`), whether its ring shows, by the rule
// above and `keys` (a click on the control or its canvas takes the ring away again), and repaints `canvas` (the widget that draws the ring; the holder itself when
// null) whenever that changes. The follower lives as long as the holder.
void follow(QWidget* holder, QWidget* canvas = nullptr, Keys keys = Keys::showRing);

// For a followed control with no drawn shape of its own (a line of text, a bare symbol): the ring
// goes round it `outset` outside its edges, with corners of `radius` (negative for a capsule's
// round ends), drawn by a frame laid over
// the control's parent, so the control's own edges do not cut it. An outset of 0 brings the ring
// back inside the control's edge.
// `area`, when given, is the part of the control to ring (a list's current row), in its coordinates.
void drawOutside(QWidget* holder, double outset, double radius, std::function<QRectF()> area = {});
// Draws the ring of `holder` again: its place or its look changed.
void refresh(QWidget* holder);
// Whether the ring of `holder` is drawn outside it, by its frame.
bool isDrawnOutside(const QWidget* holder);

// Whether `holder` holds the keyboard now and shows its ring. False for a widget never followed.
bool shown(const QWidget* holder);

// Sets the ring of a followed `holder` as it would be had the keyboard come to it that way: for
// the keyboard handed over when the control that held it goes away.
void setShown(QWidget* holder, bool shown);

} // namespace tallymere::FocusRing
