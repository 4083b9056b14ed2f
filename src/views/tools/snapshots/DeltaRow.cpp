#include "views/tools/snapshots/DeltaRow.h"

#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace tallymere {

namespace {

constexpr double paddingX = 11, paddingY = 6;
constexpr double spacing = 10;
constexpr double minSpacer = 8;

double lineHeight(const QFont& font) { return QFontMetricsF(font).height(); }

} // namespace

DeltaRow::DeltaRow(const Theme& theme, const SnapshotDelta& delta) : m_theme(theme), m_delta(delta) {}

QFont DeltaRow::badgeFont() { return TextDraw::tracked(Typography::font(8, QFont::Black), 0.4); }
QFont DeltaRow::nameFont() { return Typography::font(11.5, QFont::Medium); }
QFont DeltaRow::pathFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(9);
    font.setWeight(QFont::Normal);
    return font;
}
QFont DeltaRow::sizesFont() { return Typography::font(10, QFont::Normal); }
QFont DeltaRow::changeFont() { return Typography::font(12, QFont::Bold); }

double DeltaRow::height() {
    const double texts = lineHeight(nameFont()) + lineHeight(pathFont());
    return 2 * paddingY + std::max({texts, lineHeight(changeFont())});
}

QString DeltaRow::badgeText(SnapshotDelta::Change change) {
    switch (change) {
    case SnapshotDelta::Change::grew: return QStringLiteral("GREW");
    case SnapshotDelta::Change::shrank: return QStringLiteral("SHRANK");
    case SnapshotDelta::Change::added: return QStringLiteral("NEW");
    case SnapshotDelta::Change::removed: return QStringLiteral("GONE");
    }
    return {};
}

QColor DeltaRow::color(const Theme& theme, SnapshotDelta::Change change) {
    return change == SnapshotDelta::Change::grew || change == SnapshotDelta::Change::added ? theme.danger : theme.success;
}

QString DeltaRow::signedChange(std::int64_t before, std::int64_t after) {
    // Differences of two 64-bit sizes can exceed 64 bits; the shown size saturates instead.
    const __int128 d = static_cast<__int128>(after) - before;
    const __int128 magnitude = d < 0 ? -d : d;
    const auto shown = static_cast<std::int64_t>(std::min<__int128>(magnitude, std::numeric_limits<std::int64_t>::max()));
    return (d >= 0 ? QStringLiteral("+") : QString(QChar(0x2212))) + DisplayText::sizeText(shown);
}

QString DeltaRow::sizesText() const {
    return DisplayText::sizeText(m_delta.before) + QStringLiteral(" → ") + DisplayText::sizeText(m_delta.after);
}

void DeltaRow::paint(QPainter& painter, double width) const {
    const QRectF row(0, 0, width, height());
    ShapePaint::fillRounded(painter, row, cornerRadius, ShapePaint::withOpacity(m_theme.surface, 0.6));
    const QColor tint = color(m_theme, m_delta.change);
    const QRectF content = row.adjusted(paddingX, paddingY, -paddingX, -paddingY);

    TextDraw::draw(painter, QRectF(content.left(), content.top(), badgeWidth, content.height()), badgeText(m_delta.change),
                   {badgeFont(), tint});
    const QRectF change(content.right() - changeWidth, content.top(), changeWidth, content.height());
    TextDraw::draw(painter, change, signedChange(m_delta.before, m_delta.after),
                   {changeFont(), tint, Qt::AlignRight | Qt::AlignVCenter});
    const QString sizes = sizesText();
    const double sizesWidth = QFontMetricsF(sizesFont()).horizontalAdvance(sizes) + 1;
    const QRectF sizesBox(change.left() - spacing - sizesWidth, content.top(), sizesWidth, content.height());
    TextDraw::draw(painter, sizesBox, sizes, {sizesFont(), m_theme.textTertiary});

    const double left = content.left() + badgeWidth + spacing;
    // The row's spacing on both sides of the least gap before the sizes.
    const double textWidth = std::max(0.0, sizesBox.left() - spacing - minSpacer - spacing - left);
    const double nameHeight = lineHeight(nameFont());
    const double top = content.center().y() - (nameHeight + lineHeight(pathFont())) / 2;
    TextDraw::draw(painter, QRectF(left, top, textWidth, nameHeight), TextDraw::oneLine(m_delta.name),
                   {nameFont(), m_theme.text});
    TextDraw::Style path{pathFont(), m_theme.textTertiary};
    path.truncation = TextDraw::Truncation::head;
    TextDraw::draw(painter, QRectF(left, top + nameHeight, textWidth, lineHeight(pathFont())),
                   TextDraw::oneLine(m_delta.path), path);
}

} // namespace tallymere
