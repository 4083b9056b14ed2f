#include "views/explore/bars/BarsList.h"

#include "layout/PercentText.h"
#include "layout/TopSizesRanking.h"
#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/controls/Chip.h"
#include "views/components/NodeGlyph.h"
#include "views/components/NodeContextMenu.h"
#include "views/components/NodeInteraction.h"
#include "views/components/RepaintArea.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

// Row columns, left to right, 10 apart.
constexpr double columnSpacing = 10;
constexpr double rankWidth = 24;
constexpr double glyphSize = 13;
constexpr double countWidth = 86;
constexpr double shareWidth = 48;
constexpr double sizeWidth = 78;
constexpr double barHeight = 28;
constexpr double barRadius = 6;
constexpr double labelInset = 9;
constexpr double labelSpacing = 6;
constexpr double minimumLabelGap = 4;
constexpr double hoverRadius = 8;

const QString cloudText = QStringLiteral("In iCloud");
const std::optional<std::string> cloudSymbol = std::string("icloud");

double glyphWidth() { return NodeGlyph::frameSize(glyphSize).width(); }

TextDraw::Style rankStyle(const Theme& theme) {
    return {.font = Typography::font(10, QFont::Bold),
            .color = ShapePaint::withOpacity(theme.textTertiary, 0.7),
            .alignment = Qt::AlignRight | Qt::AlignVCenter,
            .monospacedDigits = true};
}

TextDraw::Style nameStyle(const Theme& theme) {
    return {
        .font = Typography::font(11.5, QFont::Medium), .color = theme.text, .truncation = TextDraw::Truncation::middle};
}

TextDraw::Style trailingStyle(double size, QFont::Weight weight, const QColor& color) {
    return {.font = Typography::font(size, weight), .color = color, .alignment = Qt::AlignRight | Qt::AlignVCenter};
}

} // namespace

BarsList::BarsList(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_cursor(this, [this] { return int(m_rows.size()); }, [this](int row) { return rowRect(std::size_t(row)); }) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    // Owned by the list; rows are nodes of the tree the list keeps alive.
    new NodeInteraction(state, this, [this](QPointF point) -> const FileNode* {
        const int row = rowAt(point);
        return row < 0 ? nullptr : m_rows[static_cast<std::size_t>(row)];
    });
    // Installed after the interaction, so it sees the clicks first.
    installEventFilter(this);
}

bool BarsList::eventFilter(QObject* watched, QEvent* event) {
    if (watched != this) return false;
    QPointF at;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: at = static_cast<QMouseEvent*>(event)->position(); break;
    case QEvent::ContextMenu: {
        auto* request = static_cast<QContextMenuEvent*>(event);
        // The keyboard's menu is the ringed row's, opened by the list itself.
        if (request->reason() != QContextMenuEvent::Mouse) {
            contextMenuEvent(request);
            return true;
        }
        at = request->pos();
        break;
    }
    default: return false;
    }
    if (rowAt(at) >= 0) return false;
    // Only the rows answer clicks: a click beside them leaves the selection and opens no menu.
    return true;
}

void BarsList::setRows(AppState::NodePtr keeper, std::vector<const FileNode*> rows) {
    m_keeper = std::move(keeper);
    m_rows = std::move(rows);
    m_maxValue = m_rows.empty() ? 0 : m_rows.front()->bytes(m_state.useAllocatedSize());
    m_cursor.setCurrent(0);
    // Resized here rather than left to the scroll area, so its scroll range follows at once.
    updateGeometry();
    resize(width(), sizeHint().height());
    update();
}

QSize BarsList::sizeHint() const {
    if (m_rows.empty()) return {0, 0};
    const double n = static_cast<double>(m_rows.size());
    return {0, int(std::ceil(n * rowHeight + (n - 1) * rowSpacing + bottomInset))};
}

QRectF BarsList::rowRect(std::size_t index) const {
    return {sideInset, static_cast<double>(index) * (rowHeight + rowSpacing), std::max(width() - 2 * sideInset, 0.0),
            rowHeight};
}

QRectF BarsList::trackRect(std::size_t index) const {
    const QRectF row = rowRect(index);
    const double left = row.left() + rankWidth + columnSpacing + glyphWidth() + columnSpacing;
    const double right = row.right() - (countWidth + shareWidth + sizeWidth + 3 * columnSpacing);
    return {left, row.center().y() - barHeight / 2, std::max(right - left, 0.0), barHeight};
}

QRectF BarsList::barRect(std::size_t index) const {
    const QRectF track = trackRect(index);
    const double fraction = TopSizesRanking::fraction(m_rows[index]->bytes(m_state.useAllocatedSize()), m_maxValue);
    return {track.left(), track.top(), std::max(track.width() * fraction, minimumBarWidth), track.height()};
}

QRectF BarsList::nameRect(std::size_t index) const {
    const QRectF track = trackRect(index);
    double right = track.right() - labelInset - minimumLabelGap - labelSpacing;
    if (TopSizesRanking::isInCloud(*m_rows[index])) right -= Chip::measure(cloudText, true).width() + labelSpacing;
    const double left = track.left() + labelInset;
    return {left, track.top(), std::max(right - left, 0.0), track.height()};
}

QRectF BarsList::cloudChipRect(std::size_t index) const {
    if (!TopSizesRanking::isInCloud(*m_rows[index])) return {};
    const QRectF name = nameRect(index);
    const QString text = TextDraw::oneLine(m_rows[index]->name());
    // The chip follows the name as drawn, which may be shorter than the room it had.
    const double nameWidth = std::min(TextDraw::fit(text, nameStyle(theme()), name.width()).width, name.width());
    const QSizeF size = Chip::measure(cloudText, true);
    return {name.left() + nameWidth + labelSpacing, name.center().y() - size.height() / 2, size.width(), size.height()};
}

int BarsList::rowAt(QPointF point) const {
    if (m_rows.empty() || point.y() < 0 || point.x() < sideInset || point.x() >= width() - sideInset) return -1;
    const auto index = static_cast<std::size_t>(point.y() / (rowHeight + rowSpacing));
    if (index >= m_rows.size() || point.y() >= rowRect(index).bottom()) return -1;
    return static_cast<int>(index);
}

QString BarsList::countText(const FileNode& node) const {
    if (!node.isDirectory) return {};
    return QLocale::system().toString(static_cast<qlonglong>(node.fileCount)) + QStringLiteral(" files");
}

QString BarsList::shareText(const FileNode& node) const {
    return QString::fromStdString(percentText(m_state.share(&node)));
}

QString BarsList::sizeText(const FileNode& node) const {
    return DisplayText::sizeText(node.bytes(m_state.useAllocatedSize()));
}

void BarsList::paintEvent(QPaintEvent* event) {
    if (m_rows.empty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    // Only the rows the exposed area touches.
    const double stride = rowHeight + rowSpacing;
    const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(event->rect().top() / stride)));
    const auto last =
        std::min(m_rows.size(), static_cast<std::size_t>(std::ceil((event->rect().bottom() + 1) / stride)) + 1);
    for (std::size_t index = first; index < last; ++index) paintRow(painter, index);
    // The size runs to the row's end: the ring goes beyond the row's sides, into the list's insets.
    m_cursor.paint(painter, theme(), hoverRadius + 4, QPointF(-4, 0));
}

bool BarsList::event(QEvent* event) {
    // Space selects the ringed row rather than previewing the selection.
    if (RowCursor::takeKey(event, Qt::Key_Space)) return true;
    return ThemedWidget::event(event);
}

void BarsList::keyPressEvent(QKeyEvent* event) {
    if (m_cursor.move(event)) return event->accept();
    const int row = m_cursor.current();
    if (row < 0 || (event->modifiers() & ~Qt::KeypadModifier)) return ThemedWidget::keyPressEvent(event);
    const AppState::NodePtr node = share(m_keeper, m_rows[std::size_t(row)]);
    switch (event->key()) {
    case Qt::Key_Space: m_state.setSelection(node); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: NodeInteraction::open(m_state, node); break;
    default: return ThemedWidget::keyPressEvent(event);
    }
    event->accept();
}

void BarsList::contextMenuEvent(QContextMenuEvent* event) {
    const int row = m_cursor.current();
    if (event->reason() == QContextMenuEvent::Mouse || row < 0) return;
    if (QMenu* menu = NodeContextMenu::create(m_state, share(m_keeper, m_rows[std::size_t(row)]), this))
        menu->popup(m_cursor.menuPoint());
}

void BarsList::paintRow(QPainter& painter, std::size_t index) const {
    const Theme& colors = theme();
    const FileNode& node = *m_rows[index];
    const QRectF row = rowRect(index);
    if (static_cast<int>(index) == m_hoveredRow) ShapePaint::fillRounded(painter, row, hoverRadius, colors.surface);

    double x = row.left();
    TextDraw::draw(painter, QRectF(x, row.top(), rankWidth, row.height()), QString::number(index + 1),
                   rankStyle(colors));
    x += rankWidth + columnSpacing;
    NodeGlyph::paint(painter, QRectF(x, row.top(), glyphWidth(), row.height()), colors, node, glyphSize);

    const QRectF track = trackRect(index);
    ShapePaint::fillRounded(painter, track, barRadius, colors.surfaceRaised);
    ShapePaint::fillRounded(painter, barRect(index), barRadius, colors.nodeColor(node, 1, false));

    // The label over the bar: the name, the cloud mark, then at least a small gap.
    const QRectF name = nameRect(index);
    TextDraw::draw(painter, name, TextDraw::oneLine(node.name()), nameStyle(colors));
    const QRectF chip = cloudChipRect(index);
    if (!chip.isEmpty()) Chip::paint(painter, chip, colors, cloudText, cloudSymbol, colors.accentSecondary);

    x = track.right() + columnSpacing;
    TextDraw::draw(painter, QRectF(x, row.top(), countWidth, row.height()), countText(node),
                   trailingStyle(9.5, QFont::Normal, colors.textTertiary));
    x += countWidth + columnSpacing;
    TextDraw::draw(painter, QRectF(x, row.top(), shareWidth, row.height()), shareText(node),
                   trailingStyle(10, QFont::Normal, colors.textTertiary));
    x += shareWidth + columnSpacing;
    TextDraw::draw(painter, QRectF(x, row.top(), sizeWidth, row.height()), sizeText(node),
                   trailingStyle(11.5, QFont::Bold, colors.text));
}

void BarsList::setHoveredRow(int row) {
    if (row == m_hoveredRow) return;
    const int previous = m_hoveredRow;
    m_hoveredRow = row;
    for (int index : {previous, row})
        if (index >= 0) RepaintArea::update(*this, rowRect(static_cast<std::size_t>(index)));
}

void BarsList::mouseMoveEvent(QMouseEvent* event) {
    setHoveredRow(rowAt(event->position()));
    ThemedWidget::mouseMoveEvent(event);
}

void BarsList::leaveEvent(QEvent* event) {
    setHoveredRow(-1);
    ThemedWidget::leaveEvent(event);
}

} // namespace tallymere
