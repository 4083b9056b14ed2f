#include "views/shell/cleanup/CleanupQueueList.h"

#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/NodeGlyph.h"
#include "views/components/TextDraw.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/ListScroll.h"
#include "views/components/controls/RowCursor.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double horizontalPadding = 14;
constexpr double verticalPadding = 5;
constexpr double rowGap = 1;
constexpr double spacing = 8;
constexpr double glyphSize = 11;
constexpr double removeSize = 11;

QFont nameFont() { return Typography::font(11, QFont::Medium); }
QFont sizeFont() { return Typography::font(11, QFont::DemiBold); }
QFont failureFont() { return Typography::font(10, QFont::Medium); }
QFont pathFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(9);
    return font;
}

} // namespace

double CleanupQueueList::rowHeight() {
    const double text = QFontMetricsF(nameFont()).height() + QFontMetricsF(pathFont()).height();
    return std::ceil(std::max(text, SymbolImage::size(glyphSize).height()) + 2 * verticalPadding);
}

// Every row painted on one canvas as tall as the list; the scroll area shows a window of it.
class CleanupQueueList::Rows : public ThemedWidget {
public:
    Rows(AppState& state, QWidget* parent)
        : ThemedWidget(parent), m_state(state),
          m_cursor(this, [this] { return count(); }, [this](int row) { return rowRect(std::size_t(row)); }) {
        // One stop of Tab: the arrows walk the rows and Delete unstages the one ringed; Right
        // reaches its button, which Space or Return press.
        setObjectName(QStringLiteral("staged"));
        setFocusPolicy(Qt::TabFocus);
        m_cursor.setButton([this](int row) { return removeRect(std::size_t(row)); }, 100,
                           [this](int row) { unstage(std::size_t(row)); });
    }

    int current() const { return std::max(m_cursor.current(), 0); }
    void rowsChanged() { m_cursor.rowsChanged(); }

    int count() const { return static_cast<int>(m_state.queue().size()); }
    QRectF rowRect(std::size_t index) const {
        const double h = rowHeight();
        return {0, static_cast<double>(index) * (h + rowGap), static_cast<double>(width()), h};
    }
    QRectF removeRect(std::size_t index) const {
        const QRectF row = rowRect(index);
        const QSizeF box = SymbolImage::size(removeSize);
        return {row.right() - horizontalPadding - box.width(), row.center().y() - box.height() / 2, box.width(),
                box.height()};
    }
    int contentHeight() const {
        const int n = count();
        return n == 0 ? 0 : int(std::ceil(n * rowHeight() + (n - 1) * rowGap));
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const Theme& t = theme();
        painter.fillRect(rect(), t.surface);
        const bool allocated = m_state.useAllocatedSize();
        const QFontMetricsF nameMetrics(nameFont()), pathMetrics(pathFont()), sizeMetrics(sizeFont());
        const auto& queue = m_state.queue();
        for (std::size_t i = 0; i < queue.size(); ++i) {
            const QRectF row = rowRect(i);
            if (!row.intersects(event->rect())) continue;
            const FileNode& node = *queue[i];
            painter.fillRect(row, t.background);
            const QRectF inner = row.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);

            const QSizeF glyph = NodeGlyph::frameSize(glyphSize);
            NodeGlyph::paint(painter, QRectF(inner.left(), inner.center().y() - glyph.height() / 2, glyph.width(),
                                             glyph.height()),
                             t, node, glyphSize);

            const QRectF remove = removeRect(i);
            SymbolImage::draw(painter, remove, "xmark.circle.fill", removeSize, QFont::Normal, t.textTertiary);


            const QString size = DisplayText::sizeText(node.bytes(allocated));
            const double sizeWidth = sizeMetrics.horizontalAdvance(size);
            const double sizeRight = remove.left() - spacing;
            painter.setFont(sizeFont());
            painter.setPen(t.textSecondary);
            painter.drawText(QRectF(sizeRight - sizeWidth - 1, inner.top(), sizeWidth + 1, inner.height()),
                             Qt::AlignRight | Qt::AlignVCenter, size);

            const double textLeft = inner.left() + glyph.width() + spacing;
            const double room = std::max(sizeRight - sizeWidth - 6 - textLeft, 0.0);
            const double textTop = inner.center().y() - (nameMetrics.height() + pathMetrics.height()) / 2;
            // An item the last emptying could not move says why beside its name; a long name gives
            // way to the reason, down to half the row.
            const auto failure = m_state.trashFailure(&node);
            const QString reason = failure ? TextDraw::oneLine(*failure) : QString();
            double nameRoom = room;
            if (failure) {
                const double reasonWidth = std::ceil(QFontMetricsF(failureFont()).horizontalAdvance(reason));
                nameRoom = std::max(room - reasonWidth - spacing, room / 2);
            }
            const QRectF nameBox(textLeft, textTop, nameRoom, nameMetrics.height());
            const QRectF nameUsed =
                TextDraw::draw(painter, nameBox, TextDraw::oneLine(node.name()), TextDraw::Style{nameFont(), t.text});
            if (failure) {
                const double left = std::max(nameUsed.right(), nameBox.left()) + spacing;
                const QRectF box(left, nameBox.top(), std::max(textLeft + room - left, 0.0), nameBox.height());
                TextDraw::draw(painter, box, reason, TextDraw::Style{failureFont(), t.warning});
            }
            TextDraw::Style pathStyle{pathFont(), t.textTertiary};
            pathStyle.truncation = TextDraw::Truncation::head;
            TextDraw::draw(painter, QRectF(textLeft, textTop + nameMetrics.height(), room, pathMetrics.height()),
                           TextDraw::oneLine(node.path()), pathStyle);
        }
        m_cursor.paint(painter, t, 4);
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        const auto& queue = m_state.queue();
        for (std::size_t i = 0; i < queue.size(); ++i) {
            // A generous target: the symbol's box grown a little, as a finger-sized button would be.
            if (!removeRect(i).adjusted(-4, -4, 4, 4).contains(event->position())) continue;
            unstage(i);
            return;
        }
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (m_cursor.move(event)) return event->accept();
        switch (event->modifiers() == Qt::NoModifier ? event->key() : 0) {
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            if (count() > 0) unstage(std::size_t(current()));
            return event->accept();
        // The row itself, like a click on it, does nothing: its button unstages.
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter: return event->accept();
        default: return ThemedWidget::keyPressEvent(event);
        }
    }

    bool event(QEvent* event) override {
        // Space is the list's rather than the window's preview of the selection.
        if (RowCursor::takeKey(event, Qt::Key_Space)) return true;
        return ThemedWidget::event(event);
    }

private:
    void unstage(std::size_t index) {
        const auto& queue = m_state.queue();
        if (index >= queue.size()) return;
        const AppState::NodePtr item = queue[index];
        std::vector<AppState::NodePtr> rest;
        for (const AppState::NodePtr& other : queue)
            if (other != item) rest.push_back(other);
        m_state.setQueue(std::move(rest));
    }

    AppState& m_state;
    RowCursor m_cursor;
};

CleanupQueueList::CleanupQueueList(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_scroll(new QScrollArea(this)), m_rows(new Rows(state, nullptr)) {
    m_scroll->setFrameShape(QFrame::NoFrame);
    ListScroll::style(m_scroll);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(m_rows);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 1, 0, 0); // the top hairline
    layout->addWidget(m_scroll);

    auto relayout = [this] {
        m_rows->setFixedHeight(m_rows->contentHeight());
        m_rows->rowsChanged();
        m_rows->update();
        updateGeometry();
    };
    connect(&m_state, &AppState::queueChanged, this, relayout);
    connect(&m_state, &AppState::useAllocatedSizeChanged, m_rows, [this] { m_rows->update(); });
    relayout();
}

int CleanupQueueList::naturalHeight() const { return std::min(m_rows->contentHeight() + 1, maxHeight); }
int CleanupQueueList::rowCount() const { return m_rows->count(); }
QRectF CleanupQueueList::rowRect(std::size_t index) const { return m_rows->rowRect(index); }
QRectF CleanupQueueList::removeRect(std::size_t index) const { return m_rows->removeRect(index); }
QWidget* CleanupQueueList::canvas() const { return m_rows; }

void CleanupQueueList::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(QRectF(0, 0, width(), 1), theme().stroke);
}

} // namespace tallymere
