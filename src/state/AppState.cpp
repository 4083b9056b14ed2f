#include "state/AppState.h"

#include "state/AppStateData.h"

#include "platform/PathGate.h"

#include <QFile>
#include <QStringList>
#include <QVariantList>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <system_error>
#include <thread>

namespace tallymere {

namespace {

const QString themeKey = QStringLiteral("themeID");
const QString vizKey = QStringLiteral("vizMode");
const QString allocatedKey = QStringLiteral("useAllocated");
const QString depthKey = QStringLiteral("treemapDepth");
const QString colorKey = QStringLiteral("colorMode");
const QString recentsKey = QStringLiteral("recentScanPaths");

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The preference readers accept the stored kind only. An INI-backed store gives every scalar back
// as a string, so the text forms of Booleans and numbers count as well; anything else is absent.
std::optional<std::string> readString(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    return value.toString().toStdString();
}

std::optional<bool> readBool(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == QLatin1String("true")) return true;
        if (text == QLatin1String("false")) return false;
    }
    return std::nullopt;
}

std::optional<double> readDouble(const QVariant& value) {
    bool ok = false;
    double number = 0;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        number = value.toDouble(&ok);
        break;
    case QMetaType::QString:
        number = value.toString().toDouble(&ok); // C locale: "." is the decimal mark
        break;
    default:
        break;
    }
    if (!ok) return std::nullopt;
    return number;
}

std::optional<QStringList> readStringList(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QStringList:
        return value.toStringList();
    case QMetaType::QString: // an INI file gives a one-element list back as its element
        return QStringList{value.toString()};
    case QMetaType::QVariantList: {
        QStringList list;
        for (const QVariant& item : value.toList()) {
            if (item.typeId() != QMetaType::QString) return std::nullopt;
            list.append(item.toString());
        }
        return list;
    }
    default:
        return std::nullopt;
    }
}

// How long the start waits for the recent folders to be found.
constexpr std::chrono::milliseconds recentCheckLimit{250};

// Walks up to the top of the node's tree.
const FileNode* topOf(const FileNode* node) {
    while (node && node->parent) node = node->parent;
    return node;
}

} // namespace

AppState::Banner AppState::Banner::make(Kind kind, QString title, std::optional<QString> detail) {
    return Banner{Uuid::random(), kind, std::move(title), std::move(detail)};
}

AppState::AppState(std::shared_ptr<PreferenceStore> preferences, QObject* parent)
    : QObject(parent), m(new Data(this), [](Data* data) { delete data; }) {
    m->preferences = preferences ? std::move(preferences) : std::make_shared<MemoryPreferenceStore>();
    m->pollTimer.setInterval(80);
    connect(&m->pollTimer, &QTimer::timeout, this, &AppState::pollProgress);
    m->filterTimer.setSingleShot(true);
    m->filterTimer.setInterval(180);
    connect(&m->filterTimer, &QTimer::timeout, this, &AppState::applyFilterNow);
    restore();
    refreshVolumes();
    watchMounts();
}

// ---- Getters -----------------------------------------------------------------------------------

const AppState::NodePtr& AppState::root() const { return m->root; }
const AppState::NodePtr& AppState::displayRoot() const { return m->displayRoot; }
const std::shared_ptr<const CategoryIndex>& AppState::categoryIndex() const { return m->displayIndex; }
const AppState::NodePtr& AppState::focus() const { return m->focus; }
const AppState::NodePtr& AppState::hovered() const { return m->hovered; }
const AppState::NodePtr& AppState::selection() const { return m->selection; }
bool AppState::isScanning() const { return m->isScanning; }
const std::optional<ScanTarget>& AppState::scanTarget() const { return m->scanTarget; }
std::int64_t AppState::scannedFiles() const { return m->scannedFiles; }
std::int64_t AppState::scannedBytes() const { return m->scannedBytes; }
const std::string& AppState::scanningPath() const { return m->scanningPath; }
double AppState::lastScanDuration() const { return m->lastScanDuration; }
std::optional<double> AppState::scanFinishedAt() const { return m->scanFinishedAt; }
ThemeID AppState::themeID() const { return m->themeID; }
VizMode AppState::viz() const { return m->viz; }
WorkspaceTab AppState::tab() const { return m->tab; }
bool AppState::useAllocatedSize() const { return m->useAllocatedSize; }
bool AppState::showLabels() const { return m->showLabels; }
ColorMode AppState::colorMode() const { return m->colorMode; }
double AppState::treemapDepth() const { return m->treemapDepth; }
const NodeFilter& AppState::filter() const { return m->filter; }
bool AppState::isFiltering() const { return m->isFiltering; }
const std::vector<AppState::NodePtr>& AppState::queue() const { return m->queue.items(); }
std::int64_t AppState::lastReclaim() const { return m->lastReclaim; }
const std::optional<AppState::Banner>& AppState::banner() const { return m->banner; }
const std::vector<VolumeInfo>& AppState::volumes() const { return m->volumes; }
const std::vector<PresetHit>& AppState::presetHits() const { return m->presetHits; }
const std::vector<ScanTarget>& AppState::recents() const { return m->recents; }

// ---- Setters -----------------------------------------------------------------------------------
// Each stores the value and signals a change. The persisted preferences write all five keys on
// every assignment, also of an unchanged value; the filter schedules a re-filter on every one.

void AppState::setFocus(NodePtr node) {
    if (node && !isOnDisplay(node.get())) return;
    if (assign(m->focus, std::move(node))) emit focusChanged();
}

void AppState::setHovered(NodePtr node) {
    if (node && !isOnDisplay(node.get())) return;
    if (assign(m->hovered, std::move(node))) emit hoveredChanged();
}

void AppState::setSelection(NodePtr node) {
    if (node && !isOnDisplay(node.get())) return;
    if (assign(m->selection, std::move(node))) emit selectionChanged();
}

bool AppState::isOnDisplay(const FileNode* node) const {
    return node && m->displayRoot && topOf(node) == m->displayRoot.get();
}

void AppState::setThemeID(ThemeID theme) {
    const bool changed = assign(m->themeID, theme);
    persist();
    if (changed) emit themeIDChanged();
}

void AppState::setViz(VizMode mode) {
    const bool changed = assign(m->viz, mode);
    persist();
    if (changed) emit vizChanged();
}

void AppState::setTab(WorkspaceTab tab) {
    if (assign(m->tab, tab)) emit tabChanged();
}

void AppState::setUseAllocatedSize(bool useAllocated) {
    const bool changed = assign(m->useAllocatedSize, useAllocated);
    persist();
    if (changed) emit useAllocatedSizeChanged();
    applyFilterNow();
}

void AppState::setShowLabels(bool show) {
    if (assign(m->showLabels, show)) emit showLabelsChanged();
}

void AppState::setColorMode(ColorMode mode) {
    const bool changed = assign(m->colorMode, mode);
    persist();
    if (changed) emit colorModeChanged();
}

void AppState::setTreemapDepth(double depth) {
    // A depth that is not a number would reach every depth-driven layout; a huge one would make
    // them walk whole trees. Neither comes from the slider, only from a damaged preferences file.
    if (!std::isfinite(depth)) return;
    const bool changed = assign(m->treemapDepth, std::clamp(depth, minTreemapDepth, maxTreemapDepth));
    persist();
    if (changed) emit treemapDepthChanged();
}

void AppState::setFilter(const NodeFilter& filter) {
    const bool changed = assign(m->filter, filter);
    if (changed) emit filterChanged();
    scheduleFilter();
}

void AppState::setBanner(std::optional<Banner> banner) {
    if (assign(m->banner, std::move(banner))) emit bannerChanged();
}

void AppState::setRoot(NodePtr root) {
    if (assign(m->root, std::move(root))) emit rootChanged();
}

void AppState::showTree(NodePtr tree, NodePtr focus) {
    // Focus, selection and hover always name nodes of the tree on display: each moves to the node
    // of the same path in the new tree, or goes when there is none. All four are stored before any
    // is announced, so no view ever sees a focus of one tree beside a selection of another.
    auto follow = [&tree](const NodePtr& node) -> NodePtr {
        if (!node || !tree) return {};
        if (topOf(node.get()) == tree.get()) return node;
        return nodeAt(node->path(), tree);
    };
    if (focus && (!tree || topOf(focus.get()) != tree.get())) focus = follow(focus);
    NodePtr selection = follow(m->selection);
    NodePtr hovered = follow(m->hovered);

    const bool treeChanged = assign(m->displayRoot, std::move(tree));
    const bool focusMoved = assign(m->focus, std::move(focus));
    const bool selectionMoved = assign(m->selection, std::move(selection));
    const bool hoverMoved = assign(m->hovered, std::move(hovered));
    if (treeChanged) emit displayRootChanged();
    if (focusMoved) emit focusChanged();
    if (selectionMoved) emit selectionChanged();
    if (hoverMoved) emit hoveredChanged();
}

void AppState::setIsScanning(bool scanning) {
    if (assign(m->isScanning, scanning)) emit isScanningChanged();
}

void AppState::setScanTarget(std::optional<ScanTarget> target) {
    if (assign(m->scanTarget, std::move(target))) emit scanTargetChanged();
}

void AppState::setScannedFiles(std::int64_t files) {
    if (assign(m->scannedFiles, files)) emit scannedFilesChanged();
}

void AppState::setScannedBytes(std::int64_t bytes) {
    if (assign(m->scannedBytes, bytes)) emit scannedBytesChanged();
}

void AppState::setScanningPath(std::string path) {
    if (assign(m->scanningPath, std::move(path))) emit scanningPathChanged();
}

void AppState::setIsFiltering(bool filtering) {
    if (assign(m->isFiltering, filtering)) emit isFilteringChanged();
}

void AppState::setLastReclaim(std::int64_t bytes) {
    if (assign(m->lastReclaim, bytes)) emit lastReclaimChanged();
}

void AppState::setVolumes(std::vector<VolumeInfo> volumes) {
    if (assign(m->volumes, std::move(volumes))) emit volumesChanged();
}

void AppState::setPresetHits(std::vector<PresetHit> hits) {
    if (assign(m->presetHits, std::move(hits))) emit presetHitsChanged();
}

void AppState::setRecents(std::vector<ScanTarget> recents) {
    if (assign(m->recents, std::move(recents))) emit recentsChanged();
}

void AppState::refreshVolumes() {
    // Off the main thread: reading a capacity can take as long as the probe's limit.
    const std::uint64_t asked = ++m->volumesAsked;
    try {
        std::thread([this, asked, inbox = m->inbox, sources = m->volumeSources] {
            std::vector<VolumeInfo> volumes = DiskInfo::volumes(sources);
            inbox->post([this, asked, volumes = std::move(volumes)]() mutable {
                if (asked < m->volumesShown) return;
                m->volumesShown = asked;
                setVolumes(std::move(volumes));
            });
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the list shown stays until the next refresh.
    }
}

void AppState::setVolumeSources(VolumeSources sources) {
    m->volumeSources = std::move(sources);
    refreshVolumes();
}

// ---- Holding nodes -----------------------------------------------------------------------------

AppState::NodePtr AppState::retain(const FileNode* node) const {
    if (!node) return {};
    const FileNode* top = topOf(node);
    auto fromOwner = [&](const NodePtr& owner) -> NodePtr {
        if (owner && topOf(owner.get()) == top) return tallymere::share(owner, node);
        return {};
    };
    for (const NodePtr* owner : {&m->displayRoot, &m->root, &m->focus, &m->selection, &m->hovered})
        if (NodePtr held = fromOwner(*owner)) return held;
    for (const NodePtr& item : m->queue.items())
        if (NodePtr held = fromOwner(item)) return held;
    for (const PresetHit& hit : m->presetHits)
        if (!hit.nodes.empty())
            if (NodePtr held = fromOwner(hit.nodes.front())) return held;
    return {};
}

// ---- Preferences and recents -------------------------------------------------------------------

void AppState::persist() {
    PreferenceStore& store = *m->preferences;
    store.setValue(themeKey, qText(ThemeIDs::rawValue(m->themeID)));
    store.setValue(vizKey, qText(VizModes::rawValue(m->viz)));
    store.setValue(allocatedKey, m->useAllocatedSize);
    store.setValue(depthKey, m->treemapDepth);
    store.setValue(colorKey, qText(ColorModes::rawValue(m->colorMode)));
}

void AppState::restore() {
    // Read everything first: each assignment below persists all five keys, which must not replace a
    // stored value before it has been read.
    const PreferenceStore& store = *m->preferences;
    const QVariant theme = store.value(themeKey);
    const QVariant viz = store.value(vizKey);
    const QVariant allocated = store.value(allocatedKey);
    const QVariant depth = store.value(depthKey);
    const QVariant color = store.value(colorKey);
    const QVariant recents = store.value(recentsKey);

    if (auto raw = readString(theme))
        if (auto id = ThemeIDs::fromRaw(*raw)) setThemeID(*id);
    if (auto raw = readString(viz))
        if (auto mode = VizModes::fromRaw(*raw)) setViz(*mode);
    if (auto value = readBool(allocated)) setUseAllocatedSize(*value);
    if (auto value = readDouble(depth)) setTreemapDepth(*value);
    if (auto raw = readString(color))
        if (auto mode = ColorModes::fromRaw(*raw)) setColorMode(*mode);

    if (auto texts = readStringList(recents)) {
        // The list is stored at most maxRecents long; a longer one was made elsewhere, and each
        // path looked at takes a thread of its own while the window waits to show.
        std::vector<std::string> paths;
        for (const QString& text : texts->mid(0, qsizetype(maxRecents)))
            paths.push_back(QFile::encodeName(text).toStdString());
        // A recent folder on a mount that does not answer would hold the window before it shows;
        // such a folder is left out for now, like one that is gone (the stored list is kept).
        const std::vector<PathGate::Status> found = PathGate::statEach(paths, recentCheckLimit);
        std::vector<ScanTarget> targets;
        for (std::size_t i = 0; i < paths.size(); ++i)
            if (!paths[i].empty() && found[i].error == 0) targets.push_back(ScanTarget::recent(std::move(paths[i])));
        setRecents(std::move(targets));
    }
}

void AppState::rememberRecent(const ScanTarget& target) {
    if (target.path.empty()) return; // nothing to go back to
    std::vector<ScanTarget> recents = m->recents;
    std::erase_if(recents, [&](const ScanTarget& known) { return known.path == target.path; });
    recents.insert(recents.begin(), target);
    if (recents.size() > maxRecents) recents.resize(maxRecents);

    QStringList paths;
    for (const ScanTarget& known : recents) paths.append(QFile::decodeName(QByteArray::fromStdString(known.path)));
    setRecents(std::move(recents));
    m->preferences->setValue(recentsKey, paths);
}

// ---- Banners -----------------------------------------------------------------------------------

void AppState::explainFullDiskAccess() {
    // Asked while the permission is already held, the answer is that nothing more is needed.
    if (hasFullDiskAccess()) {
        setBanner(Banner::make(Banner::Kind::info, QStringLiteral("Tallymere can read every folder.")));
        return;
    }
    setBanner(Banner::make(Banner::Kind::info, QStringLiteral("Read access to every folder needs root rights"),
                           QStringLiteral("Run Tallymere as root, or give it the CAP_DAC_READ_SEARCH capability, "
                                          "to include protected folders.")));
}

} // namespace tallymere
