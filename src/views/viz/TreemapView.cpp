#include "views/viz/TreemapView.h"

#include "core/ByteFormat.h"
#include "layout/HitTest.h"
#include "style/Typography.h"
#include "views/components/canvas/HighlightOverlay.h"
#include "views/components/NodeInteraction.h"
#include "views/components/canvas/ParallelBands.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/components/canvas/TileRaster.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace tallymere {

namespace {

// Label ink is the same in every theme: the tiles under it are always light enough.
const QColor labelInk(26, 25, 22);

QColor mixed(const QColor& from, const QColor& to, double amount) { return ColorRules::mix(from, to, amount); }

// `base` moved toward `over` drawn at `opacity`, the blend of two colours with their opacities
// (premultiplied), as a dark theme's folder fill wants.
QColor mixTranslucent(const QColor& base, const QColor& over, double overOpacity, double amount) {
    const double a = (1 - amount) * base.alphaF() + amount * overOpacity;
    if (a <= 0) return Qt::transparent;
    auto channel = [&](double b, double o) {
        return ((1 - amount) * base.alphaF() * b + amount * overOpacity * o) / a;
    };
    return QColor::fromRgbF(float(channel(base.redF(), over.redF())), float(channel(base.greenF(), over.greenF())),
                            float(channel(base.blueF(), over.blueF())), float(a));
}

QRectF qrect(const Rect& r) { return {r.x, r.y, r.width, r.height}; }

// Most threads the tiles of one picture are drawn on, and how many pieces each thread's share of
// the rows is cut into: small tiles, many times the work of large ones for their area, gather in
// some rows, and pieces handed out as threads come free keep every thread busy to the end.
constexpr int maxBands = 8;
constexpr int piecesPerBand = 3;

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

TextDraw::Style labelStyle(double size, QFont::Weight weight, double opacity) {
    TextDraw::Style style{Typography::font(size, weight), ShapePaint::withOpacity(labelInk, opacity)};
    style.alignment = Qt::AlignLeft | Qt::AlignTop;
    return style;
}


// What the tiles are filled with: the theme's colours in the colour mode, the age colours seen
// from `now`.
struct TilePaint {
    const Theme& theme;
    ColorMode mode;
    double now;

    QColor folderFill(const QColor& c) const {
        return theme.isDark ? mixTranslucent(theme.surface, c, 0.3, 0.2) : mixed(theme.surface, c, 0.2);
    }
};

// The start node's tile, filled first over the backdrop: where it writes every pixel outright (an
// opaque fill), no backdrop is laid beneath it. A transparent fill when it draws none.
struct StartTile {
    QRectF rect;
    double radius = 0;
    QColor fill = Qt::transparent;
};

StartTile startTile(const std::vector<LayoutTile>& tiles, const TilePaint& paint) {
    StartTile start;
    const LayoutTile& tile = tiles.front();
    if (!tile.hasChildren) return start;
    start.rect = qrect(tile.rect);
    const double w = start.rect.width(), h = start.rect.height();
    if (w > 0.7 && h > 0.7) {
        const FileNode& node = *tile.node;
        const Theme& t = paint.theme;
        start.radius = std::min(0.2 * std::min(w, h), 7.0);
        start.fill = paint.folderFill(paint.mode == ColorMode::age ? t.ageColor(node.modified, paint.now)
                                                                   : t.nodeColor(node, tile.depth, tile.tint, paint.mode));
    }
    return start;
}

// Fills the tiles' shapes on the raster's rows, parents before (under) their children, after
// laying the backdrop under its rows (`picture` is the whole picture, margin included).
void drawTiles(TileRaster raster, const std::vector<LayoutTile>& tiles, const TilePaint& paint, const QRectF& picture,
               const QColor& backdrop, const StartTile& start) {
    raster.fillAround(picture, backdrop, start.rect, start.radius, start.fill);
    const Theme& t = paint.theme;
    const QColor white(255, 255, 255), black(0, 0, 0);
    // The light and dark ends of a leaf's gradient, by its colour: the tiles of a branch share a
    // handful of colours, and mixing through QColor costs more than filling a small tile.
    struct Shades {
        QRgb key = 0;
        bool used = false;
        QColor light, dark;
    };
    std::array<Shades, 64> shades;
    Theme::BranchColors branch(t);
    auto shadesOf = [&](const QColor& c) -> const Shades& {
        const QRgb key = c.rgba();
        Shades& entry = shades[(key ^ (key >> 11) ^ (key >> 19)) & 63];
        if (!entry.used || entry.key != key)
            entry = {key, true, mixed(c, white, t.isDark ? 0.16 : 0.07), mixed(c, black, t.isDark ? 0.12 : 0.03)};
        return entry;
    };
    for (const LayoutTile& tile : tiles) {
        const QRectF r = qrect(tile.rect);
        const double w = r.width(), h = r.height();
        if (w <= 0.7 || h <= 0.7 || !raster.meetsRows(r)) continue;
        const FileNode& node = *tile.node;
        const QColor c = paint.mode == ColorMode::age      ? t.ageColor(node.modified, paint.now)
                         : paint.mode == ColorMode::branch ? branch.of(node, tile.depth, tile.tint)
                                                           : t.nodeColor(node, tile.depth, tile.tint, paint.mode);
        const double s = std::min(w, h);
        if (!tile.hasChildren) {
            if (s < 4) raster.fill(r, 0, c);
            else {
                const Shades& ends = shadesOf(c);
                raster.fillGradient(r, std::min(0.24 * s, 5.0), ends.light, ends.dark);
            }
            continue;
        }
        const double k = std::min(0.2 * s, 7.0);
        raster.fill(r, k, paint.folderFill(c));
        if (tile.headerHeight > 3)
            raster.fill(QRectF(r.x(), r.y(), w, tile.headerHeight), 0.7 * k, ShapePaint::withOpacity(c, 0.82));
        raster.stroke(r, k, 1, ShapePaint::withOpacity(c, 0.9));
    }
}

// A label and where it goes, in the drawing area's coordinates.
struct Label {
    QRectF box;
    QString text;
    const TextDraw::Style* style;
};

struct LabelStyles {
    TextDraw::Style folder = labelStyle(9.5, QFont::DemiBold, 0.92);
    TextDraw::Style file = labelStyle(9.5, QFont::Medium, 0.88);
    TextDraw::Style size = labelStyle(8.5, QFont::DemiBold, 0.58);
};

// The labels in the tiles' order, a folder's name in its header band and a large file's name (and
// size) on itself, up to `budget` tiles, counted whether their text fits or not; `labelled` is how
// many tiles got one.
std::vector<Label> chooseLabels(const std::vector<LayoutTile>& tiles, bool useAllocated, int budget,
                                const LabelStyles& styles, int& labelled) {
    std::vector<Label> labels;
    for (const LayoutTile& tile : tiles) {
        if (budget < 1) break;
        const QRectF r = qrect(tile.rect);
        const double w = r.width(), h = r.height();
        if (w <= 0.7 || h <= 0.7) continue;
        const FileNode& node = *tile.node;
        if (tile.hasChildren) {
            if (tile.headerHeight > 9 && w > 46) {
                labels.push_back({QRectF(r.x() + 4, r.y() + 0.5, w - 8, tile.headerHeight),
                                  TextDraw::oneLine(node.name()), &styles.folder});
                --budget;
                ++labelled;
            }
        } else if (w > 54 && h > 22) {
            labels.push_back({QRectF(r.x() + 4, r.y() + 3, w - 8, 13), TextDraw::oneLine(node.name()), &styles.file});
            if (h > 34)
                labels.push_back({QRectF(r.x() + 4, r.y() + 15, w - 8, 12),
                                  QString::fromStdString(ByteFormat::unbroken(node.bytes(useAllocated), false)),
                                  &styles.size});
            --budget;
            ++labelled;
        }
    }
    return labels;
}

// Writes the labels that reach the rows [top, bottom) of `image`, whose pixels are `bits` (taken
// on the image's thread) and whose drawing area starts at the device `offset`.
void drawLabels(const QImage& image, uchar* bits, int top, int bottom, QPointF offset, const std::vector<Label>& labels) {
    const qreal ratio = image.devicePixelRatio();
    // The band's rows as an image of their own, in the drawing area's coordinates.
    QImage band(bits + qsizetype(top) * image.bytesPerLine(), image.width(), bottom - top, image.bytesPerLine(),
                image.format());
    band.setDevicePixelRatio(ratio);
    QPainter p(&band);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.translate(offset.x() / ratio, (offset.y() - top) / ratio);
    const double from = (top - offset.y()) / ratio - 4, to = (bottom - offset.y()) / ratio + 4;
    for (const Label& label : labels)
        if (label.box.bottom() > from && label.box.top() < to) TextDraw::draw(p, label.box, label.text, *label.style);
}

} // namespace

TreemapView::TreemapView(AppState& state, QWidget* parent) : LayeredCanvas(state, inset, parent) {
    connectStandardInputs();
    m_interaction = new NodeInteraction(state, this, [this](QPointF p) { return hit(toCanvas(p)); });
    m_interaction->setMargin(inset);
}

TreemapLayout::Options TreemapView::options(const AppState& state) {
    TreemapLayout::Options o;
    o.maxDepth = int(std::trunc(std::clamp(state.treemapDepth(), AppState::minTreemapDepth, AppState::maxTreemapDepth)));
    o.minTile = 3;
    o.padding = 3;
    o.headerHeight = 16;
    o.minParent = 24;
    o.maxTiles = 22000;
    o.useAllocated = state.useAllocatedSize();
    return o;
}

void TreemapView::layoutRecords() {
    const QSizeF size = canvasSize();
    if (!subject() || size.width() <= 2) {
        m_tiles.clear();
        m_found = {};
        return;
    }
    m_tiles = TreemapLayout::layout(*subject(), Rect{0, 0, size.width(), size.height()}, options(state()));
    m_found = {};
}

const FileNode* TreemapView::hit(QPointF p) const { return HitTest::tileAt(m_tiles, Point{p.x(), p.y()}); }

std::optional<QRectF> TreemapView::rectOf(const FileNode* node) const {
    if (!node) return std::nullopt;
    std::ptrdiff_t at = -1;
    if (m_found[0].first == node) at = m_found[0].second;
    else if (m_found[1].first == node) at = m_found[1].second;
    else {
        for (auto tile = m_tiles.rbegin(); tile != m_tiles.rend(); ++tile)
            if (tile->node == node) {
                at = m_tiles.rend() - tile - 1;
                break;
            }
        m_found[1] = m_found[0];
        m_found[0] = {node, at};
    }
    if (at < 0) return std::nullopt;
    return qrect(m_tiles[std::size_t(at)].rect);
}

std::vector<QRectF> TreemapView::queuedRects() const {
    std::vector<QRectF> rects;
    const auto& queued = queuedNodes();
    if (queued.empty()) return rects;
    for (const LayoutTile& tile : m_tiles)
        if (queued.contains(tile.node)) rects.push_back(qrect(tile.rect));
    return rects;
}

void TreemapView::paintBase(QPainter& painter) {
    m_labelled = 0;
    const QColor backdrop = LayeredCanvas::backdrop(theme());
    auto* image = dynamic_cast<QImage*>(painter.device());
    if (m_tiles.empty() || !image) {
        if (image) image->fill(backdrop);
        return;
    }
    const TilePaint paint{theme(), state().colorMode(), nowSeconds()};
    const QTransform toDevice = painter.deviceTransform();
    // Shapes first; then the labels, which no later shape covers: a folder's name sits in its
    // header band, above its children, and a file's on itself. Disjoint bands of rows are drawn on
    // several threads at once, shapes and labels alike.
    // The whole picture in the drawing area's coordinates, margin included.
    const QRectF picture(-toDevice.dx() / toDevice.m11(), -toDevice.dy() / toDevice.m11(),
                         image->width() / toDevice.m11(), image->height() / toDevice.m11());
    const StartTile start = startTile(m_tiles, paint);
    // The labels are chosen here, in the tiles' order, and written by each band that they reach.
    const LabelStyles styles;
    const std::vector<Label> labels =
        state().showLabels() ? chooseLabels(m_tiles, state().useAllocatedSize(), labelBudget, styles, m_labelled)
                             : std::vector<Label>{};
    const QPointF offset(toDevice.dx(), toDevice.dy());
    // Made here: making a raster, or taking the bits, touches the image, which only this thread may do.
    const TileRaster whole(*image, toDevice.m11(), offset);
    uchar* bits = image->bits();
    // The window's thread takes pieces too: on a busy machine the pool's threads start late, and
    // it would only wait for them.
    ParallelBands::share(image->height(), maxBands * piecesPerBand, [&](int top, int bottom) {
        drawTiles(TileRaster(whole, top, bottom), m_tiles, paint, picture, backdrop, start);
        if (!labels.empty()) drawLabels(*image, bits, top, bottom, offset, labels);
    });
}

void TreemapView::paintMarks(QPainter& painter) {
    HighlightOverlay overlay;
    overlay.hovered = rectOf(state().hovered().get());
    overlay.selected = rectOf(state().selection().get());
    overlay.queued = queuedRects();
    overlay.theme = theme();
    // The focus's tile, hovered again and again between other tiles, keeps an outline of its own.
    const bool focusHovered = !m_tiles.empty() && state().hovered().get() == m_tiles.front().node;
    overlay.hoverOutline = focusHovered ? &m_focusOutline : &m_hoverOutline;
    if (overlay.hovered && !picture().isNull()) {
        // The tint comes ready from the cache (a large tile's inside from a tinted picture), so the
        // overlay strokes only the outline. The picture holds the margin too: the cache works in the
        // widget's coordinates.
        const QPointF shift(margin(), margin());
        const QRectF shape = hoverShape(*overlay.hovered).translated(shift);
        painter.save();
        painter.translate(-shift);
        m_tint.paint(painter, picture(), baseRenderCount(), shape, 4, hoverTint());
        painter.restore();
        overlay.hoverTinted = true;
        // The focus's tinted picture, stopped to lay this mark sooner, is made again after the
        // paint, unless a new picture comes first.
        if (m_tint.isRemakeDue(baseRenderCount()))
            QMetaObject::invokeMethod(this, [this, revision = baseRenderCount()] {
                if (m_tint.isRemakeDue(revision) && baseRenderCount() == revision) m_tint.remakePicture(picture());
            }, Qt::QueuedConnection);
    }
    overlay.paint(painter);
}

QColor TreemapView::hoverTint() const { return ShapePaint::withOpacity(HighlightOverlay::ink(theme()), 0.1); }

void TreemapView::pictureRendered() {
    // The focus's own tile covers the whole picture and holds every other: its hover mark is made
    // now on another thread, over a copy of the whole picture.
    if (m_tiles.empty()) return;
    const QRectF shape = hoverShape(qrect(m_tiles.front().rect)).translated(margin(), margin());
    if (TintCache::isLarge(picture(), shape, 4)) m_tint.preparePicture(picture(), baseRenderCount(), shape, 4, hoverTint());
}

QRegion TreemapView::marksCover() const {
    const auto hovered = rectOf(state().hovered().get());
    if (!hovered || picture().isNull()) return {};
    const QPointF shift(margin(), margin());
    return TintCache::cover(picture(), hoverShape(*hovered).translated(shift));
}

QRegion TreemapView::marksRegion() const {
    // The hovered and queued tiles repaint whole (their tint); the selection only along its outline,
    // a band from 4 points inside the tile to 3 outside it.
    QRegion region;
    if (const auto hovered = rectOf(state().hovered().get())) region += hovered->adjusted(-2, -2, 2, 2).toAlignedRect();
    for (const QRectF& rect : queuedRects()) region += rect.adjusted(-2, -2, 2, 2).toAlignedRect();
    if (const auto selected = rectOf(state().selection().get())) {
        const QRect outer = selected->adjusted(-3, -3, 3, 3).toAlignedRect();
        const QRectF inner = selected->adjusted(4, 4, -4, -4);
        region += inner.width() > 2 && inner.height() > 2
                      ? QRegion(outer) - QRegion(QRect(QPoint(int(std::ceil(inner.left())), int(std::ceil(inner.top()))),
                                                       QPoint(int(std::floor(inner.right())) - 1,
                                                              int(std::floor(inner.bottom())) - 1)))
                      : QRegion(outer);
    }
    return region;
}

} // namespace tallymere
