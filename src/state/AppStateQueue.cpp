// The cleanup queue, the share of a node, and the folder chooser.
#include "state/AppState.h"
#include "base/Saturating.h"

#include "state/AppStateData.h"
#include "core/ByteFormat.h"
#include "services/DuplicateFinder.h"
#include "core/PlaceMarks.h"
#include "platform/PathGate.h"
#include "platform/Places.h"
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

// Messages and duplicate ties of items no longer staged are dropped, so an item staged again
// starts without them.
using Guards = std::unordered_map<std::string, CopyGuard>;
void forgetUnstaged(std::unordered_map<std::string, std::string>& failures, Guards& guards, const Queue& queue) {
    if (failures.empty() && guards.empty()) return;
    std::unordered_set<std::string> staged;
    for (const AppState::NodePtr& item : queue) staged.insert(item->path());
    std::erase_if(failures, [&](const auto& entry) { return !staged.contains(entry.first); });
    std::erase_if(guards, [&](const auto& entry) { return !staged.contains(entry.first); });
}

// Whether `path` would leave with the queue: it is staged, or lies inside a staged folder.
bool isLeaving(const Queue& queue, const std::string& path) {
    return std::any_of(queue.begin(), queue.end(), [&](const AppState::NodePtr& item) {
        const std::string itemPath = item->path();
        return itemPath == path || isInsideFolder(path, itemPath);
    });
}

// Ties copy `index` of a group, when it is staged as itself, to the group's other copies.
void guardCopy(Guards& guards, const Queue& queue, const DuplicateFinder::Group& group, std::size_t index) {
    const std::string path = group.files[index]->path();
    if (std::none_of(queue.begin(), queue.end(), [&](const auto& item) { return item->path() == path; })) return;
    const auto identity = [&](std::size_t i) {
        return i < group.identities.size() ? group.identities[i] : DuplicateFiles::Identity{};
    };
    CopyGuard guard{.size = group.size, .self = identity(index), .others = {}};
    for (std::size_t i = 0; i < group.files.size(); ++i)
        if (i != index && group.files[i]) guard.others.emplace_back(group.files[i], identity(i));
    guards[path] = std::move(guard);
}

// Why a staged copy of a duplicate group may not move now; empty when it may. Asked before any
// item moves, of the whole queue: a copy that goes with this same emptying is no copy left, and
// neither is one in a Trash (as its scan marked it, or as the places are now), which goes when the
// Trash is emptied.
std::string whyCopyStays(const Queue& queue, const std::string& path, const CopyGuard& guard,
                         const PlaceRegistry& places) {
    const std::string name = oneLine(PathText::lastComponent(path));
    // Each look goes through the gate: a copy on a mount that stopped answering is told so within
    // its bound, never waited for on the window's thread.
    using DuplicateFinder::Standing;
    switch (DuplicateFinder::standing(path, guard.self, guard.size)) {
    case Standing::asCompared: break;
    case Standing::notAnswering: return PathGate::message(PathGate::notAnswering);
    case Standing::changed: return name + " changed since the scan";
    }
    bool inTrash = false;
    for (const auto& [other, identity] : guard.others) {
        const std::string otherPath = other->path();
        // A copy whose file system does not answer cannot be vouched for.
        if (isLeaving(queue, otherPath) || DuplicateFinder::standing(otherPath, identity, guard.size) != Standing::asCompared)
            continue;
        if (!PlaceMarks::isInTrash(*other) && !Places::isInTrash(places, otherPath)) return {};
        inTrash = true;
    }
    return "No other copy of " + name + (inTrash ? " is left outside the Trash" : " is left as the search found it");
}

// The item staged for a node. A folder of the filtered copy holds only what passed the filter, yet
// moving it moves everything it holds: the scanned tree's folder at its path is staged instead, so
// the sizes confirmed, moved and reported are those of all that goes to the Trash.
AppState::NodePtr wholeItem(const AppState::NodePtr& node, const AppState::NodePtr& scanned) {
    if (!node || !scanned || !node->isDirectory || node->isPackage) return node;
    const FileNode* top = node.get();
    while (top->parent) top = top->parent;
    const FileNode* scannedTop = scanned.get();
    while (scannedTop->parent) scannedTop = scannedTop->parent;
    if (top == scannedTop) return node;
    AppState::NodePtr whole = AppState::nodeAt(node->path(), scanned);
    return whole ? whole : node;
}

} // namespace

bool AppState::isQueued(const FileNode* node) const {
    return node && findItem(m->queue, node) != m->queue.end();
}

void AppState::toggleQueue(const NodePtr& node) {
    if (!node) return;
    if (auto found = findItem(m->queue, node.get()); found != m->queue.end()) {
        m->queue.erase(found);
        forgetUnstaged(m->trashFailures, m->copyGuards, m->queue);
        emit queueChanged();
        return;
    }
    enqueue(node);
}

std::optional<std::string> AppState::whyNotStaged(const FileNode* node) const {
    if (!node || !PlaceMarks::isRefused(*node)) return std::nullopt;
    return PlaceMarks::whyRefused(*node, m->places ? *m->places : PlaceRegistry{});
}

void AppState::enqueue(const NodePtr& node) {
    const NodePtr item = wholeItem(node, m->root);
    if (!item) return;
    // Staged, it would promise space that the move then refuses.
    if (const std::optional<std::string> refused = whyNotStaged(item.get())) {
        setBanner(Banner::make(Banner::Kind::error,
                               QStringLiteral("Could not stage ") +
                                   QString::fromStdString(oneLine(PathText::lastComponent(item->path()))),
                               QString::fromStdString(oneLine(*refused))));
        return;
    }
    if (!stage(m->queue, item)) return;
    forgetUnstaged(m->trashFailures, m->copyGuards, m->queue);
    emit queueChanged();
}

std::vector<const FileNode*> AppState::stageable(const std::vector<const FileNode*>& nodes, std::size_t limit) const {
    std::vector<const FileNode*> result;
    for (const FileNode* node : nodes) {
        if (result.size() >= limit) break;
        if (node && !PlaceMarks::isRefused(*node)) result.push_back(node);
    }
    return result;
}

void AppState::stageExtras(const DuplicateFinder::Group& group) {
    const std::vector<NodePtr>& copies = group.files;
    if (copies.size() < 2 || !copies.front()) return;
    if (isLeaving(m->queue, copies.front()->path())) return;
    for (std::size_t i = 1; i < copies.size(); ++i) {
        if (!copies[i]) continue;
        enqueue(copies[i]);
        guardCopy(m->copyGuards, m->queue, group, i);
    }
}

void AppState::toggleCopy(const DuplicateFinder::Group& group, std::size_t index) {
    if (index >= group.files.size() || !group.files[index]) return;
    toggleQueue(group.files[index]);
    guardCopy(m->copyGuards, m->queue, group, index);
}

void AppState::setQueue(std::vector<NodePtr> queue) {
    std::vector<NodePtr> staged;
    for (const NodePtr& node : queue) stage(staged, node);
    if (!assign(m->queue, std::move(staged))) return;
    forgetUnstaged(m->trashFailures, m->copyGuards, m->queue);
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
    std::vector<std::string> movable;
    std::unordered_map<std::string, std::int64_t> sizes;
    // Each item moves only while its name still stands for what was scanned.
    std::unordered_map<std::string, FreedesktopTrash::Identity> identities;
    // Copies of a duplicate group that must stay, with why; decided before anything moves.
    std::unordered_map<std::string, std::string> held;
    // The places as they are now, looked at once for every item: each moves only when it is none
    // of them, whatever its scan marked.
    const PlaceRegistry places = Places::lookAt(Places::Sources::current());
    paths.reserve(m->queue.size());
    for (const NodePtr& item : m->queue) {
        paths.push_back(item->path());
        if (const auto guard = m->copyGuards.find(paths.back()); guard != m->copyGuards.end()) {
            if (std::string why = whyCopyStays(m->queue, paths.back(), guard->second, places); !why.empty()) {
                held.emplace(paths.back(), std::move(why));
                continue;
            }
        }
        movable.push_back(paths.back());
        sizes[paths.back()] = item->bytes(m->useAllocatedSize);
        if (const auto identity = TrashService::identityOf(*item)) identities[paths.back()] = *identity;
    }

    TrashService::Outcome outcome = TrashService::trashScanned(movable, sizes, identities, places);
    setLastReclaim(outcome.freed);
    if (!held.empty()) {
        // Failures in the queue's order, the held copies among them.
        std::unordered_map<std::string, std::string> reasons(outcome.failed.begin(), outcome.failed.end());
        reasons.merge(held);
        outcome.failed.clear();
        for (const std::string& path : paths)
            if (const auto reason = reasons.find(path); reason != reasons.end()) outcome.failed.emplace_back(path, reason->second);
    }

    m->trashFailures = {outcome.failed.begin(), outcome.failed.end()};
    const std::unordered_set<std::string> moved(outcome.trashed.begin(), outcome.trashed.end());
    std::vector<NodePtr> remaining;
    for (std::size_t i = 0; i < m->queue.size(); ++i)
        if (!moved.contains(paths[i])) remaining.push_back(m->queue[i]);
    if (remaining.size() != m->queue.size()) {
        m->queue = std::move(remaining);
        forgetUnstaged(m->trashFailures, m->copyGuards, m->queue);
        emit queueChanged();
    }

    refreshVolumes();

    if (!outcome.failed.empty()) {
        setBanner(Banner::make(Banner::Kind::warning,
                               itemCount(outcome.failed.size()) + QStringLiteral(" could not be moved"),
                               // The reason can hold a name: one line, nothing in it reordered.
                               QString::fromStdString(
                                   PathText::namedReason(outcome.failed.front().first, outcome.failed.front().second))));
    } else {
        setBanner(Banner::make(Banner::Kind::success,
                               QStringLiteral("Moved ") + itemCount(outcome.trashed.size()) +
                                   QStringLiteral(" to Trash"),
                               QString::fromStdString(ByteFormat::unbroken(outcome.freed, false)) +
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
    if (m->desktop.inner) m->desktop.inner->setLateFailure({});
    m->desktop.inner = desktop;
    if (desktop)
        desktop->setLateFailure([this](DesktopActions::Action action, const std::string& path, const std::string& reason) {
            m->desktop.report(action, path, reason);
        });
}

void AppState::openItem(const NodePtr& node) {
    if (!node) return;
    const std::string path = node->path();
    if (const auto identity = TrashService::identityOf(*node)) {
        if (auto changed = FreedesktopTrash::whyChanged(path, *identity)) {
            setBanner(Banner::make(Banner::Kind::error,
                                   QStringLiteral("Could not open ") +
                                       QString::fromStdString(oneLine(PathText::lastComponent(path))),
                                   QString::fromStdString(repairUtf8(*changed))));
            return;
        }
    }
    m->desktop.open(path);
}

namespace {

QString itemName(const std::string& path) {
    return QString::fromStdString(oneLine(PathText::lastComponent(path)));
}

} // namespace

std::optional<std::string> ReportingDesktop::reveal(const std::vector<std::string>& paths) {
    if (!inner || paths.empty()) return std::nullopt;
    std::optional<std::string> failure = inner->reveal(paths);
    if (failure) report(Action::reveal, paths.front(), *failure);
    return failure;
}

std::optional<std::string> ReportingDesktop::open(const std::string& path) {
    if (!inner) return std::nullopt;
    std::optional<std::string> failure = inner->open(path);
    if (failure) report(Action::open, path, *failure);
    return failure;
}

void ReportingDesktop::report(Action action, const std::string& path, const std::string& reason) {
    const QString title = action == Action::reveal ? QStringLiteral("Could not reveal ") : QStringLiteral("Could not open ");
    m_store.setBanner(AppState::Banner::make(AppState::Banner::Kind::error, title + itemName(path),
                                             QString::fromStdString(repairUtf8(reason))));
}

} // namespace tallymere
