#pragma once
// Qt first: moc cannot parse <compare>, which the engine headers reach, unless Qt came before.
#include "views/components/ThemedWidget.h"
#include "services/DuplicateFinder.h"

#include <QString>
#include <QRectF>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QScrollArea;
class QStackedWidget;

namespace tallymere {

class AppState;
class ActionButton;
class DuplicatesStatePane;
class GroupList;
class MiniSlider;

// The duplicates tab: finds byte-identical files in the tree the window shows (the scanned tree or
// its filtered copy), lists them as group cards and stages the extra copies for cleanup.
//
// A search starts by itself when the tab is shown or the shown tree changes, if the tree holds
// fewer than 400,000 files and no search ran for its path yet while the tab is up; otherwise with
// "Find Duplicates". It runs on a thread of its own; a 0.1 s timer copies its progress. Only the
// latest search delivers, and only while its tree is still the one shown; at most the 500 groups
// of largest waste are kept. A stopped search shows the groups it verified before stopping and
// raises no banner; a manual search that finds nothing raises "No duplicates found", also when it
// ends after the tab was closed. Closing the tab stops an automatic search, which has no one left
// to tell; a search whose tree is no longer the one shown (a new scan, a filter) stops too, tab
// closed or not, so that it lets go of that tree.
class DuplicatesView : public ThemedWidget {
    Q_OBJECT
public:
    explicit DuplicatesView(AppState& state, QWidget* parent = nullptr);
    ~DuplicatesView() override;

    static constexpr std::int64_t autoRunFileLimit = 400000;
    static constexpr std::size_t maxGroups = 500;
    static constexpr double minSizeLowest = 0.1, minSizeHighest = 200;

    // The minimum size in decimal megabytes and in bytes (truncated toward zero).
    void setMinSizeMB(double megabytes);
    std::int64_t minSizeBytes() const;
    // "100 KB" below 1 MB, else "12 MB".
    static QString minSizeText(double megabytes);

    // What searches a tree: DuplicateFinder::find unless a test sets another. Called on the
    // search's own thread.
    using Finder = std::function<std::vector<DuplicateFinder::Group>(const std::shared_ptr<FileNode>&, std::int64_t,
                                                                     DuplicateFinder::Progress&)>;
    void setFinder(Finder finder);

    bool isRunning() const { return m_running; }
    const std::vector<DuplicateFinder::Group>& groups() const;
    QString subtitle() const;
    std::int64_t wasted() const;

    // The header button: starts a manual search, or stops the running one.
    void findOrStop();
    // Stages every extra copy of every shown group, in list order.
    void stageAllExtras();

    GroupList* groupList() const { return m_list; }
    DuplicatesStatePane* statePane() const { return m_statePane; }
    ActionButton* findButton() const { return m_findButton; }
    ActionButton* stageAllButton() const { return m_stageAllButton; }
    MiniSlider* slider() const { return m_slider; }

    static constexpr double headerPaddingX = 16, headerPaddingY = 11;
    // Whether the header takes two rows: the title and the search button over the other controls.
    bool headerWraps() const;
    // Where the title and subtitle are drawn, and the "Min size" label.
    QRectF titleRect() const;
    QRectF minSizeLabelRect() const;
    // The title's or the subtitle's width, whichever is wider.
    double titleBlockWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Inbox;

    void autoRunIfCheap();
    void start();
    void cancel();
    void poll();
    void finish(std::uint64_t generation, const std::shared_ptr<FileNode>& tree,
                std::vector<DuplicateFinder::Group> groups, bool cancelled);
    void displayRootChanged();
    void refresh();
    void layoutChildren();
    double headerHeight() const;
    double titleBlockHeight() const;
    double minSizeControlWidth() const;

    AppState& m_state;
    std::shared_ptr<Inbox> m_inbox;
    std::shared_ptr<DuplicateFinder::Progress> m_progress;
    Finder m_finder;
    std::uint64_t m_generation = 0;
    bool m_running = false;
    bool m_startedManually = false;
    std::optional<std::string> m_autoRanFor;
    double m_minSizeMB = 1.0;
    QString m_stage;
    std::int64_t m_done = 0, m_total = 0;
    QTimer m_poll;

    MiniSlider* m_slider;
    ActionButton* m_stageAllButton;
    ActionButton* m_findButton;
    QStackedWidget* m_content;
    DuplicatesStatePane* m_statePane;
    QScrollArea* m_scroll;
    GroupList* m_list;
    QRectF m_controlRow;      // the band the minimum-size control sits in
    double m_titleRight = 0;  // where the title's room ends
};

} // namespace tallymere
