#pragma once
#include "style/Theme.h"

#include <QRectF>

class QPainter;

namespace tallymere {

class FileNode;

// The card of one file, link or package on the Folders page: a tile in the kind's colour with its
// symbol, the queue button in its corner, the name on up to two lines, the size, the "iCloud" mark
// of a file whose data is not on the disk, and the age. Pure drawing: the page owns the state.
namespace FileCardPaint {

inline constexpr double tileHeight = 74;
inline constexpr double cornerRadius = 13;

struct Input {
    const FileNode* node = nullptr;
    bool useAllocated = true;
    bool queued = false;
    double hover = 0; // 0 at rest, 1 with the pointer over the card
    double now = 0;   // seconds since 1970, for the age
};

// The height every file card has: the tile and the text block.
double height();

// The card's rectangle as drawn: lifted by up to 2 while hovered.
QRectF lifted(const QRectF& cell, double hover);
// The round queue button in the tile's top trailing corner.
QRectF queueButton(const QRectF& cell, double hover);

// Content on the disk is missing although the file has content: the data lives elsewhere.
bool isEvicted(const FileNode& node);

void paint(QPainter& painter, const QRectF& cell, const Theme& theme, const Input& input);

} // namespace FileCardPaint
} // namespace tallymere
