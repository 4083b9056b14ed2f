// The filter road (debounced, built off the main thread) and navigation of the displayed tree.
#include "state/AppState.h"

#include "state/AppStateData.h"
#include "core/FilterEngine.h"

#include <QThreadPool>

namespace tallymere {

void AppState::scheduleFilter() {
    // Restarting the single-shot timer drops the pending re-filter: a burst of edits gives one.
    m->filterTimer.start();
}

void AppState::applyFilterNow() {
    // Any build still running describes an older filter, size mode or tree.
    const std::uint64_t generation = ++m->filterGeneration;
    m->filterTimer.stop();

    if (!m->root) {
        setIsFiltering(false);
        m->displayIndex.reset();
        showTree({}, {});
        return;
    }
    if (!m->filter.isActive()) {
        setIsFiltering(false);
        NodePtr focus = restoreFocus(m->root);
        m->displayIndex = m->rootIndex;
        showTree(m->root, std::move(focus));
        return;
    }

    setIsFiltering(true);
    std::optional<std::string> focusPath;
    if (m->focus) focusPath = m->focus->path();
    // The worker reads the scanned tree (finished, never changed again) and builds its own copy.
    QThreadPool::globalInstance()->start([this, generation, inbox = m->inbox, root = m->root, filter = m->filter,
                                          useAllocated = m->useAllocatedSize, focusPath = std::move(focusPath)] {
        NodePtr copy;
        std::shared_ptr<const CategoryIndex> index;
        try {
            copy = FilterEngine::prune(*root, filter, useAllocated, true);
            if (copy) index = CategoryIndex::build(copy);
        } catch (...) {
            copy.reset(); // out of memory: show nothing rather than a half-built copy
            index.reset();
        }
        inbox->post([this, generation, copy = std::move(copy), focusPath, index = std::move(index)]() mutable {
            finishFilter(generation, std::move(copy), std::move(focusPath), std::move(index));
        });
    });
}

void AppState::finishFilter(std::uint64_t generation, NodePtr copy, std::optional<std::string> focusPath,
                            std::shared_ptr<const CategoryIndex> index) {
    // A build that a newer filter, size mode or scan has replaced is dropped.
    if (generation != m->filterGeneration) return;
    setIsFiltering(false);
    NodePtr focus;
    if (copy) {
        focus = nodeAt(focusPath ? std::optional<std::string_view>(*focusPath) : std::nullopt, copy);
        if (!focus) focus = copy;
    }
    m->displayIndex = copy ? std::move(index) : nullptr;
    showTree(std::move(copy), std::move(focus));
}

AppState::NodePtr AppState::restoreFocus(const NodePtr& tree) const {
    std::optional<std::string> path;
    if (m->focus) path = m->focus->path();
    NodePtr found = nodeAt(path ? std::optional<std::string_view>(*path) : std::nullopt, tree);
    return found ? found : tree;
}

AppState::NodePtr AppState::nodeAt(std::optional<std::string_view> path, const NodePtr& tree) {
    if (!tree || !path || path->empty()) return {};
    const std::string treePath = tree->path();
    if (!path->starts_with(treePath)) return {};
    std::string_view rest = path->substr(treePath.size());
    // The prefix must end at a component boundary: "/a/bc" is not inside the tree "/a/b".
    if (!rest.empty() && rest.front() != '/' && !treePath.ends_with('/')) return {};

    const FileNode* current = tree.get();
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view piece = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (piece.empty()) continue;
        if (!current->hasChildren()) return {};
        const FileNode* match = nullptr;
        for (const FileNode* child : current->children())
            if (child->name() == piece) {
                match = child;
                break;
            }
        if (!match) return {};
        current = match;
    }
    return tallymere::share(tree, current);
}

void AppState::drill(const NodePtr& node) {
    if (!node || !node->isDirectory || !node->hasChildren()) return;
    setFocus(node);
    setSelection({});
}

void AppState::navigateUp() {
    if (!m->focus || !m->focus->parent) return;
    setFocus(tallymere::share(m->focus, m->focus->parent));
}

std::vector<AppState::NodePtr> AppState::focusChain() const {
    std::vector<NodePtr> chain;
    if (!m->focus) return chain;
    for (const FileNode* ancestor : m->focus->ancestors()) chain.push_back(tallymere::share(m->focus, ancestor));
    chain.push_back(m->focus);
    return chain;
}

} // namespace tallymere
