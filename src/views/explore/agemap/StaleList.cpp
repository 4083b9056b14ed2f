#include "views/explore/agemap/StaleList.h"

#include "core/ByteFormat.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/NodeContextMenu.h"
#include "views/components/NodeGlyph.h"
#include "views/components/RepaintArea.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double insetX = 5;
constexpr double insetY = 3;
constexpr double spacing = 7;
constexpr double minimumGap = 4;
constexpr double glyphSize = 11;
constexpr double toggleSize = 11;
constexpr double hoverRadius = 5;
// The toggle's symbol is small; a click this close to it still counts.
constexpr double toggleSlop = 3;

QFont nameFont() { return Typography::font(11, QFont::Normal); }
QFont ageFont() { return Typography::font(9, QFont::Normal); }
QFont sizeFont() { return Typography::font(10.5, QFont::DemiBold); }

double nameHeight() { return QFontMetricsF(nameFont()).height(); }
double ageHeight() { return QFontMetricsF(ageFont()).height(); }

// The toggle is drawn in the system font's weight for symbols: regular.
QFont::Weight toggleWeight() { return QFont::Normal; }

} // namespace

StaleList::StaleList(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_cursor(this, [this] { return int(m_nodes.size()); }, [this](int row) { return rowRect(std::size_t(row)); }) {
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    m_cursor.setButton([this](int row) { return toggleRect(std::size_t(row)); }, 100,
                       [this](int row) { m_state.toggleQueue(held(m_nodes[std::size_t(row)])); });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The toggles follow the queue at once, whoever changed it.
    connect(&m_state, &AppState::queueChanged, this, qOverload<>(&QWidget::update));
}

double StaleList::rowHeight() {
    const double texts = nameHeight() + ageHeight();
    return std::ceil(
        std::max({texts, NodeGlyph::frameSize(glyphSize).height(), SymbolImage::size(toggleSize).height()}) +
        2 * insetY);
}

void StaleList::setNodes(AppState::NodePtr keeper, std::vector<const FileNode*> nodes) {
    m_keeper = std::move(keeper);
    m_nodes = std::move(nodes);
    m_cursor.setCurrent(0);
    m_cursor.rowsChanged();
    updateGeometry();
    resize(width(), sizeHint().height());
    update();
}

AppState::NodePtr StaleList::held(const FileNode* node) const { return share(m_keeper, node); }

QSize StaleList::sizeHint() const {
    if (m_nodes.empty()) return {0, 0};
    const double n = static_cast<double>(m_nodes.size());
    return {0, int(std::ceil(n * rowHeight() + (n - 1) * rowSpacing))};
}

QRectF StaleList::rowRect(std::size_t index) const {
    return {0, static_cast<double>(index) * (rowHeight() + rowSpacing), static_cast<double>(width()), rowHeight()};
}

QRectF StaleList::toggleRect(std::size_t index) const {
    const QRectF row = rowRect(index);
    const QSizeF box = SymbolImage::size(toggleSize);
    return {row.right() - insetX - box.width(), row.center().y() - box.height() / 2, box.width(), box.height()};
}

int StaleList::rowAt(QPointF point) const {
    if (m_nodes.empty() || point.y() < 0 || point.x() < 0 || point.x() >= width()) return -1;
    const auto index = static_cast<std::size_t>(point.y() / (rowHeight() + rowSpacing));
    if (index >= m_nodes.size() || point.y() >= rowRect(index).bottom()) return -1;
    return static_cast<int>(index);
}

QString StaleList::ageText(const FileNode& node) const {
    return QString::fromStdString(ByteFormat::relative(node.modified));
}

void StaleList::paintEvent(QPaintEvent* event) {
    if (m_nodes.empty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const double stride = rowHeight() + rowSpacing;
    const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(event->rect().top() / stride)));
    const auto last =
        std::min(m_nodes.size(), static_cast<std::size_t>(std::ceil((event->rect().bottom() + 1) / stride)) + 1);
    for (std::size_t index = first; index < last; ++index) paintRow(painter, index);
    m_cursor.paint(painter, theme(), hoverRadius);
}

void StaleList::paintRow(QPainter& painter, std::size_t index) const {
    const Theme& colors = theme();
    const FileNode& node = *m_nodes[index];
    const QRectF row = rowRect(index);
    if (static_cast<int>(index) == m_hoveredRow)
        ShapePaint::fillRounded(painter, row, hoverRadius, colors.surfaceRaised);

    const QRectF content = row.adjusted(insetX, insetY, -insetX, -insetY);
    const double glyphWidth = NodeGlyph::frameSize(glyphSize).width();
    NodeGlyph::paint(painter, QRectF(content.left(), content.top(), glyphWidth, content.height()), colors, node,
                     glyphSize);

    const QRectF toggle = toggleRect(index);
    const bool queued = m_state.isQueued(&node);
    SymbolImage::draw(painter, toggle, queued ? "checkmark.circle.fill" : "plus.circle", toggleSize, toggleWeight(),
                      queued ? colors.danger : colors.textTertiary);

    const TextDraw::Style sizeStyle{
        .font = sizeFont(), .color = colors.textSecondary, .alignment = Qt::AlignRight | Qt::AlignVCenter};
    const QString size = DisplayText::sizeText(node.bytes(m_state.useAllocatedSize()));
    const double sizeWidth = std::ceil(TextDraw::width(size, sizeStyle));
    const double sizeRight = toggle.left() - spacing;
    TextDraw::draw(painter, QRectF(sizeRight - sizeWidth, content.top(), sizeWidth, content.height()), size, sizeStyle);

    const double textLeft = content.left() + glyphWidth + spacing;
    const double textRight = sizeRight - sizeWidth - spacing - minimumGap - spacing;
    const double textWidth = std::max(textRight - textLeft, 0.0);
    const double textTop = content.center().y() - (nameHeight() + ageHeight()) / 2;
    TextDraw::draw(painter, QRectF(textLeft, textTop, textWidth, nameHeight()), TextDraw::oneLine(node.name()),
                   {.font = nameFont(), .color = colors.text, .truncation = TextDraw::Truncation::middle});
    TextDraw::draw(painter, QRectF(textLeft, textTop + nameHeight(), textWidth, ageHeight()), ageText(node),
                   {.font = ageFont(), .color = colors.textTertiary});
}

void StaleList::setHoveredRow(int row) {
    if (row == m_hoveredRow) return;
    const int previous = m_hoveredRow;
    m_hoveredRow = row;
    for (int index : {previous, row})
        if (index >= 0) RepaintArea::update(*this, rowRect(static_cast<std::size_t>(index)));
}

void StaleList::mouseMoveEvent(QMouseEvent* event) {
    setHoveredRow(rowAt(event->position()));
    ThemedWidget::mouseMoveEvent(event);
}

void StaleList::leaveEvent(QEvent* event) {
    setHoveredRow(-1);
    ThemedWidget::leaveEvent(event);
}

void StaleList::mousePressEvent(QMouseEvent* event) {
    const int row = rowAt(event->position());
    if (event->button() == Qt::LeftButton && row >= 0 &&
        toggleRect(static_cast<std::size_t>(row))
            .adjusted(-toggleSlop, -toggleSlop, toggleSlop, toggleSlop)
            .contains(event->position())) {
        m_state.toggleQueue(held(m_nodes[static_cast<std::size_t>(row)]));
        return;
    }
    ThemedWidget::mousePressEvent(event);
}

void StaleList::contextMenuEvent(QContextMenuEvent* event) {
    const bool byKeys = event->reason() == QContextMenuEvent::Keyboard;
    const int row = byKeys ? m_cursor.current() : rowAt(event->pos());
    if (row < 0) return;
    if (QMenu* menu = NodeContextMenu::create(m_state, held(m_nodes[static_cast<std::size_t>(row)]), this))
        menu->popup(byKeys ? m_cursor.menuPoint() : event->globalPos());
}

bool StaleList::event(QEvent* event) {
    // Space is the row's (which does nothing), not the window's preview of the selection.
    if (RowCursor::takeKey(event, Qt::Key_Space)) return true;
    return ThemedWidget::event(event);
}

void StaleList::keyPressEvent(QKeyEvent* event) {
    if (m_cursor.move(event)) return event->accept();
    ThemedWidget::keyPressEvent(event);
}

} // namespace tallymere
