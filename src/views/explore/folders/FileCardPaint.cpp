#include "views/explore/folders/FileCardPaint.h"

#include "core/ByteFormat.h"
#include "core/FileNode.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/explore/folders/CardSkins.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tallymere::FileCardPaint {

namespace {

constexpr double side = 11;
constexpr double textTop = 9;
constexpr double textBottom = 11;
constexpr double nameFrame = 30;
constexpr double textSpacing = 5;
constexpr double buttonSize = 21;

QFont nameFont() { return Typography::font(11, QFont::Medium); }
QFont sizeFont() { return Typography::font(11, QFont::DemiBold); }
QFont markFont() { return Typography::font(8.5, QFont::DemiBold); }
QFont ageFont() { return Typography::font(9.5, QFont::Normal); }

double rowHeight() {
    return std::max({QFontMetricsF(sizeFont()).height(), QFontMetricsF(markFont()).height(),
                     QFontMetricsF(ageFont()).height()});
}

} // namespace

double height() { return tileHeight + textTop + nameFrame + textSpacing + rowHeight() + textBottom; }

QRectF lifted(const QRectF& cell, double hover) { return cell.translated(0, -2 * hover); }

QRectF queueButton(const QRectF& cell, double hover) {
    const QRectF card = lifted(cell, hover);
    return {card.right() - 8 - buttonSize, card.top() + 8, buttonSize, buttonSize};
}

bool isEvicted(const FileNode& node) {
    // Short link targets live in the inode without blocks, so a link never counts as evicted.
    return !node.isDirectory && !node.isSymlink && node.size >= 1 && node.allocated == 0;
}

void paint(QPainter& painter, const QRectF& cell, const Theme& theme, const Input& input) {
    const FileNode& node = *input.node;
    const QRectF card = lifted(cell, input.hover);
    const QRectF tile(card.left(), card.top(), card.width(), tileHeight);
    const QColor kind = theme.category(node.category);
    const QColor light = ColorRules::mix(kind, Qt::white, theme.isDark ? 0 : 0.22);
    const QColor dark = ColorRules::mix(kind, theme.background, 0.45);
    const std::string_view symbol = node.isPackage ? "shippingbox.fill" : FileCategories::symbol(node.category);
    // The border goes round the tile; nothing else drawn on the card reaches the card's edge.
    const QColor border = input.queued ? theme.danger
                                       : ShapePaint::withOpacity(theme.stroke, 1.0 + 0.6 * input.hover);
    auto paintBody = [&](QPainter& p, const QRectF& body) {
        QPainterPath outline;
        outline.addRoundedRect(body, cornerRadius, cornerRadius);
        p.save();
        p.setRenderHint(QPainter::Antialiasing, true);
        p.fillPath(outline, theme.surface);
        p.setClipPath(outline, Qt::IntersectClip);
        const QRectF bodyTile(body.left(), body.top(), body.width(), tileHeight);
        QLinearGradient gradient(bodyTile.topLeft(), bodyTile.bottomRight());
        gradient.setColorAt(0, light);
        gradient.setColorAt(1, dark);
        p.fillRect(bodyTile, gradient);
        p.restore();
        SymbolImage::draw(p, bodyTile, symbol, 24, QFont::Normal, QColor::fromRgbF(26 / 255.0, 25 / 255.0, 22 / 255.0, 0.42));
        ShapePaint::strokeInside(p, body, cornerRadius, border);
    };
    // At rest (not halfway through a hover) the body is one of few pictures: drawn once, then copied.
    if (input.hover == 0 || input.hover == 1) {
        const std::string key = "file " + std::string(symbol) + ' ' + std::to_string(light.rgba()) + ' ' +
                                std::to_string(dark.rgba()) + ' ' + std::to_string(theme.surface.rgba()) + ' ' +
                                std::to_string(border.rgba());
        const QImage& body = CardSkins::skin(key, card.size(), CardSkins::ratioOf(painter), [&](QPainter& p) {
            paintBody(p, QRectF(QPointF(0, 0), card.size()));
        });
        CardSkins::draw(painter, card.topLeft(), body);
    } else {
        paintBody(painter, card);
    }

    const double buttonOpacity = input.queued ? 1.0 : input.hover;
    if (buttonOpacity > 0) {
        const QRectF button = queueButton(cell, input.hover);
        painter.save();
        painter.setOpacity(buttonOpacity);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(input.queued ? theme.danger : theme.surface);
        painter.drawEllipse(button);
        SymbolImage::draw(painter, button, input.queued ? "checkmark" : "plus", 9.5, QFont::Bold,
                          input.queued ? QColor(Qt::white) : ShapePaint::withOpacity(theme.text, 0.7));
        painter.restore();
    }

    const double left = card.left() + side, width = card.width() - 2 * side;
    TextDraw::Style name{nameFont(), theme.text, Qt::AlignLeft | Qt::AlignTop};
    name.truncation = TextDraw::Truncation::twoLineMiddle;
    const double nameTop = tile.bottom() + textTop;
    TextDraw::draw(painter, QRectF(left, nameTop, width, nameFrame), TextDraw::oneLine(node.name()), name);

    const double rowTop = nameTop + nameFrame + textSpacing, row = rowHeight();
    const QString size = DisplayText::sizeText(node.bytes(input.useAllocated));
    const QRectF sizeBox = TextDraw::draw(painter, QRectF(left, rowTop, width, row), size, {sizeFont(), theme.text});
    double used = sizeBox.width();
    if (isEvicted(node)) {
        const QRectF mark = TextDraw::draw(painter, QRectF(left + used + 5, rowTop, width - used - 5, row),
                                           QStringLiteral("iCloud"), {markFont(), theme.textTertiary});
        used += 5 + mark.width();
    }
    if (node.modified > 0 && width - used - 5 > 0) {
        const QString age = QString::fromStdString(ByteFormat::relative(node.modified, input.now));
        TextDraw::draw(painter, QRectF(left + used + 5, rowTop, width - used - 5, row), age,
                       {ageFont(), theme.textTertiary, Qt::AlignRight | Qt::AlignVCenter});
    }
}

} // namespace tallymere::FileCardPaint
