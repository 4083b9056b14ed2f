#include "views/tools/snapshots/ComparisonPane.h"

#include "style/DateFormat.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/Chip.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/KeyStop.h"
#include "views/components/controls/ListScroll.h"
#include "views/components/TextDraw.h"
#include "views/tools/snapshots/DeltaList.h"
#include "views/tools/snapshots/DeltaRow.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>

#include <cmath>

namespace tallymere {

namespace {

constexpr double headerPaddingX = 16, headerPaddingY = 12;
constexpr double headerSpacing = 16;
constexpr double totalsSpacing = 8;
constexpr double arrowSize = 10;
constexpr double tileSize = 62;

QFont dateFont() { return Typography::font(11, QFont::Normal); }
QFont totalFont() { return Typography::font(16, QFont::DemiBold); }
QFont netFont() { return Typography::font(15, QFont::Bold); }
QFont resetFont() { return Typography::font(11, QFont::DemiBold); }
QFont placeholderTitleFont() { return Typography::font(17, QFont::DemiBold); }
QFont placeholderTextFont() { return Typography::font(11.5, QFont::Normal); }
QFont noChangeFont() { return Typography::font(13, QFont::DemiBold); }

double lineHeight(const QFont& font) { return QFontMetricsF(font).height(); }
double advance(const QFont& font, const QString& text) { return QFontMetricsF(font).horizontalAdvance(text); }

QString grewText(std::size_t n) { return QString::number(qulonglong(n)) + QStringLiteral(" grew"); }
QString shrankText(std::size_t n) { return QString::number(qulonglong(n)) + QStringLiteral(" shrank"); }

} // namespace

ComparisonPane::ComparisonPane(AppState& state, const SnapshotPairing& pairing, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_pairing(pairing),
      m_resetStop(new KeyStop([this] { emit resetRequested(); }, this)) {
    m_resetStop->setObjectName(QStringLiteral("reset"));
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    ListScroll::style(m_scroll);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list = new DeltaList(state, m_scroll);
    m_scroll->setWidget(m_list);
    m_list->setAutoFillBackground(false);
    refresh();
}

void ComparisonPane::refresh() {
    m_list->setDeltas(&m_pairing.deltas());
    m_scroll->setVisible(m_pairing.isComplete() && !m_pairing.deltas().empty());
    layoutChildren();
    update();
}

QString ComparisonPane::dateLine() const {
    if (!m_pairing.isComplete()) return {};
    return DateFormat::precise(m_pairing.baseline()->createdAt) + QStringLiteral("  →  ") +
           DateFormat::precise(m_pairing.comparison()->createdAt);
}

double ComparisonPane::dateRoom() const {
    // What the chips and "Reset" leave of the header's width; worked out from widths alone, since
    // the header's height depends on it.
    const double chips = Chip::measure(grewText(grewCount()), true).width() +
                         Chip::measure(shrankText(shrankCount()), true).width();
    return width() - 2 * headerPaddingX - advance(resetFont(), QStringLiteral("Reset")) - 3 * headerSpacing - chips;
}

QStringList ComparisonPane::dateLines() const {
    const QString line = dateLine();
    if (line.isEmpty()) return {};
    // Too narrow for both times (the minimum window): the later part moves under the first after
    // the arrow rather than losing its time to an ellipsis.
    if (advance(dateFont(), line) <= dateRoom()) return {line};
    const QString arrow = QStringLiteral("  →  ");
    const qsizetype at = line.indexOf(arrow);
    return {line.left(at + 3), line.mid(at + arrow.size())};
}

QString ComparisonPane::netChangeText() const {
    if (!m_pairing.isComplete()) return {};
    return DeltaRow::signedChange(m_pairing.baseline()->totalSize, m_pairing.comparison()->totalSize);
}

QColor ComparisonPane::netChangeColor() const {
    if (!m_pairing.isComplete()) return theme().success;
    const __int128 net = static_cast<__int128>(m_pairing.comparison()->totalSize) - m_pairing.baseline()->totalSize;
    return net >= 1 ? theme().danger : theme().success;
}

std::size_t ComparisonPane::grewCount() const {
    return std::size_t(std::count_if(m_pairing.deltas().begin(), m_pairing.deltas().end(),
                                     [](const SnapshotDelta& d) { return d.after > d.before; }));
}

std::size_t ComparisonPane::shrankCount() const {
    return std::size_t(std::count_if(m_pairing.deltas().begin(), m_pairing.deltas().end(),
                                     [](const SnapshotDelta& d) { return d.after < d.before; }));
}

QRectF ComparisonPane::headerRect() const {
    if (!m_pairing.isComplete()) return {};
    const double totals = std::max(lineHeight(totalFont()), lineHeight(netFont()));
    const double dates = std::max<qsizetype>(dateLines().size(), 1) * lineHeight(dateFont());
    const double content = std::max({dates + 2 + totals, Chip::measure(grewText(0), true).height(),
                                     lineHeight(resetFont())});
    return {0, 0, double(width()), 2 * headerPaddingY + content};
}

QRectF ComparisonPane::resetRect() const {
    if (!m_pairing.isComplete()) return {};
    const QRectF header = headerRect();
    const double w = advance(resetFont(), QStringLiteral("Reset"));
    const double h = lineHeight(resetFont());
    return {header.right() - headerPaddingX - w, header.center().y() - h / 2, w, h};
}

QRectF ComparisonPane::shrankChipRect() const {
    if (!m_pairing.isComplete()) return {};
    const QSizeF size = Chip::measure(shrankText(shrankCount()), true);
    const QRectF reset = resetRect();
    return {reset.left() - headerSpacing - size.width(), headerRect().center().y() - size.height() / 2, size.width(),
            size.height()};
}

QRectF ComparisonPane::grewChipRect() const {
    if (!m_pairing.isComplete()) return {};
    const QSizeF size = Chip::measure(grewText(grewCount()), true);
    const QRectF shrank = shrankChipRect();
    return {shrank.left() - headerSpacing - size.width(), headerRect().center().y() - size.height() / 2, size.width(),
            size.height()};
}

QRectF ComparisonPane::tileRect() const {
    const double stack = tileSize + 10 + 4 + lineHeight(placeholderTitleFont()) + 10 + lineHeight(placeholderTextFont());
    return {(width() - tileSize) / 2, (height() - stack) / 2, tileSize, tileSize};
}

void ComparisonPane::layoutChildren() {
    m_resetStop->place(resetRect(), 4, FocusRing::textOutset);
    const double top = std::ceil(headerRect().bottom()) + 1;
    m_scroll->setGeometry(0, int(top), width(), std::max(0, height() - int(top)));
}

void ComparisonPane::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    layoutChildren();
}

void ComparisonPane::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_pairing.isComplete() && resetRect().contains(event->position()))
        emit resetRequested();
}

void ComparisonPane::paintHeader(QPainter& painter) const {
    const Theme& t = theme();
    const QRectF header = headerRect();
    const Snapshot& before = *m_pairing.baseline();
    const Snapshot& after = *m_pairing.comparison();
    const double totalsHeight = std::max(lineHeight(totalFont()), lineHeight(netFont()));
    const QStringList dates = dateLines();
    const double datesHeight = double(dates.size()) * lineHeight(dateFont());
    const double blockHeight = datesHeight + 2 + totalsHeight;
    const double top = header.center().y() - blockHeight / 2;
    const double right = grewChipRect().left() - headerSpacing;
    const double left = headerPaddingX;
    for (qsizetype i = 0; i < dates.size(); ++i)
        TextDraw::draw(painter,
                       QRectF(left, top + double(i) * lineHeight(dateFont()), std::max(0.0, right - left),
                              lineHeight(dateFont())),
                       dates[i], {dateFont(), t.textTertiary});

    const double rowTop = top + datesHeight + 2;
    double x = left;
    const auto part = [&](const QString& text, const QFont& font, const QColor& color) {
        const double w = std::min(advance(font, text) + 1, std::max(0.0, right - x));
        TextDraw::draw(painter, QRectF(x, rowTop, w, totalsHeight), text, {font, color});
        x += w + totalsSpacing;
    };
    part(DisplayText::sizeText(before.totalSize), totalFont(), t.textSecondary);
    const QSizeF arrow = SymbolImage::size(arrowSize);
    SymbolImage::draw(painter, QRectF(x, rowTop + (totalsHeight - arrow.height()) / 2, arrow.width(), arrow.height()),
                      "arrow.right", arrowSize, QFont::Bold, t.textTertiary);
    x += arrow.width() + totalsSpacing;
    part(DisplayText::sizeText(after.totalSize), totalFont(), t.text);
    part(netChangeText(), netFont(), netChangeColor());

    Chip::paint(painter, grewChipRect(), t, grewText(grewCount()), std::string("arrow.up.right"), t.danger);
    Chip::paint(painter, shrankChipRect(), t, shrankText(shrankCount()), std::string("arrow.down.right"), t.success);
    TextDraw::draw(painter, resetRect().adjusted(0, 0, 1, 0), QStringLiteral("Reset"), {resetFont(), t.textSecondary});
    painter.fillRect(QRectF(0, std::ceil(header.bottom()), width(), 1), t.stroke);
}

void ComparisonPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const Theme& t = theme();
    if (!m_pairing.isComplete()) {
        const QRectF tile = tileRect();
        ShapePaint::fillRounded(painter, tile, 16, ShapePaint::withOpacity(t.ramp[3], t.isDark ? 0.22 : 0.34));
        SymbolImage::draw(painter, tile, "arrow.left.arrow.right", 22, QFont::Normal, ShapePaint::withOpacity(t.text, 0.7));
        double y = tile.bottom() + 10 + 4;
        TextDraw::draw(painter, QRectF(0, y, width(), lineHeight(placeholderTitleFont())),
                       QStringLiteral("Pick two snapshots to compare"), {placeholderTitleFont(), t.text, Qt::AlignCenter});
        y += lineHeight(placeholderTitleFont()) + 10;
        TextDraw::draw(painter, QRectF(0, y, width(), lineHeight(placeholderTextFont())),
                       QStringLiteral("Click one snapshot for the BEFORE side, then another for AFTER."),
                       {placeholderTextFont(), t.textSecondary, Qt::AlignCenter});
        return;
    }
    paintHeader(painter);
    if (m_pairing.deltas().empty()) {
        const QRectF area(0, headerRect().bottom() + 1, width(), height() - headerRect().bottom() - 1);
        const QSizeF symbol = SymbolImage::size(34);
        const double stack = symbol.height() + 8 + lineHeight(noChangeFont());
        const double top = area.center().y() - stack / 2;
        SymbolImage::draw(painter, QRectF(area.center().x() - symbol.width() / 2, top, symbol.width(), symbol.height()),
                          "equal.circle", 34, QFont::Thin, ShapePaint::withOpacity(t.textTertiary, 0.6));
        TextDraw::draw(painter, QRectF(0, top + symbol.height() + 8, width(), lineHeight(noChangeFont())),
                       QStringLiteral("Nothing moved by more than 10\u00A0MB"), {noChangeFont(), t.textSecondary, Qt::AlignCenter});
    }
}

} // namespace tallymere
