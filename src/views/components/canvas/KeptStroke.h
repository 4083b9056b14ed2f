#pragma once
#include <QImage>
#include <QPen>
#include <QRect>
#include <QRectF>
#include <QTransform>

#include <vector>

class QPainter;

namespace tallymere {

// The anti-aliased outline of an ellipse, stroked once into an image of its own and laid again from
// it while it stays the same: the same pixels as the painter's own stroke, where the painter's
// rasteriser spends many milliseconds on the ring of a circle as large as a canvas at twice the
// pixel ratio. Only the parts of the image the ring touches are kept and laid, in runs of tiles
// along each band of rows.
class KeptStroke {
public:
    // Which rings are kept: those large enough that keeping pays on the first repeat, or any ring,
    // for a caller that strokes the same ring often (or has it stroked ahead, see prepare()).
    enum class Keep { large, any };
    // As painter.drawEllipse(rect) with `pen` and no brush, antialiased. Falls back to the painter
    // where the kept pixels could differ from its own: a transform other than a scale by a power of
    // two with a translation, or a ring that `keep` leaves to the painter.
    void ellipse(QPainter& painter, const QRectF& rect, const QPen& pen, Keep keep = Keep::large);
    // Whether ellipse() keeps the pixels of a ring of `rect` on a painter that scales by `scale`
    // (with a pen it can keep): a scale by a power of two, and a ring `keep` keeps.
    static bool keeps(double scale, const QRectF& rect, Keep keep = Keep::large);
    // Whether the last ring was laid from the kept pixels, for tests.
    bool laidFromKept() const { return m_laid; }
    // Keeps the pixels of the ring ellipse() would draw with `pen` on a painter that scales by
    // `scale` and translates by whole device pixels, so that it lays them at once. Touches nothing
    // but this object: it may run on any thread.
    void prepare(double scale, const QRectF& rect, const QPen& pen);
    // Whether ellipse() would lay this ring from the kept pixels on such a painter.
    bool holds(double scale, const QRectF& rect, const QPen& pen) const {
        return !m_runs.empty() && rect == m_rect && pen == m_pen && scale == m_scale && m_phase.isNull();
    }

    // The kept pixels, run by run, and each run's top-left corner in device pixels of a painter
    // whose logical origin is at a whole device pixel, counted from that pixel, where holds().
    const std::vector<QImage>& runs() const { return m_runs; }
    const std::vector<QPoint>& runPositions() const { return m_at; }

private:
    void build(double scale, QPointF phase, const QRectF& rect, const QPen& pen);

    QRectF m_rect;
    QPen m_pen;
    // The device transform's scale and the part of its translation below a whole pixel: a ring
    // shifted by whole pixels covers every pixel as before, so is laid from the same runs.
    double m_scale = 0;
    QPointF m_phase;
    bool m_laid = false;
    // The runs the ring touches: their pixels and where they go, in device pixels of a translation
    // by m_phase.
    std::vector<QImage> m_runs;
    std::vector<QPoint> m_at;
};

} // namespace tallymere
