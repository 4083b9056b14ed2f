#include "views/viz/MindMapView.h"

#include "layout/HitTest.h"
#include "layout/MindMapLayout.h"
#include "style/Motion.h"
#include "views/components/canvas/LayeredCanvas.h"
#include "views/components/NodeInteraction.h"
#include "views/components/canvas/ParallelBands.h"
#include "views/components/canvas/PixelCopy.h"
#include "views/viz/MindMapCanvas.h"

#include <QPainter>
#include <QResizeEvent>
#include <QVariantAnimation>

#include <algorithm>

namespace tallymere {

MindMapView::MindMapView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_surface(new VizSurface([this](QPainter& painter, const QRegion& exposed) { paintCanvas(painter, exposed); }, this)),
      m_entry(new QVariantAnimation(this)) {
    m_surface->setGeometry(rect().marginsRemoved(QMargins(margin, margin, margin, margin)));
    m_entry->setObjectName(QStringLiteral("entryAnimation"));
    m_entry->setStartValue(0.0);
    m_entry->setEndValue(1.0);
    connect(m_entry, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const double seconds = value.toDouble() * m_entry->duration() / 1000.0;
        m_appearance = value.toDouble() >= 1.0 ? 1.0 : Motion::springPosition(seconds, m_springResponse, m_springDamping);
        m_surface->update();
    });

    connect(&state, &AppState::focusChanged, this, [this] {
        m_appearance = 0;
        rebuild();
        springIn(bounceResponse, bounceDamping);
    });
    connect(&state, &AppState::displayRootChanged, this, &MindMapView::rebuild);
    connect(&state, &AppState::useAllocatedSizeChanged, this, &MindMapView::rebuild);
    connect(&state, &AppState::colorModeChanged, this, [this] {
        ++m_revision;
        redraw();
    });
    connect(&state, &AppState::showLabelsChanged, this, &MindMapView::redraw);
    connect(&state, &AppState::hoveredChanged, this, [this] { moveMark(m_hoverMark, m_state.hovered().get()); });
    connect(&state, &AppState::selectionChanged, this,
            [this] { moveMark(m_selectionMark, m_state.selection().get()); });
    // Hover, clicks and the context menu act on the node under the pointer.
    new NodeInteraction(state, m_surface, [this](QPointF point) { return nodeAt(point); });
    rebuild();
}

const FileNode* MindMapView::nodeAt(QPointF point) const {
    return HitTest::graphNodeAt(m_graph, {point.x(), point.y()}, 5);
}

void MindMapView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    m_surface->setGeometry(rect().marginsRemoved(QMargins(margin, margin, margin, margin)));
    if (m_surface->size() != m_canvasSize) rebuild();
}

void MindMapView::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    if (m_appeared) return;
    m_appeared = true;
    springIn(appearResponse, appearDamping);
}

void MindMapView::themeChanged() { redraw(); }

void MindMapView::springIn(double response, double damping) {
    m_entry->stop();
    m_springResponse = response;
    m_springDamping = damping;
    m_entry->setDuration(Motion::springSettleMs(response, damping));
    m_entry->start();
}

void MindMapView::rebuild() {
    m_canvasSize = m_surface->size();
    m_graph = {};
    m_start = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    if (m_start && m_canvasSize.width() > 60) {
        MindMapLayout::Options options;
        options.maxDepth = double(m_canvasSize.width()) * m_canvasSize.height() > 620000 ? 3 : 2;
        options.branching = {8, 6, 5, 4};
        options.minShare = 0.012;
        options.centerRadius = 62;
        options.minNodeRadius = 7;
        options.maxNodeRadius = 30;
        options.useAllocated = m_state.useAllocatedSize();
        m_graph = MindMapLayout::layout(*m_start, {0, 0, double(m_canvasSize.width()), double(m_canvasSize.height())},
                                        options);
    }
    ++m_revision;
    redraw();
}

QRect MindMapView::markRect(const FileNode* node) const {
    const GraphNode* disc = recordFor(m_graph.nodes, node);
    if (!disc) return {};
    // The selection ring lies 4 beyond the rim; its stroke and antialiasing reach 2 more.
    const double reach = disc->radius + 7;
    return QRectF(disc->position.x - reach, disc->position.y - reach, 2 * reach, 2 * reach).toAlignedRect();
}

void MindMapView::moveMark(QRect& drawn, const FileNode* node) {
    if (m_appearance != 1.0) {
        // While the map springs in, every frame repaints it whole anyway.
        drawn = markRect(node);
        m_surface->update();
        return;
    }
    m_surface->moveMark(drawn, markRect(node));
}

void MindMapView::redraw() {
    m_hoverMark = markRect(m_state.hovered().get());
    m_selectionMark = markRect(m_state.selection().get());
    m_base.invalidate();
    drawShapesAhead();
    m_surface->update();
}

namespace {

// Bands of the window's rows the spring's frames are laid in, taken by threads as they come free.
constexpr int springBands = 8;

// Two bands of rows of a picture at once, each an image over the same pixels drawn by a painter of
// its own on a thread of the pool, where it fills its shapes itself, and each drawing only the
// edges and discs that reach its rows over the backdrop it lays. Holds copies of all it draws
// from, the tree of the map's nodes included, so it may outlive a change of them.
constexpr int shapeBands = 2;
struct ShapeBands {
    AppState::NodePtr start;
    GraphLayout graph;
    Theme theme;
    ColorMode colorMode = ColorMode::branch;
    QColor backdrop;
    uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    int width = 0;
    qreal ratio = 1;

    void operator()(int top, int bottom) const {
        QImage band(bits + qsizetype(top) * bytesPerLine, width, bottom - top, bytesPerLine,
                    QImage::Format_ARGB32_Premultiplied);
        band.setDevicePixelRatio(ratio);
        band.fill(backdrop);
        QPainter p(&band);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(0, -top / ratio);
        MindMapCanvas::paintRows(p, graph, theme, colorMode, top / ratio, bottom / ratio);
    }
};

} // namespace

MindMapView::~MindMapView() { cancelShapesAhead(); }

void MindMapView::cancelShapesAhead() {
    if (!m_shapesAhead) return;
    m_shapesAhead->cancel();
    m_shapesAhead.reset();
}

void MindMapView::drawShapesAhead() {
    cancelShapesAhead();
    const QSize size = m_surface->size();
    // A hidden map draws when it is shown, if ever.
    if (!m_surface->isVisible() || size.isEmpty()) return;
    const qreal ratio = m_surface->devicePixelRatioF();
    QImage& picture = m_base.drawAhead(size, ratio);
    const QColor backdrop = LayeredCanvas::backdrop(theme());
    ShapeBands bands{m_start, m_graph, theme(), m_state.colorMode(), backdrop, picture.bits(),
                     picture.bytesPerLine(), picture.width(), ratio};
    m_shapesAhead = ParallelBands::Job::start(picture.height(), shapeBands, std::move(bands));
    m_aheadPixels = picture.size();
    m_aheadRatio = ratio;
    m_aheadBackdrop = backdrop;
}

void MindMapView::drawShapes(QImage& picture) {
    if (m_shapesAhead && m_aheadPixels == picture.size() && m_aheadRatio == picture.devicePixelRatio() &&
        m_aheadBackdrop == LayeredCanvas::backdrop(theme())) {
        m_shapesAhead->join();
        m_shapesAhead.reset();
        return;
    }
    cancelShapesAhead();
    const ShapeBands bands{m_start, m_graph, theme(), m_state.colorMode(), LayeredCanvas::backdrop(theme()),
                           picture.bits(), picture.bytesPerLine(), picture.width(), picture.devicePixelRatio()};
    ParallelBands::run(picture.height(), shapeBands, bands);
}

void MindMapView::paintCanvas(QPainter& painter, const QRegion& exposed) {
    auto render = [this](QPainter& layer) {
        auto* image = dynamic_cast<QImage*>(layer.device());
        if (!image) return;
        // The labels go over the shapes here: this thread has every font ready, while a thread of
        // the pool new since the last picture would first have to load the fonts and make the
        // glyphs again, which costs more than the text.
        const std::vector<MindMapCanvas::PlacedLabel> labels =
            MindMapCanvas::placeLabels(m_graph, theme(), m_state.showLabels(), m_state.useAllocatedSize(),
                                       m_surface->width());
        drawShapes(*image);
        MindMapCanvas::paintLabels(layer, labels);
        m_labelInk = MindMapCanvas::labelInk(labels);
    };
    const QColor backdrop = LayeredCanvas::backdrop(theme());
    const QSize size = m_surface->size();
    const qreal ratio = m_surface->devicePixelRatioF();
    const QSize pixels = BaseLayer::pixels(size, ratio);
    if (m_shapesAhead && (m_aheadPixels != pixels || m_aheadRatio != ratio || m_aheadBackdrop != backdrop))
        cancelShapesAhead(); // drawn for a picture that will not be: the image is about to change
    if (m_appearance <= 0 && m_shapesAhead) {
        // Nothing of the map shows yet: its shapes are left to the pool for the spring's first
        // frame to take.
        painter.fillRect(exposed.boundingRect(), backdrop);
        return;
    }
    const int renders = m_base.renders();
    // Drawn now even while invisible, so the spring's frames only scale a finished picture.
    m_base.ensure(size, ratio, backdrop, render);
    if (m_base.renders() != renders && m_base.isValid()) prepareCentreRing();
    if (m_appearance >= 1.0) {
        m_base.paint(painter, exposed, size, ratio, backdrop, render);
        paintRings(painter);
    } else {
        const bool shows = m_appearance > 0 && m_base.isValid();
        // At twice the pixel ratio or more a pixel is too small to show the steps of a plain
        // scaling, and filtering the whole picture on every frame of the spring is what costs.
        const bool smooth = ratio < 2;
        const bool banded = shows && !smooth && springInBands(painter, ratio, backdrop);
        if (!banded) painter.fillRect(exposed.boundingRect(), backdrop);
        if (!shows) return;
        painter.save();
        springTransform(painter);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        if (!banded) painter.drawImage(QPointF(0, 0), m_base.image());
        MindMapCanvas::paintHighlight(painter, recordFor(m_graph.nodes, m_state.hovered().get()),
                                      recordFor(m_graph.nodes, m_state.selection().get()), theme(), nullptr,
                                      m_labelInk);
        painter.restore();
    }
}

void MindMapView::springTransform(QPainter& painter) const {
    // The whole map, rings included, scales about the canvas's centre while it springs in.
    const QPointF centre = QRectF(m_surface->rect()).center();
    const double scale = 0.94 + 0.06 * m_appearance;
    painter.setOpacity(m_appearance);
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
}

bool MindMapView::springInBands(QPainter& painter, qreal ratio, const QColor& backdrop) const {
    // Scaling and fading the whole picture costs the window's thread most of a frame at twice the
    // pixel ratio; bands of the window's rows, each with a painter of its own, share it out. Each
    // band's painter starts its scaling afresh at its top row, so a pixel here and there near a
    // band's edge may take its neighbour's source pixel: for a frame that shows a sixtieth of a
    // second while the map moves, never for the map at rest.
    const std::optional<PixelCopy::Target> device = PixelCopy::target(painter, ratio);
    if (!device || device->exposed.rectCount() != 1) return false;
    QImage& window = *device->image;
    const QRect area = device->exposed.boundingRect();
    const QTransform toDevice = painter.deviceTransform();
    const QImage& picture = m_base.image();
    uchar* const bits = window.bits();
    const qsizetype stride = window.bytesPerLine();
    const QImage::Format format = window.format();
    const int width = window.width();
    ParallelBands::share(area.height(), springBands, [&](int top, int bottom) {
        const int y0 = area.top() + top;
        QImage band(bits + y0 * stride, width, bottom - top, stride, format);
        QPainter layer(&band);
        const QRect rows(area.left(), 0, area.width(), bottom - top);
        layer.setClipRect(rows);
        layer.fillRect(rows, backdrop);
        layer.setTransform(toDevice * QTransform::fromTranslate(0, -y0));
        springTransform(layer);
        layer.drawImage(QPointF(0, 0), picture);
    });
    return true;
}

void MindMapView::prepareCentreRing() {
    const qreal scale = m_base.image().devicePixelRatio();
    if (m_graph.nodes.empty() || !KeptStroke::keeps(scale, QRectF(), KeptStroke::Keep::any)) return;
    const QRectF rect = MindMapCanvas::hoverRingRect(m_graph.nodes.front());
    const QPen pen = MindMapCanvas::hoverRingPen(theme());
    if (m_rings[1].holds(scale, rect, pen)) return;
    // A ring still being stroked for another size or theme is waited for first: a fraction of a
    // millisecond, once a size.
    m_centreRing = std::async(std::launch::async, [scale, rect, pen] {
        KeptStroke ring;
        ring.prepare(scale, rect, pen);
        return ring;
    });
}

void MindMapView::paintRings(QPainter& painter) {
    const GraphNode* hovered = recordFor(m_graph.nodes, m_state.hovered().get());
    if (hovered && hovered == &m_graph.nodes.front() && m_centreRing.valid()) {
        const qreal scale = m_base.image().devicePixelRatio();
        const QRectF rect = MindMapCanvas::hoverRingRect(*hovered);
        const QPen pen = MindMapCanvas::hoverRingPen(theme());
        if (!m_rings[1].holds(scale, rect, pen)) {
            KeptStroke ring = m_centreRing.get();
            if (ring.holds(scale, rect, pen)) m_rings[1] = std::move(ring);
        }
    }
    MindMapCanvas::paintHighlight(painter, hovered, recordFor(m_graph.nodes, m_state.selection().get()), theme(),
                                  &m_rings, m_labelInk);
}

} // namespace tallymere
