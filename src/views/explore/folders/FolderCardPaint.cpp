#include "views/explore/folders/FolderCardPaint.h"

#include "core/FileNode.h"
#include "style/DisplayText.h"
#include "style/KeptFill.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/explore/folders/CardSkins.h"
#include "views/explore/folders/FolderShape.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace tallymere::FolderCardPaint {

namespace {

constexpr double inset = 15;        // text and divider from the card's sides
constexpr double bottomPadding = 14;
constexpr double rowGap = 9;         // name to divider, divider to the bottom row
constexpr double dotSize = 13;
constexpr double dotOverlap = 4;
constexpr double menuSize = 22;

QFont nameFont() { return Typography::font(13, QFont::Medium); }
QFont countFont() { return Typography::font(10.5, QFont::Normal); }
QFont sizeFont() { return Typography::font(11.5, QFont::DemiBold); }

// Each dot and its ring are kept pictures of their coverage (the same dots come back at the same
// places on every paint of the page), blended as the shapes drawn directly would be.
constexpr std::uint64_t dotKind = 0xD07ull << 32, ringKind = 0xD08ull << 32;

void paintDots(QPainter& painter, QPointF leftCentre, const Theme& theme, std::span<const FileCategory> dots,
               const QColor& ring) {
    double x = leftCentre.x();
    for (FileCategory category : dots) {
        const QRectF dot(x, leftCentre.y() - dotSize / 2, dotSize, dotSize);
        const QRectF bounds = dot.adjusted(-1, -1, 1, 1);
        const QColor fill = theme.category(category);
        KeptFill::paint(painter, {dotKind, dotSize, 0, 0, 0, fill.rgba64()}, dot.topLeft(), bounds, [&](QPainter& p) {
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(Qt::NoPen);
            p.setBrush(fill);
            p.drawEllipse(dot);
        });
        // A ring 1.5 wide inside the dot's edge, filled as the band between two circles: the same
        // pixels as a stroke, without stroking a curve.
        KeptFill::paint(painter, {ringKind, dotSize, 1.5, 0, 0, ring.rgba64()}, dot.topLeft(), bounds, [&](QPainter& p) {
            QPainterPath band;
            band.addEllipse(dot);
            band.addEllipse(dot.adjusted(1.5, 1.5, -1.5, -1.5));
            band.setFillRule(Qt::OddEvenFill);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.fillPath(band, ring);
        });
        x += dotSize - dotOverlap;
    }
}

double dotsWidth(std::size_t count) {
    return count == 0 ? 0 : dotSize + (dotSize - dotOverlap) * static_cast<double>(count - 1);
}

} // namespace

QRectF lifted(const QRectF& cell, double hover) { return cell.translated(0, -2 * hover); }

QPainterPath hitArea(const QRectF& cell, double hover) { return FolderShape{}.path(lifted(cell, hover)); }

QRectF menuButton(const QRectF& cell, double hover) {
    const QRectF card = lifted(cell, hover);
    return {card.right() - 10 - menuSize, card.top() + 20, menuSize, menuSize};
}

QString countText(std::int64_t files) { return DisplayText::countText(files, "item", "items"); }

Shades shades(const Theme& theme, const QColor& base) {
    const QColor white(Qt::white);
    return {ColorRules::mix(base, white, theme.isDark ? 0.04 : 0.34),
            ColorRules::mix(base, white, theme.isDark ? 0.18 : 0.62),
            ColorRules::mix(base, white, theme.isDark ? 0.14 : 0.52)};
}

namespace {

struct Body {
    Shades shade;
    QColor outline;
    double lineWidth = 1;
};

Body bodyOf(const Theme& theme, const Input& input) {
    // The outline stays inside the silhouette: the shape is inset by half the line width.
    return {shades(theme, theme.nodeColor(*input.node, 1, input.rank, input.colorMode)),
            input.queued ? theme.danger : ShapePaint::withOpacity(theme.text, 0.09 + (0.22 - 0.09) * input.hover),
            input.queued ? 1.6 : 1.0};
}

void paintBody(QPainter& p, const QRectF& rect, const Body& body) {
    const FolderShape shape;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    gradient.setColorAt(0, body.shade.light);
    gradient.setColorAt(1, body.shade.lighter);
    p.fillPath(shape.path(rect), gradient);
    p.setPen(QPen(body.outline, body.lineWidth));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape.inset(body.lineWidth / 2).path(rect));
    p.restore();
}

} // namespace

std::optional<CardSkins::Picture> body(const QRectF& cell, const Theme& theme, const Input& input, qreal ratio) {
    // At rest (not halfway through a hover) the body is one of few pictures: drawn once, then copied.
    if (input.hover != 0 && input.hover != 1) return std::nullopt;
    const Body b = bodyOf(theme, input);
    const QSizeF size = lifted(cell, input.hover).size();
    std::string key = "folder " + std::to_string(b.shade.light.rgba()) + ' ' + std::to_string(b.shade.lighter.rgba()) +
                      ' ' + std::to_string(b.outline.rgba()) + ' ' + std::to_string(b.lineWidth);
    return CardSkins::Picture{std::move(key), size, ratio,
                              [b, size](QPainter& p) { paintBody(p, QRectF(QPointF(0, 0), size), b); }};
}

void paint(QPainter& painter, const QRectF& cell, const Theme& theme, const Input& input) {
    const FileNode& node = *input.node;
    const QRectF card = lifted(cell, input.hover);
    const Shades shade = shades(theme, theme.nodeColor(node, 1, input.rank, input.colorMode));
    if (const auto picture = body(cell, theme, input, CardSkins::ratioOf(painter)))
        CardSkins::draw(painter, card.topLeft(), CardSkins::skin(*picture));
    else
        paintBody(painter, card, bodyOf(theme, input));

    if (input.queued) {
        const QSizeF symbol = SymbolImage::size(9);
        const double diameter = symbol.height() + 10;
        const QRectF badge(card.left() + 10, card.top() + 10, diameter, diameter);
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme.danger);
        painter.drawEllipse(badge);
        painter.restore();
        SymbolImage::draw(painter, badge, "trash.fill", 9, QFont::Bold, Qt::white);
    }

    if (input.hover > 0) {
        const QRectF button = menuButton(cell, input.hover);
        painter.save();
        painter.setOpacity(input.hover);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ShapePaint::withOpacity(theme.surface, 0.95));
        painter.drawEllipse(button);
        SymbolImage::draw(painter, button, "ellipsis", 11, QFont::Bold, ShapePaint::withOpacity(theme.text, 0.55));
        painter.restore();
    }

    // Bottom up: the row of dots, count and size; the divider; the name.
    const QFontMetricsF countMetrics(countFont()), sizeMetrics(sizeFont()), nameMetrics(nameFont());
    const double rowHeight = std::max({dotSize, countMetrics.height(), sizeMetrics.height()});
    const double rowTop = card.bottom() - bottomPadding - rowHeight;
    const double dividerTop = rowTop - rowGap - 1;
    const double nameTop = dividerTop - rowGap - nameMetrics.height();
    const double left = card.left() + inset, right = card.right() - inset;

    TextDraw::Style name{nameFont(), theme.text};
    name.truncation = TextDraw::Truncation::middle;
    TextDraw::draw(painter, QRectF(left, nameTop, right - left, nameMetrics.height()),
                   TextDraw::oneLine(node.name()), name);

    painter.fillRect(QRectF(left, dividerTop, right - left, 1), ShapePaint::withOpacity(theme.text, 0.12));

    const double rowCentre = rowTop + rowHeight / 2;
    paintDots(painter, QPointF(left, rowCentre), theme, input.dots, shade.ring);
    const QString size = DisplayText::sizeText(node.bytes(input.useAllocated));
    TextDraw::Style sizeStyle{sizeFont(), ShapePaint::withOpacity(theme.text, 0.85),
                              Qt::AlignRight | Qt::AlignVCenter};
    const double sizeWidth = std::min(TextDraw::width(size, sizeStyle), right - left);
    TextDraw::draw(painter, QRectF(right - sizeWidth, rowTop, sizeWidth, rowHeight), size, sizeStyle);
    const double countLeft = left + dotsWidth(input.dots.size()) + 7;
    const double countRight = right - sizeWidth - 4;
    if (countRight > countLeft)
        TextDraw::draw(painter, QRectF(countLeft, rowTop, countRight - countLeft, rowHeight),
                       countText(node.fileCount), {countFont(), ShapePaint::withOpacity(theme.text, 0.62)});
}

} // namespace tallymere::FolderCardPaint
