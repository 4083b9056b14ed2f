#pragma once
// Qt first: moc cannot parse <compare>, which the engine headers reach, unless Qt came before.
#include "views/components/ThemedWidget.h"
#include "views/tools/snapshots/SnapshotPairing.h"

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
// snapshot" with the system's reason), and so is a failed deletion. Everything runs on the main thread
// and waits for the store.
class SnapshotsView : public ThemedWidget {
    Q_OBJECT
public:
    explicit SnapshotsView(AppState& state, QWidget* parent = nullptr);

    static constexpr double sidebarWidth = 300;
    static constexpr int captureDepth = 6;
    static constexpr std::int64_t captureMinSize = 5000000;

    const std::vector<Snapshot>& snapshots() const { return m_snapshots; }
    const SnapshotPairing& pairing() const { return m_pairing; }

    // The tab's operations, as its controls run them.
    void load();
    void capture();
    void pick(std::size_t index);
    void remove(std::size_t index);
    void reset();

    ActionButton* captureButton() const { return m_captureButton; }
    SnapshotList* snapshotList() const { return m_list; }
    ComparisonPane* comparisonPane() const { return m_pane; }
    // Where the empty state's symbol sits (widget coordinates); empty while the list shows.
    QRectF emptySymbolRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void changed();
    void layoutChildren();
    double headerHeight() const;

    AppState& m_state;
    std::vector<Snapshot> m_snapshots;
    SnapshotPairing m_pairing;
    ActionButton* m_captureButton;
    QScrollArea* m_scroll;
    SnapshotList* m_list;
    ComparisonPane* m_pane;
};

} // namespace tallymere
