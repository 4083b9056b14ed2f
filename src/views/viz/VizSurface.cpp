#include "views/viz/VizSurface.h"

#include "state/AppState.h"
#include "views/components/canvas/LayeredCanvas.h"
#include "views/components/canvas/ParallelBands.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace tallymere {

VizSurface::VizSurface(Paint paint, QWidget* parent) : QWidget(parent), m_paint(std::move(paint)) {
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VizSurface::moveMark(QRect& drawn, const QRect& now) {
    // The two areas apart, not the rectangle round both: marks far apart repaint only themselves.
    const QRegion dirty = QRegion(drawn) + now;
    drawn = now;
    if (!dirty.isEmpty()) update(dirty);
}

void VizSurface::paintEvent(QPaintEvent* event) {
    if (!m_paint) return;
    QPainter painter(this);
    m_paint(painter, event->region());
}

QSize BaseLayer::pixels(QSize size, qreal pixelRatio) {
    return {int(std::ceil(size.width() * pixelRatio)), int(std::ceil(size.height() * pixelRatio))};
}

void BaseLayer::ensure(QSize size, qreal pixelRatio, const QColor& backdrop,
                       const std::function<void(QPainter&)>& render) {
    if (size.isEmpty()) return;
    const QSize wanted = pixels(size, pixelRatio);
    if (m_stale || m_image.size() != wanted || m_image.devicePixelRatio() != pixelRatio || m_backdrop != backdrop) {
        // The picture of the same size is drawn again into the memory it had: a fresh image of a
        // large canvas costs more to have the system hand over than to clear.
        if (m_image.size() != wanted) m_image = QImage(wanted, QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(pixelRatio);
        if (m_drawing != Drawing::hereOverItsOwnBackdrop) m_image.fill(backdrop);
        m_backdrop = backdrop;
        m_stale = false;
        ++m_renders;
        auto draw = [this, &render] {
            QPainter layer(&m_image);
            layer.setRenderHint(QPainter::Antialiasing);
            layer.setRenderHint(QPainter::TextAntialiasing);
            render(layer);
        };
        if (m_drawing == Drawing::onPool) ParallelBands::runOnPool(draw);
        else draw();
    }
}

QImage& BaseLayer::drawAhead(QSize size, qreal pixelRatio) {
    m_stale = true;
    const QSize wanted = pixels(size, pixelRatio);
    if (m_image.size() != wanted) m_image = QImage(wanted, QImage::Format_ARGB32_Premultiplied);
    m_image.setDevicePixelRatio(pixelRatio);
    return m_image;
}

void BaseLayer::paint(QPainter& painter, const QRegion& exposed, QSize size, qreal pixelRatio, const QColor& backdrop,
                      const std::function<void(QPainter&)>& render, const QRegion& except) {
    ensure(size, pixelRatio, backdrop, render);
    if (isValid()) LayeredCanvas::blit(painter, m_image, except);
    else painter.fillRect(exposed.boundingRect(), backdrop);
}

void followInputs(QObject* owner, AppState& state, VizSurface* surface, const SurfaceInputs& inputs) {
    auto layOut = [rebuild = inputs.rebuild] { rebuild(); };
    QObject::connect(&state, &AppState::focusChanged, owner, layOut);
    QObject::connect(&state, &AppState::displayRootChanged, owner, layOut);
    QObject::connect(&state, &AppState::useAllocatedSizeChanged, owner, layOut);
    if (inputs.followsDepth) QObject::connect(&state, &AppState::treemapDepthChanged, owner, layOut);
    QObject::connect(&state, &AppState::colorModeChanged, owner, [recolour = inputs.recolour] { recolour(); });
    QObject::connect(&state, &AppState::showLabelsChanged, owner, [redraw = inputs.redraw] { redraw(); });
    QObject::connect(&state, &AppState::hoveredChanged, owner, [&state, surface, inputs] {
        surface->moveMark(*inputs.hoverMark, inputs.markRect(state.hovered().get()));
    });
    QObject::connect(&state, &AppState::selectionChanged, owner, [&state, surface, inputs] {
        surface->moveMark(*inputs.selectionMark, inputs.markRect(state.selection().get()));
    });
}

} // namespace tallymere
