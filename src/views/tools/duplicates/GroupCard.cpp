#include "views/tools/duplicates/GroupCard.h"

#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/NodeGlyph.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace tallymere {

namespace {

constexpr double headerSpacing = 10;
constexpr double chevronWidth = 12;
constexpr double chevronSize = 9;
constexpr double glyphSize = 13;
constexpr double keepPaddingX = 8, keepPaddingY = 4;
constexpr double rowPaddingX = 14, rowPaddingY = 5;
constexpr double rowItemSpacing = 8;
constexpr double roleWidth = 46;
constexpr double minSpacer = 6;
constexpr double revealSize = 10;
constexpr double queueSize = 11;

double lineHeight(const QFont& font) { return QFontMetricsF(font).height(); }

void drawLine(QPainter& painter, const QRectF& rect, const QFont& font, const QColor& color, const QString& text,
              Qt::TextElideMode elide, Qt::Alignment align = Qt::AlignLeft) {
    const QFontMetricsF metrics(font);
    const QString shown = metrics.elidedText(text, elide, rect.width());
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, int(align | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
}

} // namespace

GroupCard::GroupCard(const Theme& theme, const DuplicateFinder::Group& group, bool expanded)
    : m_theme(theme), m_group(group), m_expanded(expanded) {}

QFont GroupCard::nameFont() { return Typography::font(12, QFont::DemiBold); }
QFont GroupCard::summaryFont() { return Typography::font(10.5, QFont::Normal); }
QFont GroupCard::wasteFont() { return Typography::font(12, QFont::Bold); }
QFont GroupCard::keepFirstFont() { return Typography::font(10.5, QFont::DemiBold); }
QFont GroupCard::roleFont() { return Typography::font(8.5, QFont::Bold); }
QFont GroupCard::pathFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10);
    font.setWeight(QFont::Normal);
    return font;
}

QString GroupCard::summaryText() const {
    return QString::number(static_cast<qlonglong>(m_group.files.size())) + QStringLiteral(" identical copies · ") +
           DisplayText::sizeText(m_group.size) + QStringLiteral(" each");
}

QString GroupCard::wasteText() const {
    return QStringLiteral("+") + DisplayText::sizeText(m_group.waste());
}

QString GroupCard::roleText(std::size_t file) {
    return file == 0 ? QStringLiteral("KEEP") : QStringLiteral("COPY ") + QString::number(static_cast<qulonglong>(file));
}

double GroupCard::headerHeight() const {
    const double title = lineHeight(nameFont()) + 1 + lineHeight(summaryFont());
    const double capsule = lineHeight(keepFirstFont()) + 2 * keepPaddingY;
    const double glyph = NodeGlyph::frameSize(glyphSize).height();
    return 2 * headerPadding + std::max({title, capsule, glyph});
}

double GroupCard::rowHeight() const {
    const double content = std::max({lineHeight(pathFont()), lineHeight(roleFont()), SymbolImage::size(queueSize).height(),
                                     SymbolImage::size(revealSize).height()});
    return 2 * rowPaddingY + content;
}

double GroupCard::height() const {
    const double header = headerHeight();
    if (!m_expanded || m_group.files.empty()) return header;
    const auto n = static_cast<double>(m_group.files.size());
    return header + n * rowHeight() + (n - 1) * rowSpacing;
}

QRectF GroupCard::headerRect(double width) const { return {0, 0, width, headerHeight()}; }

QRectF GroupCard::keepFirstRect(double width) const {
    const QFontMetricsF metrics(keepFirstFont());
    const double w = metrics.horizontalAdvance(QStringLiteral("Keep first")) + 2 * keepPaddingX;
    const double h = metrics.height() + 2 * keepPaddingY;
    return {width - headerPadding - w, (headerHeight() - h) / 2, w, h};
}

QRectF GroupCard::titleBlockRect(double width) const {
    const double left = headerPadding + chevronWidth + headerSpacing + NodeGlyph::frameSize(glyphSize).width() + headerSpacing;
    const double wasteWidth = QFontMetricsF(wasteFont()).horizontalAdvance(wasteText());
    // The stack's spacing lies on both sides of the flexible space before the waste.
    const double right = keepFirstRect(width).left() - headerSpacing - wasteWidth - 2 * headerSpacing;
    const double h = lineHeight(nameFont()) + 1 + lineHeight(summaryFont());
    return {left, (headerHeight() - h) / 2, std::max(0.0, right - left), h};
}

QRectF GroupCard::rowRect(double width, std::size_t file) const {
    const double top = headerHeight() + static_cast<double>(file) * (rowHeight() + rowSpacing);
    return {0, top, width, rowHeight()};
}

QRectF GroupCard::queueRect(double width, std::size_t file) const {
    const QRectF row = rowRect(width, file);
    const QSizeF size = SymbolImage::size(queueSize);
    return {row.right() - rowPaddingX - size.width(), row.center().y() - size.height() / 2, size.width(), size.height()};
}

QRectF GroupCard::revealRect(double width, std::size_t file) const {
    const QRectF queue = queueRect(width, file);
    const QSizeF size = SymbolImage::size(revealSize);
    return {queue.left() - rowItemSpacing - size.width(), queue.center().y() - size.height() / 2, size.width(),
            size.height()};
}

GroupCard::Hit GroupCard::hitTest(double width, QPointF point) const {
    if (point.x() < 0 || point.x() >= width || point.y() < 0) return {};
    if (headerRect(width).contains(point))
        return {keepFirstRect(width).contains(point) ? Hit::Kind::keepFirst : Hit::Kind::header, 0};
    if (!m_expanded) return {};
    for (std::size_t i = 0; i < m_group.files.size(); ++i) {
        if (!rowRect(width, i).contains(point)) continue;
        if (queueRect(width, i).contains(point)) return {Hit::Kind::queue, i};
        if (revealRect(width, i).contains(point)) return {Hit::Kind::reveal, i};
        return {};
    }
    return {};
}

void GroupCard::paint(QPainter& painter, double width, const IsQueued& isQueued) const {
    if (m_group.files.empty()) return;
    const QRectF card(0, 0, width, height());
    ShapePaint::fillRounded(painter, card, cornerRadius, m_theme.surface);

    // Header row.
    const QRectF header = headerRect(width);
    const double midY = header.center().y();
    const QSizeF chevron = SymbolImage::size(chevronSize);
    SymbolImage::draw(painter, QRectF(headerPadding, midY - chevron.height() / 2, chevronWidth, chevron.height()),
                      m_expanded ? "chevron.down" : "chevron.right", chevronSize, QFont::Bold, m_theme.textTertiary);
    const QSizeF glyph = NodeGlyph::frameSize(glyphSize);
    const FileNode& kept = *m_group.files.front();
    NodeGlyph::paint(painter, QRectF(headerPadding + chevronWidth + headerSpacing, midY - glyph.height() / 2,
                                     glyph.width(), glyph.height()),
                     m_theme, kept, glyphSize);
    const QRectF title = titleBlockRect(width);
    const double nameHeight = lineHeight(nameFont());
    drawLine(painter, QRectF(title.left(), title.top(), title.width(), nameHeight), nameFont(), m_theme.text,
             TextDraw::oneLine(kept.name()), Qt::ElideRight);
    drawLine(painter, QRectF(title.left(), title.top() + nameHeight + 1, title.width(), lineHeight(summaryFont())),
             summaryFont(), m_theme.textTertiary, summaryText(), Qt::ElideRight);
    const QRectF keep = keepFirstRect(width);
    const double wasteWidth = QFontMetricsF(wasteFont()).horizontalAdvance(wasteText());
    drawLine(painter, QRectF(keep.left() - headerSpacing - wasteWidth, header.top(), wasteWidth + 1, header.height()),
             wasteFont(), m_theme.success, wasteText(), Qt::ElideNone);
    ShapePaint::fillRounded(painter, keep, ShapePaint::capsuleRadius(keep), ShapePaint::withOpacity(m_theme.accent, 0.18));
    drawLine(painter, keep, keepFirstFont(), m_theme.accent, QStringLiteral("Keep first"), Qt::ElideNone,
             Qt::AlignHCenter);

    // File rows.
    if (m_expanded) {
        for (std::size_t i = 0; i < m_group.files.size(); ++i) {
            const FileNode& file = *m_group.files[i];
            const QRectF row = rowRect(width, i);
            painter.fillRect(row, m_theme.background);
            const QRectF role(rowPaddingX, row.top(), roleWidth, row.height());
            drawLine(painter, role, roleFont(), i == 0 ? m_theme.success : m_theme.textTertiary, roleText(i),
                     Qt::ElideRight);
            const QRectF reveal = revealRect(width, i);
            const double pathLeft = role.right() + rowItemSpacing;
            // The row's spacing on both sides of the path's least gap to the buttons.
            const double pathRight = reveal.left() - rowItemSpacing - minSpacer - rowItemSpacing;
            drawLine(painter, QRectF(pathLeft, row.top(), std::max(0.0, pathRight - pathLeft), row.height()), pathFont(),
                     m_theme.textSecondary, TextDraw::oneLine(file.path()), Qt::ElideMiddle);
            SymbolImage::draw(painter, reveal, "arrow.up.forward.app", revealSize, QFont::Normal, m_theme.textTertiary);
            const bool queued = isQueued && isQueued(file);
            SymbolImage::draw(painter, queueRect(width, i), queued ? "checkmark.circle.fill" : "plus.circle", queueSize,
                              QFont::Normal, queued ? m_theme.danger : m_theme.textTertiary);
        }
    }
    ShapePaint::strokeInside(painter, card, cornerRadius, m_theme.stroke);
}

} // namespace tallymere
