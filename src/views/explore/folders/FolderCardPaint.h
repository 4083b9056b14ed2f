#pragma once
#include "core/FileCategory.h"
#include "style/Theme.h"
#include "views/explore/folders/CardSkins.h"

#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <optional>
#include <span>

class QPainter;

namespace tallymere {

class FileNode;

// The card of one sub-folder on the Folders page: a folder-shaped tile in the node colour of its
// rank, with the ellipsis menu button, the name, the composition dots, the file count and the
// size. Pure drawing: the page owns the state (hover progress, queue, cached dots).
namespace FolderCardPaint {

inline constexpr double height = 148;

struct Input {
    const FileNode* node = nullptr;
    int rank = 0; // position in the size order: the tint of the branch colours
    ColorMode colorMode = ColorMode::branch;
    bool useAllocated = true;
    bool queued = false;
    double hover = 0; // 0 at rest, 1 with the pointer over the card
    std::span<const FileCategory> dots;
};

// The card's rectangle as drawn: lifted by up to 2 while hovered.
QRectF lifted(const QRectF& cell, double hover);
// Where clicks count: inside the silhouette, not in the corner beside the tab.
QPainterPath hitArea(const QRectF& cell, double hover);
// The ellipsis button in the top trailing corner.
QRectF menuButton(const QRectF& cell, double hover);

// "1 item", "1,234 items": the files anywhere below the folder.
QString countText(std::int64_t files);

// The base colour's three derived shades: the gradient's two ends and the dots' ring.
struct Shades {
    QColor light, lighter, ring;
};
Shades shades(const Theme& theme, const QColor& base);

// The card's shaded silhouette and outline at rest, as a kept picture at pixel ratio `ratio`: none
// halfway through a hover, when it is drawn afresh. Safe to draw on any thread (CardSkins::prepare).
std::optional<CardSkins::Picture> body(const QRectF& cell, const Theme& theme, const Input& input, qreal ratio);

void paint(QPainter& painter, const QRectF& cell, const Theme& theme, const Input& input);

} // namespace FolderCardPaint
} // namespace tallymere
