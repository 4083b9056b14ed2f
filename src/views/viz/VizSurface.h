#pragma once
#include <QImage>
#include <QWidget>

#include <functional>

namespace tallymere {

// The drawing area of a canvas view: a plain child widget placed inside the view's margin, so that
// pointer handling and the context menu cover the drawn area and not the margin around it. It
// paints nothing of its own; its owner hands it the painting.
class VizSurface : public QWidget {
    Q_OBJECT
public:
    using Paint = std::function<void(QPainter& painter)>;
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

// A canvas's expensive drawing kept as an image at the device pixel ratio: drawn again only after
// invalidate() or when the size or pixel ratio changed, then blitted. Marks that follow the
// pointer are painted over it, never into it.
//
// The canvases of this folder keep their picture here rather than in LayeredCanvas: the icicle's
// drawing is the scrolled content of a scroll area, sized by its own layout, and the mind map
// scales and fades its whole picture while it springs into view; LayeredCanvas lays out on its own
// size changes and blits its picture as it is.
class BaseLayer {
public:
    void invalidate() { m_stale = true; }
    bool isValid() const { return !m_stale && !m_image.isNull(); }
    // Renders the layer when needed with `render`, which draws in logical pixels on a transparent
    // image of `size`.
    void ensure(QSize size, qreal pixelRatio, const std::function<void(QPainter&)>& render);
    // Blits the layer at the painter's origin, first rendering it when needed.
    void paint(QPainter& painter, QSize size, qreal pixelRatio, const std::function<void(QPainter&)>& render);

private:
    QImage m_image;
    bool m_stale = true;
};

} // namespace tallymere
