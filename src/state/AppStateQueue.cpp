// The cleanup queue, the share of a node, and the folder chooser.
#include "state/AppState.h"
#include "base/Saturating.h"

#include "state/AppStateData.h"
#include "core/ByteFormat.h"
#include "services/TrashService.h"
#include "base/PathText.h"
#include "base/Utf8.h"

#include <QFile>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace tallymere {

namespace {

QString itemCount(std::size_t count) {
    return QString::number(count) + (count == 1 ? QStringLiteral(" item") : QStringLiteral(" items"));
}

// Whether `path` lies inside `folder`: it begins with the folder's path followed by "/". Never
// asked of "/", which is not staged.
bool isInsideFolder(std::string_view path, std::string_view folder) {
    return path.size() > folder.size() + 1 && path.starts_with(folder) && path[folder.size()] == '/';
}

// The staged item for a node: the node itself, else an item with the same path (the same file
// reached through another tree); end() when none.
using Queue = std::vector<AppState::NodePtr>;
Queue::const_iterator findItem(const Queue& queue, const FileNode* node) {
    auto found = std::find_if(queue.begin(), queue.end(), [&](const auto& item) { return item.get() == node; });
    if (found != queue.end()) return found;
    const std::string path = node->path();
    return std::find_if(queue.begin(), queue.end(), [&](const auto& item) { return item->path() == path; });
}

// Staging rule over a list: the same path is one item, nothing inside a staged folder is added,
// and a folder replaces what was staged inside it. "/" is never staged: nothing can move it to the
// Trash, and as a folder it would swallow every other item.
bool stage(Queue& queue, const AppState::NodePtr& node) {
    if (!node) return false;
    const std::string path = node->path();
    if (path == "/") return false;
    for (const AppState::NodePtr& item : queue) {
        if (item == node) return false;
        const std::string itemPath = item->path();
        if (itemPath == path || isInsideFolder(path, itemPath)) return false;
    }
    std::erase_if(queue, [&](const AppState::NodePtr& item) { return isInsideFolder(item->path(), path); });
    queue.push_back(node);
    return true;
}

// Messages of items no longer staged are dropped, so an item staged again starts without one.
void forgetUnstaged(std::unordered_map<std::string, std::string>& failures, const Queue& queue) {
    if (failures.empty()) return;
    std::unordered_set<std::string> staged;
    for (const AppState::NodePtr& item : queue) staged.insert(item->path());
    std::erase_if(failures, [&](const auto& entry) { return !staged.contains(entry.first); });
}

} // namespace

bool AppState::isQueued(const FileNode* node) const {
    return node && findItem(m->queue, node) != m->queue.end();
}

void AppState::toggleQueue(const NodePtr& node) {
    if (!node) return;
    if (auto found = findItem(m->queue, node.get()); found != m->queue.end()) {
        m->queue.erase(found);
        forgetUnstaged(m->trashFailures, m->queue);
        emit queueChanged();
        return;
    }
    enqueue(node);
}

void AppState::enqueue(const NodePtr& node) {
    if (!stage(m->queue, node)) return;
    forgetUnstaged(m->trashFailures, m->queue);
    emit queueChanged();
}

void AppState::stageExtras(const std::vector<NodePtr>& copies) {
    if (copies.size() < 2 || !copies.front()) return;
    const std::string kept = copies.front()->path();
    for (const NodePtr& item : m->queue) {
        const std::string itemPath = item->path();
        if (item == copies.front() || itemPath == kept || isInsideFolder(kept, itemPath)) return;
    }
    for (std::size_t i = 1; i < copies.size(); ++i) enqueue(copies[i]);
}

void AppState::setQueue(std::vector<NodePtr> queue) {
    std::vector<NodePtr> staged;
    for (const NodePtr& node : queue) stage(staged, node);
    if (!assign(m->queue, std::move(staged))) return;
    forgetUnstaged(m->trashFailures, m->queue);
    emit queueChanged();
}

std::int64_t AppState::queueTotal() const {
    std::int64_t total = 0;
    for (const NodePtr& item : m->queue) total = saturatingAdd(total, item->bytes(m->useAllocatedSize));
    return total;
}

void AppState::emptyQueue() {
    if (m->queue.empty()) return;

    // Every queued node keeps its tree alive, so these are the items' full, absolute paths.
    std::vector<std::string> paths;
    std::unordered_map<std::string, std::int64_t> sizes;
    // Each item moves only while its name still stands for what was scanned.
    std::unordered_map<std::string, FreedesktopTrash::Identity> identities;
    paths.reserve(m->queue.size());
    for (const NodePtr& item : m->queue) {
        paths.push_back(item->path());
        sizes[paths.back()] = item->bytes(m->useAllocatedSize);
        if (const auto identity = TrashService::identityOf(*item)) identities[paths.back()] = *identity;
    }

    const TrashService::Outcome outcome = TrashService::trashScanned(paths, sizes, identities);
    setLastReclaim(outcome.freed);

    m->trashFailures = {outcome.failed.begin(), outcome.failed.end()};
    const std::unordered_set<std::string> moved(outcome.trashed.begin(), outcome.trashed.end());
    std::vector<NodePtr> remaining;
    for (std::size_t i = 0; i < m->queue.size(); ++i)
        if (!moved.contains(paths[i])) remaining.push_back(m->queue[i]);
    if (remaining.size() != m->queue.size()) {
        m->queue = std::move(remaining);
        emit queueChanged();
    }

    refreshVolumes();

    if (!outcome.failed.empty()) {
        setBanner(Banner::make(Banner::Kind::warning,
                               itemCount(outcome.failed.size()) + QStringLiteral(" could not be moved"),
                               // The reason can hold a name: one line, nothing in it reordered.
                               QString::fromStdString(oneLine(outcome.failed.front().second))));
    } else {
        setBanner(Banner::make(Banner::Kind::success,
                               QStringLiteral("Moved ") + itemCount(outcome.trashed.size()) +
                                   QStringLiteral(" to Trash"),
                               QString::fromStdString(ByteFormat::string(outcome.freed, false)) +
                                   QStringLiteral(" will be reclaimed when the Trash is emptied.")));
    }
}

std::optional<std::string> AppState::trashFailure(const FileNode* node) const {
    if (!node || m->trashFailures.empty()) return std::nullopt;
    const auto item = findItem(m->queue, node);
    if (item == m->queue.end()) return std::nullopt;
    const auto found = m->trashFailures.find((*item)->path());
    if (found == m->trashFailures.end()) return std::nullopt;
    return found->second;
}

double AppState::share(const FileNode* node) const {
    if (!m->displayRoot || !node) return 0;
    const std::int64_t total = m->displayRoot->bytes(m->useAllocatedSize);
    if (total < 1) return 0;
    return static_cast<double>(node->bytes(m->useAllocatedSize)) / static_cast<double>(total);
}

void AppState::chooseFolder() {
    const std::optional<std::string> path = m->folderChooser ? m->folderChooser() : std::nullopt;
    if (!path || path->empty()) return;
    scan(ScanTarget::folder(*path));
}

void AppState::setFolderChooser(FolderChooser chooser) {
    m->folderChooser = std::move(chooser);
}

DesktopActions& AppState::desktop() const {
    return m->desktop;
}

void AppState::setDesktop(DesktopActions* desktop) {
    m->desktop.inner = desktop;
}

namespace {

QString itemName(const std::string& path) {
    return QString::fromStdString(oneLine(PathText::lastComponent(path)));
}

} // namespace

std::optional<std::string> ReportingDesktop::reveal(const std::vector<std::string>& paths) {
    if (!inner || paths.empty()) return std::nullopt;
    std::optional<std::string> failure = inner->reveal(paths);
    if (failure)
        m_store.setBanner(AppState::Banner::make(AppState::Banner::Kind::error,
                                                 QStringLiteral("Could not reveal ") + itemName(paths.front()),
                                                 QString::fromStdString(repairUtf8(*failure))));
    return failure;
}

std::optional<std::string> ReportingDesktop::open(const std::string& path) {
    if (!inner) return std::nullopt;
    std::optional<std::string> failure = inner->open(path);
    if (failure)
        m_store.setBanner(AppState::Banner::make(AppState::Banner::Kind::error, QStringLiteral("Could not open ") + itemName(path),
                                                 QString::fromStdString(repairUtf8(*failure))));
    return failure;
}

} // namespace tallymere
