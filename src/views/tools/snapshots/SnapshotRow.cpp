#include "views/tools/snapshots/SnapshotRow.h"

#include "style/DateFormat.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace tallymere {

namespace {

constexpr double paddingX = 10, paddingY = 7;
constexpr double spacing = 9;
constexpr double iconWidth = 18, iconSize = 12;
constexpr double trashSize = 10;
constexpr double minSpacer = 4;
constexpr double chipPaddingX = 5, chipPaddingY = 2;
constexpr double roleTracking = 0.5;

double lineHeight(const QFont& font) { return QFontMetricsF(font).height(); }

} // namespace

SnapshotRow::SnapshotRow(const Theme& theme, const Snapshot& snapshot, std::optional<std::string_view> role,
                         bool hovering)
    : m_theme(theme), m_snapshot(snapshot), m_role(role), m_hovering(hovering) {}

QFont SnapshotRow::titleFont() { return Typography::font(12, QFont::DemiBold); }
QFont SnapshotRow::detailFont() { return Typography::font(9.5, QFont::Normal); }
QFont SnapshotRow::roleFont() { return TextDraw::tracked(Typography::font(8, QFont::Black), roleTracking); }

double SnapshotRow::height() {
    const double texts = lineHeight(titleFont()) + 1 + lineHeight(detailFont());
    return 2 * paddingY + std::max(texts, SymbolImage::size(iconSize).height());
}

std::string_view SnapshotRow::symbol() const { return m_snapshot.rootPath == "/" ? "internaldrive.fill" : "folder.fill"; }

QString SnapshotRow::detailText() const {
    return DateFormat::precise(m_snapshot.createdAt) + QStringLiteral(" · ") + DisplayText::sizeText(m_snapshot.totalSize);
}

QRectF SnapshotRow::deleteRect(double width) const {
    const QSizeF size = SymbolImage::size(trashSize);
    return {width - paddingX - size.width(), (height() - size.height()) / 2, size.width(), size.height()};
}

QRectF SnapshotRow::roleRect(double width) const {
    if (!m_role) return {};
    const QString text = QString::fromLatin1(m_role->data(), qsizetype(m_role->size()));
    const double w = QFontMetricsF(roleFont()).horizontalAdvance(text) + 2 * chipPaddingX;
    const double h = lineHeight(roleFont()) + 2 * chipPaddingY;
    const double right = m_hovering ? deleteRect(width).left() - spacing : width - paddingX;
    return {right - w, (height() - h) / 2, w, h};
}

void SnapshotRow::paint(QPainter& painter, double width) const {
    const QRectF row(0, 0, width, height());
    const bool chosen = m_role.has_value();
    if (chosen) ShapePaint::fillRounded(painter, row, cornerRadius, ShapePaint::withOpacity(m_theme.accent, 0.1));
    else if (m_hovering)
        ShapePaint::fillRounded(painter, row, cornerRadius, ShapePaint::withOpacity(m_theme.surfaceRaised, 0.7));

    const QSizeF icon = SymbolImage::size(iconSize);
    SymbolImage::draw(painter, QRectF(paddingX, (row.height() - icon.height()) / 2, iconWidth, icon.height()), symbol(),
                      iconSize, QFont::Normal, chosen ? m_theme.accent : m_theme.textTertiary);

    double right = width - paddingX;
    if (m_hovering) {
        SymbolImage::draw(painter, deleteRect(width), "trash", trashSize, QFont::Normal, m_theme.textTertiary);
        right = deleteRect(width).left() - spacing;
    }
    if (chosen) {
        const QRectF chip = roleRect(width);
        ShapePaint::fillRounded(painter, chip, ShapePaint::capsuleRadius(chip), ShapePaint::withOpacity(m_theme.accent, 0.22));
        TextDraw::draw(painter, chip, QString::fromLatin1(m_role->data(), qsizetype(m_role->size())),
                       {roleFont(), m_theme.accent, Qt::AlignCenter});
        right = chip.left() - spacing;
    }
    const double left = paddingX + iconWidth + spacing;
    // The row's spacing also lies between the texts and their least gap to what follows.
    const double textWidth = std::max(0.0, right - minSpacer - spacing - left);
    const double titleHeight = lineHeight(titleFont());
    const double top = (row.height() - (titleHeight + 1 + lineHeight(detailFont()))) / 2;
    TextDraw::draw(painter, QRectF(left, top, textWidth, titleHeight), TextDraw::oneLine(m_snapshot.title),
                   {titleFont(), m_theme.text});
    TextDraw::draw(painter, QRectF(left, top + titleHeight + 1, textWidth, lineHeight(detailFont())), detailText(),
                   {detailFont(), m_theme.textTertiary});

    if (chosen) ShapePaint::strokeInside(painter, row, cornerRadius, ShapePaint::withOpacity(m_theme.accent, 0.4));
}

} // namespace tallymere
