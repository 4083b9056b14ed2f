#pragma once
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRawFont>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <span>
#include <string_view>

class QPainter;

namespace tallymere::SymbolImage {

// Symbol images are named as the rest of the program names them ("folder.fill", "trash") and drawn
// from the Material Icons font. Every name the program uses has one entry here.
struct Entry {
    std::string_view name;     // the program's symbol name
    std::string_view material; // the Material Icons ligature name of the glyph
    char16_t codepoint = 0;    // that glyph's code point in the font
};

// The whole table, sorted by name.
std::span<const Entry> table();

// The glyph of a symbol name; none when the table has no such name.
std::optional<char16_t> codepoint(std::string_view name);

// The symbol font as loaded: the registered "Material Icons" family, else the file in the
// program's "Fonts" folder, else the system's copy. Invalid when none could be loaded. GUI thread.
const QRawFont& font();

// The glyph drawn for names missing from the table, so a typo shows as a visible question mark
// rather than as nothing.
inline constexpr char16_t missingGlyph = 0xE887; // "help"

// The image box of a symbol drawn at `pointSize`: a square a fifth larger than the size, because
// the icons keep a margin inside their em square.
QSizeF size(double pointSize);

// Draws the symbol centred in `box` at `pointSize`, in `color`. GUI thread (glyph outlines are
// cached there). Weights above regular thicken the
// outline, since the font has a single weight; lighter weights draw as regular.
void draw(QPainter& painter, const QRectF& box, std::string_view name, double pointSize,
          QFont::Weight weight, const QColor& color);

// The symbol as an image of size(pointSize), transparent around the glyph.
QPixmap pixmap(std::string_view name, double pointSize, QFont::Weight weight, const QColor& color,
               qreal devicePixelRatio = 1.0);

} // namespace tallymere::SymbolImage
