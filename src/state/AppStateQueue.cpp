// The cleanup queue, the share of a node, and the folder chooser.
#include "state/AppState.h"
#include "base/Saturating.h"

#include "state/AppStateData.h"
#include "core/ByteFormat.h"
#include "core/CleanupPreset.h"
#include "services/DuplicateFinder.h"
#include "core/PlaceMarks.h"
#include "platform/PathGate.h"
#include "platform/Places.h"
#include "services/TrashService.h"
#include "base/PathText.h"
#include "base/Utf8.h"

#include <QFile>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace tallymere {

namespace {

QString itemCount(std::size_t count) {
    return QString::number(count) + (count == 1 ? QStringLiteral(" item") : QStringLiteral(" items"));
}

// Messages and duplicate ties of items no longer staged are dropped, so an item staged again
// starts without them; so are the records of groups no staged copy holds any more.
using Guards = std::unordered_map<std::string, CopyGuard>;
using GuardedGroups = std::unordered_map<Uuid, std::weak_ptr<const DuplicateFinder::Group>>;
void forgetUnstaged(std::unordered_map<std::string, std::string>& failures, Guards& guards, GuardedGroups& groups,
                    const StagedQueue& queue) {
    std::erase_if(failures, [&](const auto& entry) { return !queue.findPath(entry.first); });
    std::erase_if(guards, [&](const auto& entry) { return !queue.findPath(entry.first); });
    std::erase_if(groups, [](const auto& entry) { return entry.second.expired(); });
}

// The one record of `group` that its staged copies share.
std::shared_ptr<const DuplicateFinder::Group> recordOf(GuardedGroups& groups, const DuplicateFinder::Group& group) {
    std::weak_ptr<const DuplicateFinder::Group>& held = groups[group.id];
    std::shared_ptr<const DuplicateFinder::Group> record = held.lock();
    if (!record) held = record = std::make_shared<const DuplicateFinder::Group>(group);
    return record;
}

// Ties each copy of `indices`, where it is staged as itself, to its group.
void guardCopies(Guards& guards, GuardedGroups& groups, const StagedQueue& queue, const DuplicateFinder::Group& group,
                 const std::vector<std::size_t>& indices) {
    std::shared_ptr<const DuplicateFinder::Group> record;
    for (const std::size_t index : indices) {
        std::string path = group.files[index]->path();
        if (!queue.findPath(path)) continue;
        if (!record) record = recordOf(groups, group);
        guards[std::move(path)] = CopyGuard{.group = record, .index = index};
    }
}

// What is known of copy `index` of a group as the search compared it; a default identity where
// the group does not say.
DuplicateFiles::Identity identityIn(const DuplicateFinder::Group& group, std::size_t index) {
    return index < group.identities.size() ? group.identities[index] : DuplicateFiles::Identity{};
}

// Why the staged copies of `group` stay, for whichever of them asks: empty while another copy, not
// leaving with this emptying and outside every Trash, is still as the search compared it. A copy
// that goes with this same emptying is no copy left, and neither is one in a Trash (as its scan
// marked it, or as the places are now), which goes when the Trash is emptied. Each look goes
// through the gate: a copy whose file system does not answer cannot be vouched for.
std::string whyGroupStays(const StagedQueue& leaving, const DuplicateFinder::Group& group, const PlaceRegistry& places) {
    bool inTrash = false;
    for (std::size_t i = 0; i < group.files.size(); ++i) {
        if (!group.files[i]) continue;
        const std::string path = group.files[i]->path();
        if (leaving.holds(path) ||
            DuplicateFinder::standing(path, identityIn(group, i), group.size) != DuplicateFinder::Standing::asCompared)
            continue;
        if (!PlaceMarks::isInTrash(*group.files[i]) && !Places::isInTrash(places, path)) return {};
        inTrash = true;
    }
    return inTrash ? " is left outside the Trash" : " is left as the search found it";
}

// Why a staged copy of a duplicate group may not move now; empty when it may. The group's part
// is worked out once per emptying, for all its copies.
std::string whyCopyStays(QueueMove& move, const PlaceRegistry& places, const std::string& path, const CopyGuard& guard) {
    const DuplicateFinder::Group& group = *guard.group;
    const std::string name = oneLine(PathText::lastComponent(path));
    // Never waited for on the window's thread: a copy on a mount that stopped answering says so
    // within the gate's bound.
    switch (DuplicateFinder::standing(path, identityIn(group, guard.index), group.size)) {
    case DuplicateFinder::Standing::asCompared: break;
    case DuplicateFinder::Standing::notAnswering: return PathGate::message(PathGate::notAnswering);
    case DuplicateFinder::Standing::changed: return name + " changed since the scan";
    }
    auto verdict = move.verdicts.find(&group);
    if (verdict == move.verdicts.end())
        verdict = move.verdicts.emplace(&group, whyGroupStays(move.leaving, group, places)).first;
    return verdict->second.empty() ? std::string() : "No other copy of " + name + verdict->second;
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
    return m->queue.find(node).has_value();
}

void AppState::toggleQueue(const NodePtr& node) {
    if (!node) return;
    if (const auto found = m->queue.find(node.get())) {
        m->queue.removeIf([&](std::size_t index) { return index == *found; });
        forgetUnstaged(m->trashFailures, m->copyGuards, m->guardedGroups, m->queue);
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
    if (!node) return;
    std::optional<Banner> refusal;
    const bool changed = stageQuietly({node}, refusal);
    tellStaged(changed, std::move(refusal));
}

void AppState::enqueue(const std::vector<NodePtr>& nodes) {
    std::optional<Banner> refusal;
    const bool changed = stageQuietly(nodes, refusal);
    tellStaged(changed, std::move(refusal));
}

bool AppState::stageQuietly(const std::vector<NodePtr>& nodes, std::optional<Banner>& refusal) {
    std::vector<NodePtr> items;
    items.reserve(nodes.size());
    for (const NodePtr& node : nodes) {
        NodePtr item = wholeItem(node, m->root);
        if (!item) continue;
        // Staged, it would promise space that the move then refuses.
        if (const std::optional<std::string> refused = whyNotStaged(item.get())) {
            refusal = Banner::make(Banner::Kind::error,
                                   QStringLiteral("Could not stage ") +
                                       QString::fromStdString(oneLine(PathText::lastComponent(item->path()))),
                                   QString::fromStdString(oneLine(*refused)));
            continue;
        }
        items.push_back(std::move(item));
    }
    return m->queue.stage(items);
}

void AppState::tellStaged(bool changed, std::optional<Banner> refusal) {
    if (refusal) setBanner(std::move(refusal));
    if (!changed) return;
    forgetUnstaged(m->trashFailures, m->copyGuards, m->guardedGroups, m->queue);
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
    std::optional<Banner> refusal;
    const bool changed = stageExtrasQuietly(group, refusal);
    tellStaged(changed, std::move(refusal));
}

void AppState::stageExtras(const std::vector<DuplicateFinder::Group>& groups) {
    std::optional<Banner> refusal;
    bool changed = false;
    for (const DuplicateFinder::Group& group : groups) changed = stageExtrasQuietly(group, refusal) || changed;
    tellStaged(changed, std::move(refusal));
}

bool AppState::stageExtrasQuietly(const DuplicateFinder::Group& group, std::optional<Banner>& refusal) {
    const std::vector<NodePtr>& copies = group.files;
    if (copies.size() < 2 || !copies.front()) return false;
    if (m->queue.holds(copies.front()->path())) return false;
    std::vector<NodePtr> extras;
    std::vector<std::size_t> indices;
    for (std::size_t i = 1; i < copies.size(); ++i) {
        if (!copies[i]) continue;
        extras.push_back(copies[i]);
        indices.push_back(i);
    }
    const bool changed = stageQuietly(extras, refusal);
    guardCopies(m->copyGuards, m->guardedGroups, m->queue, group, indices);
    return changed;
}

void AppState::toggleCopy(const DuplicateFinder::Group& group, std::size_t index) {
    if (index >= group.files.size() || !group.files[index]) return;
    toggleQueue(group.files[index]);
    guardCopies(m->copyGuards, m->guardedGroups, m->queue, group, {index});
}

void AppState::setQueue(std::vector<NodePtr> queue) {
    StagedQueue staged;
    staged.stage(queue);
    if (staged.items() == m->queue.items()) return;
    m->queue = std::move(staged);
    forgetUnstaged(m->trashFailures, m->copyGuards, m->guardedGroups, m->queue);
    emit queueChanged();
}

std::int64_t AppState::queueTotal() const {
    std::int64_t total = 0;
    for (const NodePtr& item : m->queue.items()) total = saturatingAdd(total, item->bytes(m->useAllocatedSize));
    return total;
}

bool AppState::isEmptying() const {
    return m->move != nullptr;
}

void AppState::emptyQueue() {
    if (m->queue.empty() || m->move) return;
    m->move = std::make_unique<QueueMove>();
    m->move->leaving = m->queue;
    m->move->told = std::chrono::steady_clock::now();
    // The messages of the last emptying give way to this one's as its items are tried.
    m->trashFailures.clear();
    emit isEmptyingChanged();
    // The places kept current: looking at them here could hold the window for the gate's bound on
    // each mount that does not answer. Before the first look has arrived, the move waits for it.
    if (m->places) {
        moveSlice();
        return;
    }
    m->move->waitsForPlaces = true;
    lookAtPlaces();
}

void AppState::moveSlice() {
    // Short enough that the window still draws a frame between two slices.
    constexpr auto sliceTime = std::chrono::milliseconds(8);
    // How often the queue counts down: every change redraws whatever shows the queue.
    constexpr auto reportTime = std::chrono::milliseconds(500);
    const auto start = std::chrono::steady_clock::now();
    QueueMove& move = *m->move;
    TrashService::Outcome& outcome = move.outcome;
    // The newest places, also those of a look that arrived during this emptying.
    const std::shared_ptr<const PlaceRegistry> places = m->places;
    while (move.next < move.leaving.size() && std::chrono::steady_clock::now() - start < sliceTime) {
        const std::size_t index = move.next++;
        const NodePtr& item = move.leaving.items()[index];
        // Every queued node keeps its tree alive, so this is the item's full, absolute path.
        const std::string& path = move.leaving.pathAt(index);
        // An item unstaged since the emptying began ("Clear" included) stays where it is.
        if (!m->queue.findPath(path)) continue;
        if (const auto guard = m->copyGuards.find(path); guard != m->copyGuards.end()) {
            if (std::string why = whyCopyStays(move, *places, path, guard->second); !why.empty()) {
                outcome.failed.emplace_back(path, std::move(why));
                continue;
            }
        }
        // It moves only while its name still stands for what was scanned.
        std::unordered_map<std::string, FreedesktopTrash::Identity> identity;
        if (const auto scanned = TrashService::identityOf(*item)) identity.emplace(path, *scanned);
        TrashService::Outcome one =
            TrashService::trashScanned({path}, {{path, item->bytes(m->useAllocatedSize)}}, identity, *places);
        outcome.freed = saturatingAdd(outcome.freed, one.freed);
        outcome.trashed.insert(outcome.trashed.end(), one.trashed.begin(), one.trashed.end());
        outcome.failed.insert(outcome.failed.end(), one.failed.begin(), one.failed.end());
    }

    // What moved leaves the queue and what failed says why, twice a second and at the end,
    // so the bar counts down and the list shows each reason as the emptying goes.
    const bool done = move.next >= move.leaving.size();
    const bool news = outcome.trashed.size() != move.toldMoved || outcome.failed.size() != move.toldFailed;
    if (news && (done || std::chrono::steady_clock::now() - move.told >= reportTime)) {
        const std::unordered_set<std::string_view> moved(outcome.trashed.begin() + move.toldMoved, outcome.trashed.end());
        m->queue.removeIf([&](std::size_t index) { return moved.contains(m->queue.pathAt(index)); });
        m->trashFailures.insert(outcome.failed.begin() + move.toldFailed, outcome.failed.end());
        forgetUnstaged(m->trashFailures, m->copyGuards, m->guardedGroups, m->queue);
        move.toldMoved = outcome.trashed.size();
        move.toldFailed = outcome.failed.size();
        move.told = std::chrono::steady_clock::now();
        emit queueChanged();
    }
    if (!done) {
        QTimer::singleShot(0, this, [this] { moveSlice(); });
        return;
    }
    finishMove();
}

void AppState::finishMove() {
    const std::unique_ptr<QueueMove> move = std::move(m->move);
    emit isEmptyingChanged();
    const TrashService::Outcome& outcome = move->outcome;
    // Nothing was tried when everything was unstaged before its turn: nothing to report.
    if (outcome.trashed.empty() && outcome.failed.empty()) return;
    setLastReclaim(outcome.freed);
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
    const auto item = m->queue.find(node);
    if (!item) return std::nullopt;
    const auto found = m->trashFailures.find(m->queue.pathAt(*item));
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
