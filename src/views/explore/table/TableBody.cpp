#include "views/explore/table/TableBody.h"

#include "core/ByteFormat.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/ItemButton.h"
#include "views/components/NodeContextMenu.h"
#include "views/components/NodeGlyph.h"
#include "views/components/RepaintArea.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/components/controls/ThemedScrollBar.h"
#include "views/explore/table/TableColumns.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDateTime>
#include <QFontMetricsF>
#include <QKeyEvent>
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
constexpr double selectionOpacity = 0.12;
constexpr double focusRadius = 4;

QFont nameFont() { return Typography::font(11.5, QFont::Normal); }
QFont sizeFont() { return Typography::font(11, QFont::DemiBold); }
QFont detailFont() { return Typography::font(10.5, QFont::Normal); }

// The toggle's symbol, centred in its slot.
QRectF symbolIn(const QRectF& slot) {
    const QSizeF symbol = SymbolImage::size(toggleSymbolSize);
    return {slot.center().x() - symbol.width() / 2, slot.center().y() - symbol.height() / 2, symbol.width(),
            symbol.height()};
}

} // namespace

TableBody::TableBody(AppState& state, QWidget* parent)
    : QAbstractScrollArea(parent), m_state(state), m_toggleKey(new ItemButton([this] {
          if (const int row = selectedRow(); row >= 0) m_state.toggleQueue(m_state.retain(m_rows[std::size_t(row)]));
      }, this, viewport())) {
    m_toggleKey->setObjectName(QStringLiteral("stageToggle"));
    // The line whose toggle holds the keyboard stays marked; it goes when the keyboard leaves.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* was, QWidget* now) {
        if (was == m_toggleKey || now == m_toggleKey) viewport()->update();
    });
    setFrameShape(QFrame::NoFrame);
    ThemedScrollBar::install(this);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(rowHeight());
    // Tab and a click give the lines the keyboard; the arrows then walk the selection.
    setFocusPolicy(Qt::StrongFocus);
    // A click gives them the keyboard unmarked; the ring and the marked line come with the keys.
    FocusRing::follow(this, viewport());
    connect(&m_state, &AppState::queueChanged, viewport(), qOverload<>(&QWidget::update));
    // The selected line is marked only while the lines hold the keyboard by the keyboard's doing.
    connect(&m_state, &AppState::selectionChanged, this, [this] {
        if (hasFocus()) viewport()->update();
    });
    connect(&m_state, &AppState::useAllocatedSizeChanged, viewport(), qOverload<>(&QWidget::update));
}

void TableBody::setTheme(const Theme& theme) {
    m_theme = theme;
    viewport()->update();
}

void TableBody::setRows(std::vector<const FileNode*> rows) {
    m_rows = std::move(rows);
    // The lines are new: the one under a still pointer is hovered, not the old line's place.
    m_hover = -1;
    updateScrollRange();
    placeToggleKey();
    if (viewport()->underMouse()) setHover(rowAt(viewport()->mapFromGlobal(QCursor::pos())));
    // A line this table hovered and no longer lists is under no pointer: the store lets it go,
    // so the inspector describes the folder entered rather than a line that has gone.
    const FileNode* hovered = m_state.hovered().get();
    if (m_hover < 0 && hovered && hovered == m_published && std::find(m_rows.begin(), m_rows.end(), hovered) == m_rows.end())
        m_state.setHovered(nullptr);
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
    placeToggleKey();
}

void TableBody::scrollContentsBy(int, int) {
    placeToggleKey();
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
    // What every line shares is worked out once a paint: the fonts, the columns, the clock.
    const RowPaint shared{static_cast<double>(QDateTime::currentSecsSinceEpoch()),
                          TableColumns::spans(viewport()->width()),
                          nameFont(),
                          sizeFont(),
                          detailFont()};
    const bool ringed = FocusRing::shown(this);
    const int marked = ringed || m_toggleKey->hasFocus() ? selectedRow() : -1;
    m_painted = 0;
    for (int row = first; row <= last; ++row) {
        const QRectF rect(0, static_cast<double>(row * height - offset), viewport()->width(), height);
        paintRow(painter, row, rect, shared, row == marked);
        ++m_painted;
    }
    if (ringed) FocusRing::paint(painter, QRectF(viewport()->rect()), focusRadius, m_theme);
}

void TableBody::paintRow(QPainter& painter, int row, const QRectF& rect, const RowPaint& shared, bool marked) {
    const FileNode& node = *m_rows[static_cast<std::size_t>(row)];
    const Theme& t = m_theme;
    const bool hovering = row == m_hover;
    if (hovering) painter.fillRect(rect, ShapePaint::withOpacity(t.surfaceRaised, 0.55));
    if (marked) painter.fillRect(rect, ShapePaint::withOpacity(t.accent, selectionOpacity));
    painter.fillRect(QRectF(rect.left(), rect.bottom() - 0.5, rect.width(), 0.5), ShapePaint::withOpacity(t.stroke, 0.35));

    const auto& spans = shared.spans;
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
    TextDraw::Style nameStyle{shared.nameFont, t.text};
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
                   {shared.sizeFont, t.text, trailing});
    const QString items = node.isDirectory ? QLocale::system().toString(static_cast<qlonglong>(node.fileCount)) : dash;
    TextDraw::draw(painter, cell(2), items, {shared.detailFont, t.textSecondary, trailing});
    TextDraw::draw(painter, cell(3), QString::fromLatin1(TableRows::kindText(node)), {shared.detailFont, t.textSecondary});
    const QString modified =
        node.modified > 0 ? QString::fromStdString(ByteFormat::relative(node.modified, shared.now)) : dash;
    TextDraw::draw(painter, cell(4), modified, {shared.detailFont, t.textTertiary});

    const bool queued = m_state.isQueued(&node);
    // The toggle the keyboard is on shows at full strength, as under the pointer.
    const bool lit = hovering || (marked && m_toggleKey->hasFocus());
    const QColor toggle = queued ? t.danger : ShapePaint::withOpacity(t.textTertiary, lit ? 1.0 : 0.3);
    SymbolImage::draw(painter, symbolIn(QRectF(spans[5].left, rect.top(), spans[5].width, rect.height())),
                      queued ? "checkmark.circle.fill" : "plus.circle", toggleSymbolSize, QFont::Normal, toggle);
}

void TableBody::setHover(int row) {
    if (row == m_hover) return;
    const int old = m_hover;
    m_hover = row;
    if (old >= 0) RepaintArea::update(*viewport(), rowRect(old));
    if (row >= 0) {
        RepaintArea::update(*viewport(), rowRect(row));
        m_published = m_rows[static_cast<std::size_t>(row)];
        m_state.setHovered(m_state.retain(m_published));
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
    open(row);
}

void TableBody::open(int row) {
    const FileNode* node = m_rows[static_cast<std::size_t>(row)];
    if (node->isDirectory && node->hasChildren()) m_state.drill(m_state.retain(node));
    else m_state.desktop().reveal({node->path()});
}

int TableBody::selectedRow() const {
    const FileNode* selected = m_state.selection().get();
    if (!selected) return -1;
    const auto found = std::find(m_rows.begin(), m_rows.end(), selected);
    return found == m_rows.end() ? -1 : static_cast<int>(found - m_rows.begin());
}

void TableBody::scrollToRow(int row) {
    QScrollBar* bar = verticalScrollBar();
    const int top = row * rowHeight();
    const int bottom = top + rowHeight();
    if (top < bar->value()) bar->setValue(top);
    else if (bottom > bar->value() + viewport()->height()) bar->setValue(bottom - viewport()->height());
}

void TableBody::placeToggleKey() {
    if (!m_toggleKey->hasFocus()) return;
    const int row = selectedRow();
    m_toggleKey->place(row >= 0 ? symbolIn(toggleRect(row)) : QRectF(), 100);
    if (row >= 0) return;
    setFocus(Qt::OtherFocusReason);
    FocusRing::setShown(this, true);
}

void TableBody::keyPressEvent(QKeyEvent* event) {
    const int count = static_cast<int>(m_rows.size());
    const int current = selectedRow();
    // A page is the lines the viewport shows whole, less one kept in view for context.
    const int page = std::max(1, viewport()->height() / rowHeight() - 1);
    int target = -1;
    switch (event->key()) {
    case Qt::Key_Up: target = current < 0 ? 0 : current - 1; break;
    case Qt::Key_Down: target = current < 0 ? 0 : current + 1; break;
    case Qt::Key_PageUp: target = current < 0 ? 0 : current - page; break;
    case Qt::Key_PageDown: target = current < 0 ? 0 : current + page; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = count - 1; break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (current >= 0) open(current);
        event->accept();
        return;
    case Qt::Key_Right:
        if (current >= 0) {
            scrollToRow(current);
            m_toggleKey->place(symbolIn(toggleRect(current)), 100);
            m_toggleKey->enter();
        }
        event->accept();
        return;
    default: return QAbstractScrollArea::keyPressEvent(event);
    }
    event->accept();
    if (count == 0) return;
    target = std::clamp(target, 0, count - 1);
    scrollToRow(target);
    if (target != current) m_state.setSelection(m_state.retain(m_rows[static_cast<std::size_t>(target)]));
}

void TableBody::contextMenuEvent(QContextMenuEvent* event) {
    // By the keyboard, the menu is the selected line's, opened on that line.
    const bool byKeys = event->reason() == QContextMenuEvent::Keyboard;
    const int row = byKeys ? selectedRow() : rowAt(event->pos());
    if (row < 0) return;
    if (byKeys) scrollToRow(row);
    const QPoint at = byKeys ? viewport()->mapToGlobal(rowRect(row).bottomLeft().toPoint() + QPoint(24, 0))
                             : event->globalPos();
    if (QMenu* menu = NodeContextMenu::create(m_state, m_state.retain(m_rows[static_cast<std::size_t>(row)]), this))
        menu->popup(at);
}

} // namespace tallymere
