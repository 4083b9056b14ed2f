#pragma once
#include <QImage>
#include <QPointF>
#include <QSizeF>

#include <functional>
#include <string>
#include <vector>

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

// One background as skin() takes it.
struct Picture {
    std::string key;
    QSizeF size;
    qreal ratio = 1;
    std::function<void(QPainter&)> paint;
};
const QImage& skin(const Picture& picture);

// Draws those of `pictures` not kept yet side by side on threads of the pool, one picture a task,
// and keeps them, so that the skin() calls of a page's first showing that follow find them all. A
// painter on the window's thread hands each large fill's spans to the pool and waits for every
// piece, many times a picture; a painter on a thread of the pool fills them itself. Each `paint`
// must be safe on any thread: value types only, no caches of the window's thread. As many are
// drawn as the kept pictures hold, the first first.
void prepare(const std::vector<Picture>& pictures);

// The scale from a painter's logical pixels to the pixels it writes.
qreal ratioOf(const QPainter& painter);

// Draws `picture` with its top left at `topLeft`, moved to the nearest device pixel so that it is
// copied, not resampled.
void draw(QPainter& painter, QPointF topLeft, const QImage& picture);

// How many pictures have been drawn afresh since the program started.
int paintedCount();

} // namespace tallymere::CardSkins
