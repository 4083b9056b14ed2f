#pragma once
// Trees, a store and offscreen renders shared by the canvas view tests.
#include "core/FileTree.h"
#include "state/AppState.h"
#include "style/Typography.h"
#include "support/TreeText.h"

#include <QCoreApplication>
#include <QImage>
#include <QWidget>

#include <cmath>
#include <memory>
#include <string>

namespace tallymere::test {

inline std::shared_ptr<MemoryPreferenceStore> vizStore() { return std::make_shared<MemoryPreferenceStore>(); }

inline void loadFonts() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }

// Shows the view offscreen at a size; a hidden widget hears of its size only once shown.
inline void showAt(QWidget& view, int width, int height) {
    view.resize(width, height);
    view.show();
    QCoreApplication::sendPostedEvents();
}

// The canvas as drawn, over transparency, at one pixel per logical pixel.
inline QImage renderCanvas(QWidget& canvas) {
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    canvas.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_ARGB32);
}

inline bool near(QColor a, QColor b, int tolerance = 6) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

inline int lightness(QColor c) { return c.red() + c.green() + c.blue(); }

// A folder of `count` files of `bytes` each.
inline std::shared_ptr<FileNode> wideTree(int count, std::int64_t bytes = 1000) {
    auto tree = std::make_shared<FileTree>();
    FileNode* root = tree->arena.makeNode("/wide", true, FileCategory::folder);
    std::vector<FileNode*> children;
    children.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        FileNode* file = tree->arena.makeNode("f" + std::to_string(i) + ".dat", false, FileCategory::data);
        file->size = file->allocated = bytes + i % 7;
        file->fileCount = 1;
        children.push_back(file);
    }
    tree->arena.setChildren(*root, children);
    rollup(*root);
    assignDepth(*root, 0);
    tree->root = root;
    return shareRoot(tree);
}

// A chain of `levels` folders, each holding the next and a small file; a larger file at the bottom.
inline std::shared_ptr<FileNode> deepTree(int levels) {
    auto tree = std::make_shared<FileTree>();
    NodeArena& arena = tree->arena;
    FileNode* root = arena.makeNode("/deep", true, FileCategory::folder);
    FileNode* folder = root;
    for (int level = 0; level < levels; ++level) {
        FileNode* next = arena.makeNode("d" + std::to_string(level), true, FileCategory::folder);
        FileNode* file = arena.makeNode("side.txt", false, FileCategory::document);
        file->size = file->allocated = 10;
        file->fileCount = 1;
        FileNode* both[] = {next, file};
        arena.setChildren(*folder, both);
        folder = next;
    }
    FileNode* bottom = arena.makeNode("bottom.bin", false, FileCategory::data);
    bottom->size = bottom->allocated = 1'000'000;
    bottom->fileCount = 1;
    FileNode* only[] = {bottom};
    arena.setChildren(*folder, only);
    rollup(*root);
    assignDepth(*root, 0);
    tree->root = root;
    return shareRoot(tree);
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
