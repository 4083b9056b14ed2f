#pragma once
#include "state/PreferenceStore.h"
#include "state/ScanTarget.h"
#include "state/ThemeID.h"
#include "state/VizMode.h"
#include "state/WorkspaceTab.h"
#include "core/FileTree.h"
#include "base/Uuid.h"
#include "base/DesktopActions.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallymere {

class CategoryIndex;
struct NodeFilter;
struct VolumeInfo;
struct VolumeSources;
struct PresetHit;
namespace DuplicateFinder {
struct Group;
}
struct PlaceRegistry;

// The one store of the window: the scanned tree and the tree on display, focus, hover and
// selection, the scan's live progress, the filter, the cleanup queue, the banner, the volumes,
// the preset hits, the recent targets and the display preferences.
//
// Lives on the main (GUI) thread and is only touched there. Every property has a getter and a
// `<property>Changed` signal, emitted after the value was stored; the properties that views may
// assign also have a public setter. Background work (the scan, filtered copies) gets copies of what
// it needs and hands results back with a queued call; a result of a scan or filter that has since
// been superseded is dropped.
//
// Ownership: every node the store hands out is a std::shared_ptr that keeps its whole tree alive
// (see share() in core/FileTree.h), so a held node always yields its full path. Views holding raw
// pointers from a layout turn them into such pointers with retain().
class AppState : public QObject {
    Q_OBJECT

public:
    using NodePtr = std::shared_ptr<FileNode>;

    // A dismissible message shown at the foot of the workspace. Every banner made gets a fresh id,
    // so two banners with the same words are still different.
    struct Banner {
        enum class Kind { info, success, warning, error };

        Uuid id = Uuid::random();
        Kind kind = Kind::info;
        QString title;
        std::optional<QString> detail; // a second line; none means none

        static Banner make(Kind kind, QString title, std::optional<QString> detail = std::nullopt);
        friend bool operator==(const Banner&, const Banner&) = default;
    };

    // Asks the user for a folder; none when the dialog was cancelled. Raw path bytes.
    using FolderChooser = std::function<std::optional<std::string>()>;

    // Builds the store: initial values, then the stored preferences and recent targets, then the
    // mounted volumes. The application passes a SettingsPreferenceStore, tests a memory one; null
    // means a fresh memory store.
    explicit AppState(std::shared_ptr<PreferenceStore> preferences, QObject* parent = nullptr);

    // ---- Trees and navigation state ----------------------------------------------------------
    // The whole tree of the last finished scan; null before any.
    const NodePtr& root() const;
    // The tree on display: root() itself, or its filtered copy while the filter is active.
    const NodePtr& displayRoot() const;
    // The category totals of every folder of displayRoot(), built off this thread with the tree
    // and replaced with it (set before displayRootChanged); null without a displayed tree.
    const std::shared_ptr<const CategoryIndex>& categoryIndex() const;
    // Focus, hover and selection are always null or nodes of displayRoot(): their setters ignore a
    // node of any other tree, and when the tree on display is replaced (a scan, a re-filter,
    // clearing the filter) each moves to the node of the same path in the new tree, or to null.
    // The folder the views are zoomed into; null for none.
    const NodePtr& focus() const;
    void setFocus(NodePtr node);
    // The node under the pointer; null for none.
    const NodePtr& hovered() const;
    void setHovered(NodePtr node);
    // The selected node; null for none.
    const NodePtr& selection() const;
    void setSelection(NodePtr node);

    // A shared pointer for a node of a tree the store holds (the displayed tree, the scanned tree,
    // or the tree of a focused, selected, hovered or queued node); null for null or for a node of
    // any other tree. The node must be alive: views pass nodes of their current layout.
    NodePtr retain(const FileNode* node) const;

    // ---- Scan state --------------------------------------------------------------------------
    bool isScanning() const;
    // The target of the running or last scan.
    const std::optional<ScanTarget>& scanTarget() const;
    // Live file count while scanning; the root's file count after.
    std::int64_t scannedFiles() const;
    // Live allocated bytes while scanning; after it the root's size in the current size mode.
    std::int64_t scannedBytes() const;
    // The folder the scan is reading, raw path bytes.
    const std::string& scanningPath() const;
    // Seconds the last scan took.
    double lastScanDuration() const;
    // When the last scan finished, seconds since 1970; none before any.
    std::optional<double> scanFinishedAt() const;

    // ---- Display preferences (themeID, viz, useAllocatedSize, colorMode and treemapDepth are
    // persisted on every assignment, also of an unchanged value) --------------------------------
    ThemeID themeID() const;
    void setThemeID(ThemeID theme);
    VizMode viz() const;
    void setViz(VizMode mode);
    WorkspaceTab tab() const;
    void setTab(WorkspaceTab tab);
    // Sizes on disk (allocated) instead of logical sizes, everywhere. Assigning it also re-applies
    // the filter at once.
    bool useAllocatedSize() const;
    void setUseAllocatedSize(bool useAllocated);
    bool showLabels() const;
    void setShowLabels(bool show);
    ColorMode colorMode() const;
    void setColorMode(ColorMode mode);
    // How many folder levels the visualisations draw. A value that is not finite is ignored; others
    // are held within [minTreemapDepth, maxTreemapDepth].
    double treemapDepth() const;
    void setTreemapDepth(double depth);
    static constexpr double minTreemapDepth = 1;
    static constexpr double maxTreemapDepth = 64;

    // ---- Filter ------------------------------------------------------------------------------
    const NodeFilter& filter() const;
    // Every assignment schedules a re-filter 0.18 s later; a burst of edits gives one re-filter.
    void setFilter(const NodeFilter& filter);
    // A filtered copy is being built.
    bool isFiltering() const;

    // ---- Cleanup queue -----------------------------------------------------------------------
    // The staged nodes in the order they were added. No two share a path and none lies inside
    // another.
    const std::vector<NodePtr>& queue() const;
    // Replaces the queue (the cleanup bar clears it): the entries are staged in order by enqueue()'s
    // rule, so null entries, "/", repeats and entries inside a staged folder are dropped.
    void setQueue(std::vector<NodePtr> queue);
    // Bytes freed by the last emptying of the queue.
    std::int64_t lastReclaim() const;

    // ---- Messages, volumes, presets, recents -------------------------------------------------
    const std::optional<Banner>& banner() const;
    // A new banner replaces the one shown; none dismisses it.
    void setBanner(std::optional<Banner> banner);
    // Mounted volumes, the root volume first. Read off the main thread at start, after every scan
    // and after the queue was emptied; empty until the first reading arrives. A mount that does not
    // report its capacity within 2 s is left out until it does.
    const std::vector<VolumeInfo>& volumes() const;
    // Where the volumes are read from; the running system unless a test sets canned sources. Reads
    // them anew.
    void setVolumeSources(VolumeSources sources);
    // The places (Trash folders, protected folders, mount points) as last looked at: before each
    // scan, again whenever the mount table changes, and for an emptying asked for before any look,
    // always off this thread, a newer look replacing an older one. What staging names in a refusal,
    // what an emptying starts from, and what the applications tab moves against. Null until the
    // first look has arrived.
    const std::shared_ptr<const PlaceRegistry>& places() const;
    // Cleanup preset matches of the last scan, largest total first.
    const std::vector<PresetHit>& presetHits() const;
    // Recently scanned targets, newest first, at most 6.
    const std::vector<ScanTarget>& recents() const;
    static constexpr std::size_t maxRecents = 6;

    // ---- Scan road -----------------------------------------------------------------------------
    // Starts a scan of the target unless one is running (then nothing changes). Returns at once;
    // the live counters are polled every 0.08 s and the result arrives on the main thread. The
    // store lets go of the last tree as the scan starts, then announces it with scanStarted().
    void scan(const ScanTarget& target);
    // What reads a folder into a tree; DiskScanner::scan unless a test sets another. Called on a
    // worker thread, so it must not touch the store.
    using Scanner = std::function<std::shared_ptr<FileNode>(std::string_view, const ScanOptions&, ScanProgress&)>;
    void setScanner(Scanner scanner);
    // Stops the running scan: isScanning() is false at once, and the partial tree still arrives as
    // the scan's result unless another scan has started meanwhile.
    void cancelScan();

    // ---- Navigation ----------------------------------------------------------------------------
    // The node of `tree` at `path` (raw bytes), walking children by exact name; null when none.
    static NodePtr nodeAt(std::optional<std::string_view> path, const NodePtr& tree);
    // Focuses a folder (or package) with children and clears the selection; otherwise nothing.
    void drill(const NodePtr& node);
    // Focuses the parent of the focus, when there is one.
    void navigateUp();
    // The focus's ancestors from the top of its tree down, then the focus; empty without focus.
    std::vector<NodePtr> focusChain() const;

    // ---- Cleanup queue and sharing -------------------------------------------------------------
    // Whether an item with this node's path is staged (the same file reached through the scanned
    // tree, a filtered copy or an earlier scan is one item).
    bool isQueued(const FileNode* node) const;
    // Removes the node's item when staged, else stages it with enqueue().
    void toggleQueue(const NodePtr& node);
    // Stages the node: nothing when it or a folder above it is staged, or when it is "/"; else the
    // staged items inside it are removed and it is appended. For a folder of the filtered copy the
    // scanned tree's folder at its path is staged, as all it holds moves with it. An item that
    // whyNotStaged() refuses is not staged and an error banner "Could not stage NAME" gives the
    // reason, so the queue holds only what can move.
    void enqueue(const NodePtr& node);
    // Stages the nodes in order by enqueue()'s rule as one change of the queue: queueChanged()
    // comes once when anything was staged, and a refusal raises its banner.
    void enqueue(const std::vector<NodePtr>& nodes);
    // Why enqueue() refuses the node, as the move would: it is a Trash or lies in one, it is the root
    // or home folder, a shared folder of the desktop or a mount point, or it holds one of them (as
    // its scan marked it, whatever the path's spelling). None when it is not refused. Deciding costs
    // no look at the disk; only the reason of a refusal looks at the node.
    std::optional<std::string> whyNotStaged(const FileNode* node) const;
    // The nodes of `nodes` that enqueue() would not refuse, in order, at most `limit` of them.
    std::vector<const FileNode*> stageable(const std::vector<const FileNode*>& nodes, std::size_t limit) const;
    // Stages every copy of a duplicate group but the first (the one kept) with enqueue(), in
    // order; nothing at all while the kept copy is staged itself or lies inside a staged folder,
    // so that no group ever has all its copies staged by it. Each copy staged is held to its group
    // when it is moved (emptyQueue()).
    void stageExtras(const DuplicateFinder::Group& group);
    // stageExtras() of each group in order ("Stage all extras"): one change of the queue for all.
    void stageExtras(const std::vector<DuplicateFinder::Group>& groups);
    // toggleQueue() for copy `index` of a duplicate group; a copy it stages is held to its group
    // when it is moved, as stageExtras() does.
    void toggleCopy(const DuplicateFinder::Group& group, std::size_t index);
    // Size of the staged items in the current size mode.
    std::int64_t queueTotal() const;
    // Moves every staged item to the Trash, records the bytes freed, keeps the items that failed,
    // refreshes the volumes and raises the outcome banner, whose detail for a failure names the
    // first item that failed and why. Nothing when the queue is empty or an emptying is under way.
    // The items move in order, a slice at a time from the event loop, so the window keeps
    // answering through a long emptying: each slice's moved items leave the queue (it counts down)
    // and its failures are told at once. An item unstaged before its turn stays where it is, so
    // clearing the queue stops the emptying; an item staged meanwhile waits for the next one.
    // The emptying starts from the places() known (it waits for the first look where none has
    // arrived yet, never looking itself), and each item moves only while it is no place of them nor
    // is or holds a mount point of the mount table of that moment.
    // A copy staged from a duplicate group moves only while it is still the file the search
    // compared and another copy of its group, not staged and outside every Trash, is too: the
    // search's verdict may no longer hold (a copy edited, truncated, replaced, deleted or thrown
    // away since), and the user must never be left without the content.
    void emptyQueue();
    // An emptying of the queue is under way (see emptyQueue()).
    bool isEmptying() const;
    // The system's message for a staged item that the last emptying could not move; none for any
    // other node, and none once the item has left the queue.
    std::optional<std::string> trashFailure(const FileNode* node) const;
    // The node's size as a fraction of the displayed tree's size; 0 without a tree or for an empty one.
    double share(const FileNode* node) const;
    // Asks for a folder or volume and scans it; a cancelled dialog starts nothing.
    void chooseFolder();
    // The window sets the folder dialog here; tests set a fake. Without one, chooseFolder() does nothing.
    void setFolderChooser(FolderChooser chooser);

    // The desktop the views reveal, open, preview and copy through: the one set here (the window's;
    // tests set a recorder), not owned, or nothing until one is set. It must outlive the store, or be
    // replaced first: the store takes back its late-failure report from it when it goes. A reveal or
    // open that fails raises an error banner naming the item and the reason, also when the desktop
    // learns of the failure later (the program it handed the item to gave up).
    DesktopActions& desktop() const;
    void setDesktop(DesktopActions* desktop);
    // Opens an item of a tree with its default application through desktop(). A scanned item is
    // opened only while its name still stands for the item scanned: the application would
    // otherwise open, or run, whatever took the name since (a link, a launcher, another file);
    // one that changed raises the error banner with "NAME changed since the scan".
    void openItem(const NodePtr& node);

    // Whether this process may read every folder, asked anew on every call (it can change while
    // the program runs). DiskInfo::hasFullDiskAccess unless a test set another probe.
    bool hasFullDiskAccess() const;
    void setAccessProbe(std::function<bool()> probe);

    // Shows what reading every folder takes on this system (an info banner): where another desktop
    // would open its privacy settings, this one can only be told. With the permission already
    // held, the banner says that every folder can be read.
    void explainFullDiskAccess();

signals:
    void rootChanged();
    void displayRootChanged();
    void focusChanged();
    void isScanningChanged();
    void scanTargetChanged();
    void scannedFilesChanged();
    void scannedBytesChanged();
    void scanningPathChanged();
    void lastScanDurationChanged();
    void scanFinishedAtChanged();
    void themeIDChanged();
    void vizChanged();
    void tabChanged();
    void useAllocatedSizeChanged();
    void showLabelsChanged();
    void colorModeChanged();
    void treemapDepthChanged();
    void hoveredChanged();
    void selectionChanged();
    void filterChanged();
    void isFilteringChanged();
    void queueChanged();
    void isEmptyingChanged();
    void lastReclaimChanged();
    void bannerChanged();
    void volumesChanged();
    void presetHitsChanged();
    void recentsChanged();
    // A scan has started and the store no longer holds the last tree: whatever still keeps a node
    // of it, a view or a cache, lets go of it now, so that only one tree is ever in memory.
    void scanStarted();

private:
    struct Data;
    // Deleted through a function pointer set by the constructor, so that the implicit destructor
    // needs neither Data nor the engine headers where the meta-object code instantiates it.
    std::unique_ptr<Data, void (*)(Data*)> m;

    void persist();
    void restore();
    // enqueue()'s staging of each node in order, telling no one yet: true when the queue changed;
    // `refusal` becomes the banner for the last one refused.
    bool stageQuietly(const std::vector<NodePtr>& nodes, std::optional<Banner>& refusal);
    // The same for the extra copies of a group, as stageExtras() chooses them.
    bool stageExtrasQuietly(const DuplicateFinder::Group& group, std::optional<Banner>& refusal);
    // Tells of what was staged quietly: the refusal's banner, one change of the queue.
    void tellStaged(bool changed, std::optional<Banner> refusal);
    // Moves the next items of the emptying under way, for a few milliseconds, then lets the event
    // loop run before the next slice; the last slice reports.
    void moveSlice();
    void finishMove();
    void rememberRecent(const ScanTarget& target);

    void pollProgress();
    void finishScan(std::uint64_t generation, NodePtr tree, std::vector<PresetHit> hits,
                    std::shared_ptr<const CategoryIndex> index);

    // Looks at the places on a worker, one look at a time: asked while one runs, another follows it.
    void lookAtPlaces();
    // Keeps the places of look number `look` unless a later look's are kept already; an emptying
    // that waited for places starts.
    void takePlaces(std::uint64_t look, std::shared_ptr<const PlaceRegistry> places);
    // Looks at the places again each time the kernel says the mount table changed.
    void watchMounts();

    void scheduleFilter();
    void applyFilterNow();
    void finishFilter(std::uint64_t generation, NodePtr copy, std::optional<std::string> focusPath,
                      std::shared_ptr<const CategoryIndex> index);
    NodePtr restoreFocus(const NodePtr& tree) const;

    void setRoot(NodePtr root);
    // Puts `tree` on display with `focus` (moved into it by path when it is of another tree).
    void showTree(NodePtr tree, NodePtr focus);
    bool isOnDisplay(const FileNode* node) const;
    void setIsScanning(bool scanning);
    void setScanTarget(std::optional<ScanTarget> target);
    void setScannedFiles(std::int64_t files);
    void setScannedBytes(std::int64_t bytes);
    void setScanningPath(std::string path);
    void setIsFiltering(bool filtering);
    void setLastReclaim(std::int64_t bytes);
    void setVolumes(std::vector<VolumeInfo> volumes);
    void setPresetHits(std::vector<PresetHit> hits);
    void setRecents(std::vector<ScanTarget> recents);
    void refreshVolumes();
};

} // namespace tallymere
