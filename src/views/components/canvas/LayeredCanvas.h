#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

#include <QImage>
#include <QRectF>
#include <QRegion>

#include <unordered_set>

class QPainter;

namespace tallymere {

// Base of the graphical visualisations: records laid out only when an input changes, a base
// picture rendered from them once and cached at the device pixel ratio, and marks (hover,
// selection, queue) painted over the cached picture on every repaint. Pointer movement therefore
// repaints the marks only.
//
// The drawing area is the widget inset by margin() on every edge; records, hit tests and both
// paint hooks use its coordinates (origin at its top-left corner).
//
// The picture is laid on backdrop(), the colour the window shows under every canvas, so the canvas
// paints opaque: a repaint copies the exposed part of the picture and paints nothing beneath it.
//
// What a subclass connects is up to it; connectStandardInputs() wires the usual ones: focus, depth,
// size mode and displayed tree lay out again; colour mode and labels re-render the picture; hover,
// selection and queue repaint the marks.
class LayeredCanvas : public ThemedWidget {
    Q_OBJECT
public:
    LayeredCanvas(AppState& state, double margin, QWidget* parent = nullptr);

    double margin() const { return m_margin; }
    // The drawing area's size; zero until the widget has a size.
    QSizeF canvasSize() const;
    // The colour under every canvas of the window: the panes' background.
    static QColor backdrop(const Theme& theme) { return theme.background; }
    // Copies `picture` (opaque, at its own pixel ratio) to the painter's origin without blending;
    // a paint event's painter is clipped to the exposed region, so only that much is copied.
    // Leaves out `except` (logical, whole points) where that costs nothing more: what the caller
    // paints over with opaque pixels of its own.
    static void blit(QPainter& painter, const QImage& picture, const QRegion& except = {});

    // From widget coordinates to drawing-area coordinates.
    QPointF toCanvas(QPointF widgetPoint) const { return widgetPoint - QPointF(m_margin, m_margin); }

    // How many times the records were laid out and the picture rendered, for tests and benchmarks.
    int layoutCount() const { return m_layouts; }
    int baseRenderCount() const { return m_baseRenders; }

    // The node laid out last (the focus, else the displayed tree) and so its whole tree, which the
    // canvas holds for as long as it keeps records pointing into it; null when there was none.
    const AppState::NodePtr& subject() const { return m_subject; }

    // The nodes of the subject's tree that are staged for cleanup, also when the queue holds them
    // through another copy of the tree; recomputed when the queue or the layout changes.
    const std::unordered_set<const FileNode*>& queuedNodes() const { return m_queued; }

    // Lays the records out again now (from the store and canvasSize()) and drops the picture.
    void relayout();
    // Drops the picture; the next paint renders it again from the same records.
    void invalidateBase();
    // Repaints where the marks were and where they are now (hover, selection or queue changed).
    void refreshMarks();
    // The bounds of the widget area a change of marks asked to repaint and no paint has covered yet
    // (empty when none), for measuring.
    QRect pendingMarksRegion() const { return m_pendingMarks.boundingRect(); }

protected:
    AppState& state() const { return m_state; }
    void connectStandardInputs();

    // Refills the records for subject(); called by relayout() only, never while painting.
    virtual void layoutRecords() = 0;
    // Paints the records into the picture, which holds backdrop() where nothing was drawn yet
    // (unless fillsBackdrop()).
    virtual void paintBase(QPainter& painter) = 0;
    // Whether paintBase() lays the backdrop itself over every pixel of the picture, as a canvas
    // that draws in bands of rows on several threads does with each band's rows, rather than have
    // the whole picture cleared on this thread first.
    virtual bool fillsBackdrop() const { return false; }
    // Paints the marks over the picture.
    virtual void paintMarks(QPainter& painter) { (void)painter; }
    // Where paintMarks() draws now, in drawing-area coordinates (outlines included); by default the
    // whole widget. Only this region and the one of the marks before are repainted on a change.
    virtual QRegion marksRegion() const;
    // Told before the picture is drawn again (its pixels are about to change) and after it was.
    virtual void pictureChanging() {}
    virtual void pictureRendered() {}
    // Where paintMarks() copies opaque pixels over every pixel, in the widget's coordinates (whole
    // points): the picture is not copied there before the marks. Empty by default.
    virtual QRegion marksCover() const { return {}; }
    // The picture as rendered last (opaque, at the device pixel ratio), for marks made from it.
    const QImage& picture() const { return m_base; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void themeChanged() override { invalidateBase(); }

private:
    AppState& m_state;
    double m_margin;
    void refreshQueued();
    // marksRegion() in widget pixels; empty when there are no marks.
    QRegion marksArea() const;

    AppState::NodePtr m_subject;
    std::unordered_set<const FileNode*> m_queued;
    QImage m_base;
    bool m_baseValid = false;
    QRegion m_marksDrawn;
    QRegion m_pendingMarks;
    QSizeF m_laidOutSize{-1, -1};
    int m_layouts = 0;
    int m_baseRenders = 0;
};

} // namespace tallymere
