#include "views/components/NodeGlyph.h"

#include "core/FileNode.h"
#include "style/SymbolImage.h"

#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
bool plainFolder(const FileNode& node) { return node.isDirectory && !node.isPackage; }
} // namespace

NodeGlyph::NodeGlyph(const FileNode& node, double size, QWidget* parent)
    : ThemedWidget(parent), m_size(std::max(size, 0.0)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setNode(node);
}

void NodeGlyph::setNode(const FileNode& node) {
    m_isPlainFolder = plainFolder(node);
    m_category = node.category;
    update();
}

std::string_view NodeGlyph::symbolName(bool isPlainFolder, FileCategory category) {
    return isPlainFolder ? std::string_view("folder.fill") : FileCategories::symbol(category);
}

QColor NodeGlyph::color(const Theme& theme, bool isPlainFolder, FileCategory category) {
    return isPlainFolder ? theme.textSecondary : theme.category(category);
}

std::string_view NodeGlyph::symbolName(const FileNode& node) { return symbolName(plainFolder(node), node.category); }

QColor NodeGlyph::color(const Theme& theme, const FileNode& node) {
    return color(theme, plainFolder(node), node.category);
}

QSizeF NodeGlyph::frameSize(double size) { return {size + 4, SymbolImage::size(size).height()}; }

void NodeGlyph::paint(QPainter& painter, const QRectF& rect, const Theme& theme, const FileNode& node, double size) {
    SymbolImage::draw(painter, rect, symbolName(node), size, QFont::Medium, color(theme, node));
}

QSize NodeGlyph::sizeHint() const {
    const QSizeF frame = frameSize(m_size);
    return {int(std::ceil(frame.width())), int(std::ceil(frame.height()))};
}

void NodeGlyph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    SymbolImage::draw(painter, QRectF(rect()), symbolName(m_isPlainFolder, m_category), m_size, QFont::Medium,
                      color(theme(), m_isPlainFolder, m_category));
}

} // namespace tallymere
