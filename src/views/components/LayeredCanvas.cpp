#include "views/components/LayeredCanvas.h"

#include "views/components/ParallelBands.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tallymere {

LayeredCanvas::LayeredCanvas(AppState& state, double margin, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_margin(margin) {
    // Every paint covers its whole region with the opaque picture: nothing beneath need be painted.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

QSizeF LayeredCanvas::canvasSize() const {
    return {std::max(0.0, width() - 2 * m_margin), std::max(0.0, height() - 2 * m_margin)};
}

void LayeredCanvas::relayout() {
    m_laidOutSize = canvasSize();
    m_subject = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    layoutRecords();
    refreshQueued();
    ++m_layouts;
    invalidateBase();
}

void LayeredCanvas::invalidateBase() {
    // The buffer is kept for the next picture of the same size.
    m_baseValid = false;
    update();
}

void LayeredCanvas::refreshMarks() {
    // Only where the marks were and where they are now needs painting again.
    // The two areas apart, not the rectangle around both: marks far apart repaint only themselves.
    const QRegion now = marksArea();
    const QRegion dirty = (m_marksDrawn + now) & rect();
    m_marksDrawn = now;
    m_pendingMarks = dirty;
    if (!dirty.isEmpty()) update(dirty);
}

QRegion LayeredCanvas::marksArea() const {
    const int shift = int(std::floor(m_margin));
    // A margin with a fraction moves the marks by part of a pixel: one more pixel round them.
    const QRegion region = marksRegion().translated(shift, shift);
    if (region.isEmpty()) return {};
    if (m_margin == shift) return region & rect();
    QRegion grown;
    for (const QRect& r : region) grown += r.adjusted(0, 0, 1, 1);
    return grown & rect();
}

QRegion LayeredCanvas::marksRegion() const {
    return QRect(QPoint(-int(std::ceil(m_margin)), -int(std::ceil(m_margin))), size() + QSize(2, 2));
}

void LayeredCanvas::refreshQueued() {
    m_queued.clear();
    if (!m_subject) return;
    // By path, not identity: a filtered copy and the scanned tree hold the same item twice.
    for (const AppState::NodePtr& item : m_state.queue())
        if (AppState::NodePtr mine = AppState::nodeAt(item->path(), m_subject)) m_queued.insert(mine.get());
}

void LayeredCanvas::connectStandardInputs() {
    for (auto signal : {&AppState::focusChanged, &AppState::treemapDepthChanged, &AppState::useAllocatedSizeChanged,
                        &AppState::displayRootChanged})
        connect(&m_state, signal, this, &LayeredCanvas::relayout);
    for (auto signal : {&AppState::colorModeChanged, &AppState::showLabelsChanged})
        connect(&m_state, signal, this, &LayeredCanvas::invalidateBase);
    for (auto signal : {&AppState::hoveredChanged, &AppState::selectionChanged})
        connect(&m_state, signal, this, &LayeredCanvas::refreshMarks);
    connect(&m_state, &AppState::queueChanged, this, [this] {
        refreshQueued();
        refreshMarks();
    });
}

void LayeredCanvas::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    if (canvasSize() != m_laidOutSize) relayout();
}

void LayeredCanvas::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    // A canvas made and shown at a size it never heard of lays out on appearance.
    if (canvasSize() != m_laidOutSize) relayout();
}

namespace {

// Below this many pixels a copy is not worth handing to other threads.
constexpr qint64 parallelCopyPixels = 256 * 1024;

// Copies the exposed part of `picture` straight into the image the painter paints on, rows spread
// over the thread pool, where that is plainly the same as the painter's copy: the painter would
// copy a whole picture at twice the pixel ratio on the window's thread alone, a few milliseconds of
// every frame. Returns false, having copied nothing, where it is not: another kind of device, a
// layout of pixels other than the picture's, a clip of the painter's own, a transform other than
// the pixel ratio and a shift by whole pixels, or too little to copy.
bool copyInParallel(QPainter& painter, const QImage& picture) {
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image || painter.hasClipping()) return false;
    auto* target = static_cast<QImage*>(device);
    const QImage::Format format = target->format();
    // The picture is opaque: its pixels read the same as opaque RGB32 ones.
    if (picture.format() != QImage::Format_ARGB32_Premultiplied ||
        (format != QImage::Format_ARGB32_Premultiplied && format != QImage::Format_RGB32))
        return false;
    const QTransform t = painter.deviceTransform();
    const qreal ratio = picture.devicePixelRatio();
    if (t.type() > QTransform::TxScale || t.m11() != ratio || t.m22() != ratio || t.dx() != std::floor(t.dx()) ||
        t.dy() != std::floor(t.dy()))
        return false;
    const QPoint shift(int(t.dx()), int(t.dy()));
    // The exposed region in the device's pixels; none set means the whole device.
    QRegion exposed = engine->systemClip();
    if (exposed.isEmpty()) exposed = QRegion(target->rect());
    exposed &= QRegion(QRect(shift, picture.size()) & target->rect());
    qint64 pixels = 0;
    for (const QRect& r : exposed) pixels += qint64(r.width()) * r.height();
    if (pixels < parallelCopyPixels) return false;
    uchar* to = target->bits();
    const uchar* from = picture.constBits();
    const qsizetype toStride = target->bytesPerLine(), fromStride = picture.bytesPerLine();
    const std::vector<QRect> rects(exposed.begin(), exposed.end());
    const QRect bounds = exposed.boundingRect();
    ParallelBands::run(bounds.height(), 8, [&](int top, int bottom) {
        for (const QRect& r : rects) {
            const int y0 = std::max(r.top(), bounds.top() + top), y1 = std::min(r.bottom() + 1, bounds.top() + bottom);
            for (int y = y0; y < y1; ++y)
                std::memcpy(to + y * toStride + qsizetype(r.left()) * 4,
                            from + (y - shift.y()) * fromStride + qsizetype(r.left() - shift.x()) * 4,
                            std::size_t(r.width()) * 4);
        }
    });
    return true;
}

} // namespace

void LayeredCanvas::blit(QPainter& painter, const QImage& picture) {
    if (copyInParallel(painter, picture)) return;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPointF(0, 0), picture);
    painter.restore();
}

void LayeredCanvas::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(int(std::ceil(width() * ratio)), int(std::ceil(height() * ratio)));
    if (!m_baseValid || m_base.size() != pixels || m_base.devicePixelRatio() != ratio) {
        // Opaque pixels throughout: the picture is copied to the window, never blended.
        if (m_base.size() != pixels) m_base = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_base.setDevicePixelRatio(ratio);
        if (!fillsBackdrop()) m_base.fill(backdrop(theme()));
        m_baseValid = true;
        QPainter base(&m_base);
        base.setRenderHint(QPainter::Antialiasing, true);
        base.setRenderHint(QPainter::TextAntialiasing, true);
        base.translate(m_margin, m_margin);
        paintBase(base);
        ++m_baseRenders;
    }
    QPainter painter(this);
    // Only the region being repainted is copied, so a hover moves only a few pixels.
    blit(painter, m_base);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(m_margin, m_margin);
    paintMarks(painter);
    m_marksDrawn = marksArea();
    m_pendingMarks = QRegion();
}

} // namespace tallymere
