#pragma once
#include <QColor>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <functional>

namespace tallymere {

class AppState;
class FileNode;

// The drawing area of a canvas view: a plain child widget placed inside the view's margin, so that
// pointer handling and the context menu cover the drawn area and not the margin around it. It
// paints nothing of its own; its owner hands it the painting, which must cover the exposed region
// with opaque pixels (the surface is opaque, so nothing beneath it is painted first).
class VizSurface : public QWidget {
    Q_OBJECT
public:
    using Paint = std::function<void(QPainter& painter, const QRegion& exposed)>;
    explicit VizSurface(Paint paint, QWidget* parent = nullptr);

    // Moves a mark (hover or selection) that was drawn within `drawn` to `now`: only the two areas
    // are repainted, so the pointer crossing a large canvas blits a few small patches of the
    // cached layer. Empty rectangles stand for no mark.
    void moveMark(QRect& drawn, const QRect& now);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Paint m_paint;
};

// What a canvas drawn on a VizSurface does when the store's inputs change: `rebuild` lays it out
// again (a new focus, displayed tree or size mode, and the depth where `followsDepth`), `recolour`
// and `redraw` draw its picture again for a colour mode and for labels, and the hover and selection
// marks (kept in `hoverMark` and `selectionMark`) move to where `markRect` puts the node.
struct SurfaceInputs {
    std::function<void()> rebuild, recolour, redraw;
    std::function<QRect(const FileNode*)> markRect;
    QRect* hoverMark = nullptr;
    QRect* selectionMark = nullptr;
    bool followsDepth = false;
};
// Connects the store's signals to `surface`'s canvas for as long as `owner` lives.
void followInputs(QObject* owner, AppState& state, VizSurface* surface, const SurfaceInputs& inputs);

// A canvas's expensive drawing kept as an opaque image at the device pixel ratio, laid on the
// window's backdrop colour: drawn again only after invalidate() or when the size, pixel ratio or
// backdrop changed, then copied to the window where it is exposed. Marks that follow the pointer
// are painted over it, never into it.
//
// The canvases of this folder keep their picture here rather than in LayeredCanvas: the icicle's
// drawing is the scrolled content of a scroll area, sized by its own layout, and the mind map
// scales and fades its whole picture while it springs into view; LayeredCanvas lays out on its own
// size changes and blits its picture as it is.
class BaseLayer {
public:
    // Where the picture is drawn: on a thread of the pool while the window's thread waits (see
    // ParallelBands::runOnPool); or here, by a render that spreads its own work over the pool, the
    // picture cleared to the backdrop first or, for a render that lays the backdrop under each of
    // its bands itself, not.
    enum class Drawing { onPool, here, hereOverItsOwnBackdrop };
    explicit BaseLayer(Drawing drawing = Drawing::onPool) : m_drawing(drawing) {}
    void invalidate() { m_stale = true; }
    bool isValid() const { return !m_stale && !m_image.isNull(); }
    // Renders the layer when needed with `render`, which draws in logical pixels on an image of
    // `size` filled with `backdrop`.
    void ensure(QSize size, qreal pixelRatio, const QColor& backdrop, const std::function<void(QPainter&)>& render);
    // Copies the exposed part of the layer to the painter's origin, first rendering it when needed.
    // `except` (logical, whole points) is what the caller covers with opaque pixels of its own next:
    // left out where that costs nothing more.
    void paint(QPainter& painter, const QRegion& exposed, QSize size, qreal pixelRatio, const QColor& backdrop,
               const std::function<void(QPainter&)>& render, const QRegion& except = {});
    // The image the picture of `size` at `pixelRatio` is drawn into, made now where it is missing
    // or of another size, and the picture marked stale: a canvas may start drawing its pixels ahead
    // on other threads, for the render of the next ensure() at that size to finish. Nothing else
    // may touch the image until then.
    QImage& drawAhead(QSize size, qreal pixelRatio);
    // The picture's size in device pixels for a surface of `size`: every pixel the surface covers,
    // the last one too where it ends inside a pixel (at a pixel ratio that is not whole), which
    // would otherwise keep what was shown there before.
    static QSize pixels(QSize size, qreal pixelRatio);
    // The picture as rendered last, and how many pictures were rendered so far.
    const QImage& image() const { return m_image; }
    int renders() const { return m_renders; }

private:
    QImage m_image;
    QColor m_backdrop;
    bool m_stale = true;
    Drawing m_drawing;
    int m_renders = 0;
};

} // namespace tallymere
