#pragma once
// Trees, a store and offscreen renders shared by the circle-pack, icicle and mind-map tests.
#include "core/FileTree.h"
#include "state/AppState.h"
#include "style/Theme.h"
#include "style/Typography.h"
#include "support/DisplayTree.h"
#include "support/TreeText.h"
#include "views/viz/CanvasTestSupport.h"

#include <QCoreApplication>
#include <QImage>

#include <memory>
#include <string>

namespace tallymere::test {

inline void loadFonts() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }

// Shows the view offscreen at a size; a hidden widget hears of its size only once shown.
inline void showAt(QWidget& view, int width, int height) {
    view.resize(width, height);
    view.show();
    QCoreApplication::sendPostedEvents();
}

// The widget as drawn, over transparency, at one pixel per logical pixel.
inline QImage renderCanvas(QWidget& canvas) {
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    canvas.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_ARGB32);
}

inline int lightness(QColor c) { return c.red() + c.green() + c.blue(); }

// A pixel the canvas left bare: the window's backdrop, which every canvas lays its picture on.
inline bool isBackdrop(QColor c, const Theme& theme = Theme()) {
    const QColor b = theme.background;
    return c.alpha() == 255 && std::abs(c.red() - b.red()) <= 1 && std::abs(c.green() - b.green()) <= 1 &&
           std::abs(c.blue() - b.blue()) <= 1;
}

// A tree built by `fill` on a fresh arena, rolled up, as a held root.
template <class Fill>
std::shared_ptr<FileNode> builtTree(const char* rootName, Fill fill) {
    auto tree = std::make_shared<FileTree>();
    tree->root = tree->arena.makeNode(rootName, true, FileCategory::folder);
    fill(tree->arena, *tree->root);
    rollup(*tree->root);
    assignDepth(*tree->root, 0);
    return shareRoot(tree);
}

inline FileNode* fileOf(NodeArena& arena, const std::string& name, std::int64_t bytes) {
    FileNode* file = arena.makeNode(name, false, FileCategory::data);
    file->size = file->allocated = bytes;
    file->fileCount = 1;
    return file;
}

// A folder of `count` files.
inline std::shared_ptr<FileNode> wideTree(int count) {
    return builtTree("/wide", [count](NodeArena& arena, FileNode& root) {
        std::vector<FileNode*> files;
        for (int i = 0; i < count; ++i) files.push_back(fileOf(arena, "f" + std::to_string(i), 1000 + i % 7));
        arena.setChildren(root, files);
    });
}

// A chain of `levels` folders, each holding the next and a small file, a large file at the bottom.
inline std::shared_ptr<FileNode> deepTree(int levels) {
    return builtTree("/deep", [levels](NodeArena& arena, FileNode& root) {
        FileNode* folder = &root;
        for (int level = 0; level < levels; ++level) {
            FileNode* next = arena.makeNode("d" + std::to_string(level), true, FileCategory::folder);
            FileNode* both[] = {next, fileOf(arena, "side.txt", 10)};
            arena.setChildren(*folder, both);
            folder = next;
        }
        FileNode* bottom[] = {fileOf(arena, "bottom.bin", 1'000'000)};
        arena.setChildren(*folder, bottom);
    });
}

// The first node named `name` in pre-order, or null.
inline const FileNode* findNode(const FileNode& root, std::string_view name) {
    const FileNode* found = nullptr;
    root.walk([&](const FileNode& node) {
        if (!found && node.name() == name) found = &node;
        return !found;
    });
    return found;
}

} // namespace tallymere::test
