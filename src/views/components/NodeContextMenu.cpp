#include "views/components/NodeContextMenu.h"

#include "base/Utf8.h"

#include <QAction>
#include <QMenu>

namespace tallymere::NodeContextMenu {

namespace {

bool canFocus(const FileNode& node) { return node.isDirectory && node.hasChildren(); }

} // namespace

void copyPath(AppState& state, const FileNode& node) {
    const std::string path = node.path();
    if (isValidUtf8(path)) {
        state.desktop().copyText(path);
        return;
    }
    state.desktop().copyText(repairUtf8(path));
    state.setBanner(AppState::Banner::make(
        AppState::Banner::Kind::warning, QStringLiteral("Path copied with replacement characters"),
        QStringLiteral("Part of this path is not valid UTF-8, so \uFFFD stands in for those bytes.")));
}

void populate(QMenu& menu, AppState& state, const AppState::NodePtr& node) {
    if (!node) return;
    AppState* store = &state;
    QObject::connect(menu.addAction(openTitle), &QAction::triggered, &menu,
                     [store, node] { store->openItem(node); });
    QObject::connect(menu.addAction(revealTitle), &QAction::triggered, &menu,
                     [store, node] { store->desktop().reveal({node->path()}); });
    QObject::connect(menu.addAction(quickLookTitle), &QAction::triggered, &menu,
                     [store, node] { store->desktop().preview({node->path()}); });
    menu.addSeparator();
    if (canFocus(*node)) {
        QObject::connect(menu.addAction(focusTitle), &QAction::triggered, &menu, [store, node] {
            // The tree may have been replaced while the menu was open; the node still holds its own.
            if (!canFocus(*node)) return;
            store->setFocus(node);
            store->setSelection({});
        });
    }
    QObject::connect(menu.addAction(copyTitle), &QAction::triggered, &menu,
                     [store, node] { copyPath(*store, *node); });
    menu.addSeparator();
    const QString queueTitle = state.isQueued(node.get()) ? removeTitle : addTitle;
    QObject::connect(menu.addAction(queueTitle), &QAction::triggered, &menu,
                     [store, node] { store->toggleQueue(node); });
}

QMenu* create(AppState& state, const AppState::NodePtr& node, QWidget* parent) {
    if (!node) return nullptr;
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    populate(*menu, state, node);
    return menu;
}

AppState::NodePtr menuTarget(const AppState& state) { return state.hovered() ? state.hovered() : state.selection(); }

} // namespace tallymere::NodeContextMenu
