#pragma once
#include <QImage>
#include <QPointF>
#include <QSizeF>

#include <functional>
#include <string>

class QPainter;

namespace tallymere::CardSkins {

// Card backgrounds drawn once into a picture at the device pixel ratio and kept, so that a page of
// cards, and the pages after it, draw each as one copy. Cards of a grid share their size and differ
// only in colour, so a page holds few distinct backgrounds, while filling a shaded silhouette and
// its outline costs many times more than copying it (and spreads over the thread pool, which a busy
// machine makes the page wait for).
//
// `key` names everything `paint` draws with; `paint` draws into a transparent picture of `size`
// logical pixels whose origin is the card's top left. The pictures kept take at most 24 MB; the
// least recently used goes first. For the window's thread only.
const QImage& skin(const std::string& key, QSizeF size, qreal ratio, const std::function<void(QPainter&)>& paint);

// The scale from a painter's logical pixels to the pixels it writes.
qreal ratioOf(const QPainter& painter);

// Draws `picture` with its top left at `topLeft`, moved to the nearest device pixel so that it is
// copied, not resampled.
void draw(QPainter& painter, QPointF topLeft, const QImage& picture);

// How many pictures have been drawn afresh since the program started.
int paintedCount();

} // namespace tallymere::CardSkins
