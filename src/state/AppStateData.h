#pragma once
// The store's private state, shared by its implementation files (AppState*.cpp) only.
#include "state/AppState.h"
#include "core/CategoryIndex.h"
#include "core/CleanupPreset.h"
#include "core/DiskInfo.h"
#include "core/NodeFilter.h"
#include "core/ScanProgress.h"
#include "platform/OwnedFd.h"
#include "platform/Places.h"
#include "services/DuplicateFinder.h"
#include "services/TrashService.h"
#include "state/StagedQueue.h"

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

namespace tallymere {

// A copy of a duplicate group as it was staged: its place in the group, which holds what the
// search compared each copy to be. Every copy staged from one group shares one record of it.
struct CopyGuard {
    std::shared_ptr<const DuplicateFinder::Group> group;
    std::size_t index = 0;
};

// An emptying of the queue under way. The items move a slice at a time from the event loop, so the
// window keeps answering and the queue counts down as they go.
struct QueueMove {
    // The queue as the emptying began: a copy of a duplicate group stays when the rest of its group
    // goes with this same emptying.
    StagedQueue leaving;
    std::size_t next = 0; // the item of `leaving` to move next
    // Asked for before the first look at the places arrived: it starts when that does.
    bool waitsForPlaces = false;
    // Per duplicate group, why its staged copies stay ("" when another copy is left); worked out
    // once for the whole group.
    std::unordered_map<const DuplicateFinder::Group*, std::string> verdicts;
    // What moved, and what did not with why, in the queue's order.
    TrashService::Outcome outcome;
    // How much of `outcome` the queue was told of, and when.
    std::size_t toldMoved = 0, toldFailed = 0;
    std::chrono::steady_clock::time_point told;
};

// Where background work hands its result to the store. The work posts a call that runs on the
// store's thread; once the store is gone the inbox is closed and results are dropped. Posting is
// the only thing a worker does with the store, and it never reads or writes the store's state.
class ResultInbox {
public:
    explicit ResultInbox(QObject* target) : m_target(target) {}

    template <class Call>
    void post(Call&& call) {
        std::lock_guard lock(m_lock);
        if (m_target) QMetaObject::invokeMethod(m_target, std::forward<Call>(call), Qt::QueuedConnection);
    }

    // Called by the store as it is destroyed; waits for a post in progress.
    void close() {
        std::lock_guard lock(m_lock);
        m_target = nullptr;
    }

private:
    std::mutex m_lock;
    QObject* m_target;
};

// The desktop the views act through: the one the window set (or none), with a reveal or open that
// fails raised as an error banner naming the item and the reason.
class ReportingDesktop final : public DesktopActions {
public:
    explicit ReportingDesktop(AppState& store) : m_store(store) {}
    DesktopActions* inner = nullptr;

    std::optional<std::string> reveal(const std::vector<std::string>& paths) override;
    std::optional<std::string> open(const std::string& path) override;
    // The error banner for an item the desktop could not reveal or open.
    void report(Action action, const std::string& path, const std::string& reason);
    void preview(const std::vector<std::string>& paths) override {
        if (inner) inner->preview(paths);
    }
    void copyText(const std::string& text) override {
        if (inner) inner->copyText(text);
    }

private:
    AppState& m_store;
};

struct AppState::Data {
    explicit Data(AppState* owner)
        : inbox(std::make_shared<ResultInbox>(owner)), pollTimer(owner), filterTimer(owner), desktop(*owner) {}
    ~Data() {
        inbox->close();
        // A scan still running has nobody to report to: let it stop at its next folder.
        progress->cancel();
        if (desktop.inner) desktop.inner->setLateFailure({});
    }

    std::shared_ptr<PreferenceStore> preferences;

    NodePtr root;
    NodePtr displayRoot;
    // Built by the worker that made each tree; displayIndex is rootIndex or the filtered copy's.
    std::shared_ptr<const CategoryIndex> rootIndex;
    std::shared_ptr<const CategoryIndex> displayIndex;
    NodePtr focus;
    bool isScanning = false;
    std::optional<ScanTarget> scanTarget;
    std::int64_t scannedFiles = 0;
    std::int64_t scannedBytes = 0;
    std::string scanningPath;
    double lastScanDuration = 0;
    std::optional<double> scanFinishedAt;
    ThemeID themeID = ThemeID::paper;
    VizMode viz = VizMode::treemap;
    WorkspaceTab tab = WorkspaceTab::explore;
    bool useAllocatedSize = true;
    bool showLabels = true;
    ColorMode colorMode = ColorMode::branch;
    double treemapDepth = 7.0;
    NodePtr hovered;
    NodePtr selection;
    NodeFilter filter;
    bool isFiltering = false;
    StagedQueue queue;
    std::int64_t lastReclaim = 0;
    // Path to the system's message, for the staged items the last emptying could not move.
    std::unordered_map<std::string, std::string> trashFailures;
    // The staged copies of duplicate groups, by path. Dropped once the item leaves the queue.
    std::unordered_map<std::string, CopyGuard> copyGuards;
    // The record of each group that staged copies hold, so that copies staged one by one share it.
    std::unordered_map<Uuid, std::weak_ptr<const DuplicateFinder::Group>> guardedGroups;
    // The places of the latest look that has arrived (places()); null before the first. Looks are
    // numbered as they start: one older than the places kept is dropped.
    std::shared_ptr<const PlaceRegistry> places;
    std::uint64_t placesAsked = 0;
    std::uint64_t placesShown = 0;
    bool placesLooking = false; // a look of lookAtPlaces() runs
    bool placesAgain = false;   // and another is to follow it
    // The mount table, watched for changes; the notifier goes before the descriptor it watches.
    OwnedFd mountTable;
    std::unique_ptr<QSocketNotifier> mountWatch;
    // The emptying under way; null when none is.
    std::unique_ptr<QueueMove> move;
    std::optional<Banner> banner;
    std::vector<VolumeInfo> volumes;
    std::vector<PresetHit> presetHits;
    std::vector<ScanTarget> recents;

    // The live counters of the running (or last) scan; a fresh object for every scan, shared with
    // that scan's worker only.
    std::shared_ptr<ScanProgress> progress = std::make_shared<ScanProgress>();
    std::chrono::steady_clock::time_point scanStart = std::chrono::steady_clock::now();
    // Numbers the scans and the filter builds; a result carrying an older number is dropped.
    std::uint64_t scanGeneration = 0;
    std::uint64_t filterGeneration = 0;

    std::shared_ptr<ResultInbox> inbox;
    QTimer pollTimer;   // 0.08 s, polls `progress` while scanning
    QTimer filterTimer; // 0.18 s single shot, the debounced re-filter
    FolderChooser folderChooser;
    ReportingDesktop desktop;
    std::function<bool()> accessProbe;
    AppState::Scanner scanner;

    // Where the volumes are read from, off the window's thread; the running system's capacities
    // through the gate, so a stuck mount is left out within its bound rather than holding up the
    // list. Refreshes are numbered: a result older than the one shown is dropped.
    VolumeSources volumeSources;
    std::uint64_t volumesAsked = 0;
    std::uint64_t volumesShown = 0;
};

// Stores a property's new value; true when it differs from the old one (then the caller signals).
template <class T>
bool assign(T& field, T value) {
    if (field == value) return false;
    field = std::move(value);
    return true;
}

} // namespace tallymere
