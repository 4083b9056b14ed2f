#include "views/components/canvas/LayeredCanvas.h"

#include "views/components/canvas/PixelCopy.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

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
    const auto within = [&](const FileNode* node) {
        for (; node; node = node->parent)
            if (node == m_subject.get()) return true;
        return false;
    };
    const auto topOf = [](const FileNode* node) {
        while (node->parent) node = node->parent;
        return node;
    };
    const FileNode* top = topOf(m_subject.get());
    for (const AppState::NodePtr& item : m_state.queue()) {
        // An item of this very tree is itself, found by walking up. One of another tree (a
        // filtered copy and the scanned tree hold the same item twice) is found by its path,
        // which walks down through folders by name: thousands staged from one folder of
        // thousands would cost millions of names compared on every change of the queue.
        if (topOf(item.get()) == top) {
            if (within(item.get())) m_queued.insert(item.get());
        } else if (AppState::NodePtr mine = AppState::nodeAt(item->path(), m_subject)) {
            m_queued.insert(mine.get());
        }
    }
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

void LayeredCanvas::blit(QPainter& painter, const QImage& picture, const QRegion& except) {
    if (PixelCopy::toDevice(painter, picture, QRect(), except)) return;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // At a ratio that is not whole, on the pixels the patches of marks taken from it are laid on.
    if (picture.devicePixelRatio() != std::floor(picture.devicePixelRatio()))
        PixelCopy::draw(painter, QPointF(0, 0), picture, QRect(), true);
    else painter.drawImage(QPointF(0, 0), picture);
    painter.restore();
}

void LayeredCanvas::paintEvent(QPaintEvent* event) {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(int(std::ceil(width() * ratio)), int(std::ceil(height() * ratio)));
    if (!m_baseValid || m_base.size() != pixels || m_base.devicePixelRatio() != ratio) {
        pictureChanging();
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
        base.end();
        ++m_baseRenders;
        pictureRendered();
    }
    QPainter painter(this);
    // Only the region being repainted is copied, so a hover moves only a few pixels; and not where
    // the marks copy pixels of their own (at whole pixel ratios, where points are whole pixels).
    const QRegion cover = ratio == std::floor(ratio) ? marksCover() : QRegion();
    if (cover.isEmpty()) blit(painter, m_base);
    else if (!PixelCopy::toDevice(painter, m_base, QRect(), cover)) {
        // Rectangle by rectangle: the whole picture drawn through a clip of a frame round the
        // cover would walk every row of it.
        painter.save();
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        const int scale = int(ratio);
        for (const QRect& part : event->region() - cover)
            PixelCopy::draw(painter, QPointF(part.topLeft()), m_base,
                            QRect(part.topLeft() * scale, part.size() * scale), true);
        painter.restore();
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(m_margin, m_margin);
    paintMarks(painter);
    m_marksDrawn = marksArea();
    m_pendingMarks = QRegion();
}

} // namespace tallymere
