#include "views/explore/TableBody.h"

#include "core/ByteFormat.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/NodeContextMenu.h"
#include "views/components/NodeGlyph.h"
#include "views/components/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/components/ThemedScrollBar.h"
#include "views/explore/TableColumns.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QDateTime>
#include <QFontMetricsF>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double glyphSize = 12;
constexpr double toggleSymbolSize = 12;
constexpr double chevronSize = 7;
constexpr double nameSpacing = 7;
const QString dash = QStringLiteral("—");

QFont nameFont() { return Typography::font(11.5, QFont::Normal); }
QFont sizeFont() { return Typography::font(11, QFont::DemiBold); }
QFont detailFont() { return Typography::font(10.5, QFont::Normal); }

} // namespace

TableBody::TableBody(AppState& state, QWidget* parent) : QAbstractScrollArea(parent), m_state(state) {
    setFrameShape(QFrame::NoFrame);
    ThemedScrollBar::install(this);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(rowHeight());
    connect(&m_state, &AppState::queueChanged, viewport(), qOverload<>(&QWidget::update));
    connect(&m_state, &AppState::useAllocatedSizeChanged, viewport(), qOverload<>(&QWidget::update));
}

void TableBody::setTheme(const Theme& theme) {
    m_theme = theme;
    viewport()->update();
}

void TableBody::setRows(std::vector<const FileNode*> rows) {
    m_rows = std::move(rows);
    if (m_hover >= static_cast<int>(m_rows.size())) m_hover = -1;
    updateScrollRange();
    viewport()->update();
}

int TableBody::rowHeight() {
    const double tallest = std::max({QFontMetricsF(nameFont()).height(), QFontMetricsF(sizeFont()).height(),
                                     NodeGlyph::frameSize(glyphSize).height(), SymbolImage::size(toggleSymbolSize).height()});
    return static_cast<int>(std::ceil(tallest + 10));
}

int TableBody::rowAt(QPointF point) const {
    if (point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width()) return -1;
    const int row = static_cast<int>((point.y() + verticalScrollBar()->value()) / rowHeight());
    return row < static_cast<int>(m_rows.size()) ? row : -1;
}

QRectF TableBody::rowRect(int row) const {
    return {0, static_cast<double>(row * rowHeight() - verticalScrollBar()->value()),
            static_cast<double>(viewport()->width()), static_cast<double>(rowHeight())};
}

QRectF TableBody::toggleRect(int row) const {
    const auto span = TableColumns::spans(viewport()->width())[5];
    const QRectF line = rowRect(row);
    return {span.left, line.top(), span.width, line.height()};
}

void TableBody::updateScrollRange() {
    const int content = static_cast<int>(m_rows.size()) * rowHeight();
    verticalScrollBar()->setRange(0, std::max(0, content - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
}

void TableBody::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void TableBody::scrollContentsBy(int, int) {
    // The line under a still pointer changes as the lines move under it.
    if (viewport()->underMouse()) setHover(rowAt(viewport()->mapFromGlobal(QCursor::pos())));
    viewport()->update();
}

void TableBody::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const int height = rowHeight();
    const int offset = verticalScrollBar()->value();
    const int first = std::max(0, (event->rect().top() + offset) / height);
    const int last = std::min(static_cast<int>(m_rows.size()) - 1, (event->rect().bottom() + offset) / height);
    const double now = static_cast<double>(QDateTime::currentSecsSinceEpoch());
    m_painted = 0;
    for (int row = first; row <= last; ++row) {
        paintRow(painter, row, rowRect(row), now);
        ++m_painted;
    }
}

void TableBody::paintRow(QPainter& painter, int row, const QRectF& rect, double now) {
    const FileNode& node = *m_rows[static_cast<std::size_t>(row)];
    const Theme& t = m_theme;
    const bool hovering = row == m_hover;
    if (hovering) painter.fillRect(rect, ShapePaint::withOpacity(t.surfaceRaised, 0.55));
    painter.fillRect(QRectF(rect.left(), rect.bottom() - 0.5, rect.width(), 0.5), ShapePaint::withOpacity(t.stroke, 0.35));

    const auto spans = TableColumns::spans(rect.width());
    const auto cell = [&](int i) {
        const auto& s = spans[static_cast<std::size_t>(i)];
        return QRectF(s.left, rect.top() + 5, s.width, rect.height() - 10);
    };

    // Name: glyph, name, and for a plain folder a chevron that shows under the pointer. The chevron
    // keeps its place when hidden, so the name never shifts.
    const QRectF name = cell(0);
    const QSizeF glyph = NodeGlyph::frameSize(glyphSize);
    NodeGlyph::paint(painter, QRectF(name.left(), name.center().y() - glyph.height() / 2, glyph.width(), glyph.height()),
                     t, node, glyphSize);
    const bool plainFolder = node.isDirectory && !node.isPackage;
    const QSizeF chevron = SymbolImage::size(chevronSize);
    const double textLeft = name.left() + glyph.width() + nameSpacing;
    const double room = name.right() - textLeft - (plainFolder ? nameSpacing + chevron.width() : 0);
    TextDraw::Style nameStyle{nameFont(), t.text};
    nameStyle.truncation = TextDraw::Truncation::middle;
    const QRectF drawn = TextDraw::draw(painter, QRectF(textLeft, name.top(), std::max(0.0, room), name.height()),
                                        TextDraw::oneLine(node.name()), nameStyle);
    if (plainFolder && hovering) {
        const double x = (drawn.isEmpty() ? textLeft : drawn.right()) + nameSpacing;
        SymbolImage::draw(painter, QRectF(x, name.center().y() - chevron.height() / 2, chevron.width(), chevron.height()),
                          "chevron.right", chevronSize, QFont::Bold, t.textTertiary);
    }

    const Qt::Alignment trailing = Qt::AlignRight | Qt::AlignVCenter;
    TextDraw::draw(painter, cell(1), DisplayText::sizeText(node.bytes(m_state.useAllocatedSize())),
                   {sizeFont(), t.text, trailing});
    const QString items = node.isDirectory ? QLocale::system().toString(static_cast<qlonglong>(node.fileCount)) : dash;
    TextDraw::draw(painter, cell(2), items, {detailFont(), t.textSecondary, trailing});
    TextDraw::draw(painter, cell(3), QString::fromLatin1(TableRows::kindText(node)), {detailFont(), t.textSecondary});
    const QString modified = node.modified > 0 ? QString::fromStdString(ByteFormat::relative(node.modified, now)) : dash;
    TextDraw::draw(painter, cell(4), modified, {detailFont(), t.textTertiary});

    const bool queued = m_state.isQueued(&node);
    const QColor toggle = queued ? t.danger : ShapePaint::withOpacity(t.textTertiary, hovering ? 1.0 : 0.3);
    const QRectF slot = toggleRect(row);
    const QSizeF symbol = SymbolImage::size(toggleSymbolSize);
    SymbolImage::draw(painter,
                      QRectF(slot.center().x() - symbol.width() / 2, slot.center().y() - symbol.height() / 2,
                             symbol.width(), symbol.height()),
                      queued ? "checkmark.circle.fill" : "plus.circle", toggleSymbolSize, QFont::Normal, toggle);
}

void TableBody::setHover(int row) {
    if (row == m_hover) return;
    const int old = m_hover;
    m_hover = row;
    if (old >= 0) viewport()->update(rowRect(old).toAlignedRect());
    if (row >= 0) {
        viewport()->update(rowRect(row).toAlignedRect());
        m_state.setHovered(m_state.retain(m_rows[static_cast<std::size_t>(row)]));
    }
}

void TableBody::mouseMoveEvent(QMouseEvent* event) { setHover(rowAt(event->position())); }

bool TableBody::viewportEvent(QEvent* event) {
    // The line loses its highlight; the store keeps the node until something else is hovered.
    if (event->type() == QEvent::Leave) setHover(-1);
    return QAbstractScrollArea::viewportEvent(event);
}

void TableBody::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int row = rowAt(event->position());
    setHover(row);
    if (row < 0) return;
    if (toggleRect(row).contains(event->position())) {
        m_pressedToggle = row; // the toggle takes its click without selecting the line
        return;
    }
    m_state.setSelection(m_state.retain(m_rows[static_cast<std::size_t>(row)]));
}

void TableBody::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int pressed = m_pressedToggle;
    m_pressedToggle = -1;
    if (pressed >= 0 && pressed < static_cast<int>(m_rows.size()) && toggleRect(pressed).contains(event->position()))
        m_state.toggleQueue(m_state.retain(m_rows[static_cast<std::size_t>(pressed)]));
}

void TableBody::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int row = rowAt(event->position());
    if (row < 0) return;
    if (toggleRect(row).contains(event->position())) {
        m_pressedToggle = row; // the second click of a quick pair toggles again
        return;
    }
    const FileNode* node = m_rows[static_cast<std::size_t>(row)];
    if (node->isDirectory && node->hasChildren()) m_state.drill(m_state.retain(node));
    else m_state.desktop().reveal({node->path()});
}

void TableBody::contextMenuEvent(QContextMenuEvent* event) {
    const int row = rowAt(event->pos());
    if (row < 0) return;
    if (QMenu* menu = NodeContextMenu::create(m_state, m_state.retain(m_rows[static_cast<std::size_t>(row)]), this))
        menu->popup(event->globalPos());
}

} // namespace tallymere
