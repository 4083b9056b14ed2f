#pragma once
// Qt first: moc cannot parse <compare>, which the engine headers reach, unless Qt came before.
#include "views/components/ThemedWidget.h"
#include "views/tools/snapshots/SnapshotPairing.h"

#include <cstdint>
#include <functional>
#include <vector>

class QScrollArea;

namespace tallymere {

class ActionButton;
class AppState;
class ComparisonPane;
class SnapshotList;

// The snapshots tab: a 300-wide sidebar (title, caption, "Capture Current Scan", the stored
// snapshots newest first or "No snapshots yet") beside the comparison of the chosen pair.
//
// Each time the tab appears it loads the stored snapshots and pairs the newest with the most recent
// earlier one of the same root. Capturing records the scanned tree with the current size mode,
// saves it, reloads and may pair; the outcome is a banner ("Snapshot saved" or "Could not save
// snapshot" with the system's reason), and so is a failed deletion. The listing (every file read
// and decoded) and the deletion, which reads the file first, run on a worker: the window never
// waits on the folder, however large or many its files. A listing asked for later replaces one
// still running; until the first arrives, the list shows nothing, not "No snapshots yet".
class SnapshotsView : public ThemedWidget {
    Q_OBJECT
public:
    explicit SnapshotsView(AppState& state, QWidget* parent = nullptr);

    static constexpr double sidebarWidth = 300;
    static constexpr int captureDepth = 6;
    static constexpr std::int64_t captureMinSize = 5000000;

    const std::vector<Snapshot>& snapshots() const { return m_snapshots; }
    const SnapshotPairing& pairing() const { return m_pairing; }

    // The tab's operations, as its controls run them. load(), capture() and remove() return at
    // once; the new list follows with listed().
    void load();
    void capture();
    void pick(std::size_t index);
    void remove(std::size_t index);
    void reset();

    ActionButton* captureButton() const { return m_captureButton; }
    SnapshotList* snapshotList() const { return m_list; }
    ComparisonPane* comparisonPane() const { return m_pane; }
    // Where the empty state's symbol sits (widget coordinates); empty while the list shows or is
    // still being read.
    QRectF emptySymbolRect() const;
    // Whether a listing is on its way.
    bool isListing() const { return m_listing != m_listed; }

signals:
    // A listing arrived and is shown.
    void listed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void changed();
    // Runs `work` (a store operation, then the listing) on a worker; the list it ends with is shown
    // unless a later listing was asked for meanwhile.
    void list(std::function<std::vector<Snapshot>()> work);
    void showListing(std::vector<Snapshot> snapshots);
    void layoutChildren();
    double headerHeight() const;

    AppState& m_state;
    std::vector<Snapshot> m_snapshots;
    // Listings asked for and the last one shown, numbered.
    std::uint64_t m_listing = 0;
    std::uint64_t m_listed = 0;
    bool m_everListed = false;
    SnapshotPairing m_pairing;
    ActionButton* m_captureButton;
    QScrollArea* m_scroll;
    SnapshotList* m_list;
    ComparisonPane* m_pane;
};

} // namespace tallymere
