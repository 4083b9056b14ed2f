#pragma once
#include "core/FileCategory.h"
#include "views/components/ThemedWidget.h"

#include <string_view>

namespace tallymere {

class FileNode;

// The symbol of a file-tree node: "folder.fill" in textSecondary for a plain folder, otherwise the
// category's symbol in the category colour (so a package shows its category's symbol), drawn at
// `size` in medium weight in a frame `size` + 4 wide. The widget keeps only what it draws (the
// folder flag and the category), never the node.
class NodeGlyph : public ThemedWidget {
    Q_OBJECT
public:
    NodeGlyph(const FileNode& node, double size, QWidget* parent = nullptr);

    void setNode(const FileNode& node);
    bool isPlainFolder() const { return m_isPlainFolder; }
    FileCategory category() const { return m_category; }

    static std::string_view symbolName(bool isPlainFolder, FileCategory category);
    static QColor color(const Theme& theme, bool isPlainFolder, FileCategory category);
    static std::string_view symbolName(const FileNode& node);
    static QColor color(const Theme& theme, const FileNode& node);

    // The glyph's frame: `size` + 4 wide, as high as the symbol image.
    static QSizeF frameSize(double size);
    // The glyph centred in `rect`, for canvases and table rows.
    static void paint(QPainter& painter, const QRectF& rect, const Theme& theme, const FileNode& node, double size);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_size;
    bool m_isPlainFolder = false;
    FileCategory m_category = FileCategory::data;
};

} // namespace tallymere
