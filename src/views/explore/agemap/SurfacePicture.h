#pragma once
#include <QColor>
#include <QImage>
#include <QRegion>

#include <functional>
#include <vector>

class QPainter;
class QWidget;

namespace tallymere {

// The drawing of a widget that lies inside a panel, on the panel's opaque surface colour, kept as
// an opaque picture at the device pixel ratio: drawn again only after invalidate() or when the
// size, pixel ratio or surface changed, then copied to the window where it is exposed. The widget
// sets Qt::WA_OpaquePaintEvent, so a repaint neither paints the panel beneath it again nor blends.
//
// The picture starts as the surface colour, the very pixels the panel leaves under the widget, and
// is drawn by the same painting code at the same sub-pixel positions (only whole device pixels
// apart), so it is what painting straight onto the panel gives, pixel for pixel.
//
// A large picture is drawn on threads of the pool while the window's thread waits: a painter on the
// window's thread hands every large shape's spans to the pool in small pieces and waits on each,
// which on a busy machine costs more than the drawing. A drawing of many rows of marks is split
// into bands at the given edges (logical y between rows that nothing drawn crosses), each band
// drawn by its own painter on its own thread. A small one is drawn on the calling thread, where
// waking a thread of the pool would cost more than the drawing.
class SurfacePicture {
public:
    // `draw(painter, band)` draws band `band` (0 for a single band) in the widget's logical
    // coordinates; it may draw anything, but only that band's rows of the picture are kept.
    using Draw = std::function<void(QPainter& painter, std::size_t band)>;

    // Everything is drawn again, the backdrop too.
    void invalidate() { m_stale = m_backdropStale = true; }
    // Only what lies over the backdrop is drawn again.
    void invalidateContent() { m_stale = true; }
    // Copies the `exposed` part of the picture of `widget` to `painter` (the widget's own, its
    // origin at the widget's top left), first drawing the bands it reaches that are not drawn yet:
    // a widget mostly scrolled out of view draws only what shows. `edges` are the logical y where
    // one band ends and the next starts, in increasing order; none draws a single band.
    //
    // With a `backdrop` (the labels and axes that do not follow what the picture shows), each band
    // is drawn over the backdrop's drawing of it; from a band's second drawing on, that is kept
    // apart and copied, drawn again only after invalidate() or when the size, pixel ratio, surface
    // or bands changed (a picture drawn only once, as a view just shown, copies nothing). What
    // `draw` draws must not overlap what the backdrop draws (else the order would show).
    void paint(QPainter& painter, const QWidget& widget, const QRegion& exposed, const QColor& surface,
               const std::vector<double>& edges, const Draw& draw, const Draw& backdrop = {});

    const QImage& image() const { return m_image; }

private:
    QImage m_image;
    QImage m_backdrop;
    QColor m_surface;
    std::vector<int> m_rows;   // the bands' first device rows, then the picture's height
    std::vector<bool> m_drawn; // by band
    std::vector<char> m_backdropDrawn; // by band
    bool m_stale = true;
    bool m_backdropStale = true;
};

} // namespace tallymere
