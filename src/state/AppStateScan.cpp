// The scan road: start a scan on a worker, poll its live counters, take its result back.
#include "state/AppState.h"

#include "state/AppStateData.h"
#include "core/DiskScanner.h"
#include "core/PlaceMarks.h"
#include "core/PresetScanner.h"
#include "base/Utf8.h"
#include "platform/HeapPolicy.h"

#include <QThreadPool>

#include <chrono>
#include <ctime>

namespace tallymere {

namespace {

double secondsSince1970() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

} // namespace

void AppState::scan(const ScanTarget& requested) {
    if (m->isScanning) return;

    // The tree's paths are what the Trash later receives, so they must be absolute and whole.
    ScanTarget target = requested;
    target.path = absoluteCleanPath(requested.path);

    m->pollTimer.stop();
    m->progress = std::make_shared<ScanProgress>();
    const std::uint64_t generation = ++m->scanGeneration;
    // A filtered copy of the previous tree that is still being built belongs to nothing now.
    ++m->filterGeneration;
    setIsFiltering(false);

    setScanTarget(target);
    setIsScanning(true);
    setScannedFiles(0);
    setScannedBytes(0);
    setScanningPath(target.path);
    m->scanStart = std::chrono::steady_clock::now();

    m->rootIndex.reset();
    m->displayIndex.reset();
    setRoot({});
    // Nothing is on display while the scan runs: focus, selection and hover of the old tree go.
    showTree({}, {});
    setPresetHits({});
    emit scanStarted();

    rememberRecent(target);

    ScanOptions options = scanOptionsFor(target);
    m->pollTimer.start();

    // The worker gets copies and the progress object; it hands its result back through the inbox.
    auto progress = m->progress;
    auto inbox = m->inbox;
    Scanner scanner = m->scanner ? m->scanner : Scanner(DiskScanner::scan);
    // Its look at the places is one of the store's (places()), numbered as any other.
    const std::uint64_t look = ++m->placesAsked;
    QThreadPool::globalInstance()->start([this, generation, progress, inbox, path = target.path,
                                          options = std::move(options), scanner = std::move(scanner), look,
                                          environment = Places::Sources::environment()] {
        std::shared_ptr<FileNode> tree;
        std::vector<PresetHit> hits;
        std::shared_ptr<const CategoryIndex> index;
        std::shared_ptr<const PlaceRegistry> places;
        try {
            // The places are looked at here, off the window's thread (the account homes may come from
            // a slow directory service), and the tree is marked with them as it is read.
            ScanOptions marking = options;
            marking.places = Places::lookAt(Places::Sources::completed(environment));
            places = std::make_shared<const PlaceRegistry>(marking.places);
            tree = scanner(path, marking, *progress);
            // Presets always match on allocated sizes. A quick win is one click that stages its
            // items: what staging refuses (a Trash, a place or a folder holding one) is no part of
            // it, and a preset left with nothing else (the Trash itself) is none.
            if (tree) hits = PresetScanner::run(tree, CleanupPreset::all(), true, PlaceMarks::isRefused);
            // The sidebar's totals of any folder, so that no focus change walks the tree.
            if (tree) index = CategoryIndex::build(tree);
            // The lists the scan and the matching built are gone: their memory goes back too.
            HeapPolicy::giveBackFree();
        } catch (...) {
            // Out of memory on a huge tree: report what the scanner could not deliver as unreadable.
            tree.reset();
            hits.clear();
            index.reset();
        }
        inbox->post([this, generation, tree = std::move(tree), hits = std::move(hits), index = std::move(index), look,
                     places = std::move(places)]() mutable {
            takePlaces(look, std::move(places));
            finishScan(generation, std::move(tree), std::move(hits), std::move(index));
        });
    });
}

void AppState::pollProgress() {
    const ScanProgress& progress = *m->progress;
    setScannedFiles(progress.files());
    setScannedBytes(progress.bytes());
    std::string current = progress.current();
    if (!current.empty()) setScanningPath(std::move(current));
}

void AppState::finishScan(std::uint64_t generation, NodePtr tree, std::vector<PresetHit> hits,
                          std::shared_ptr<const CategoryIndex> index) {
    // A cancelled scan that a newer scan has replaced must leave the newer one alone.
    if (generation != m->scanGeneration) return;

    m->pollTimer.stop();
    setIsScanning(false);
    m->lastScanDuration = std::chrono::duration<double>(std::chrono::steady_clock::now() - m->scanStart).count();
    emit lastScanDurationChanged();
    m->scanFinishedAt = secondsSince1970();
    emit scanFinishedAtChanged();
    refreshVolumes();

    if (tree) {
        m->rootIndex = std::move(index);
        setRoot(tree);
        setPresetHits(std::move(hits));
        setScannedFiles(tree->fileCount);
        setScannedBytes(tree->bytes(m->useAllocatedSize));
        applyFilterNow();
        setFocus(m->displayRoot);
        if (m->scanTarget && m->scanTarget->isFullDisk && !hasFullDiskAccess()) {
            setBanner(Banner::make(Banner::Kind::warning, QStringLiteral("Partial scan"),
                                   QStringLiteral("Grant Full Disk Access to include protected folders like "
                                                  "Mail and Safari data.")));
        }
        return;
    }

    const std::string path = m->scanTarget ? repairUtf8(m->scanTarget->path) : std::string();
    setBanner(Banner::make(Banner::Kind::error, QStringLiteral("Could not read that location"),
                           QStringLiteral("Tallymere needs permission to open ") + QString::fromStdString(path) +
                               QStringLiteral(".")));
}

void AppState::cancelScan() {
    m->progress->cancel();
    m->pollTimer.stop();
    setIsScanning(false);
}

void AppState::setScanner(Scanner scanner) {
    m->scanner = std::move(scanner);
}

bool AppState::hasFullDiskAccess() const {
    return m->accessProbe ? m->accessProbe() : DiskInfo::hasFullDiskAccess();
}

void AppState::setAccessProbe(std::function<bool()> probe) {
    m->accessProbe = std::move(probe);
}

} // namespace tallymere
