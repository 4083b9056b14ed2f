// The duplicates tab offscreen on real scanned folders: its states drawn, searches started by
// themselves and by hand, the cards' clicks and what they do to the cleanup queue.
#include "views/tools/duplicates/DuplicatesView.h"

#include "core/ByteFormat.h"

#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "style/Typography.h"
#include "support/ColourChecks.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/tools/duplicates/DuplicatesStatePane.h"
#include "views/tools/duplicates/GroupCard.h"
#include "views/tools/duplicates/GroupList.h"
#include "views/tools/duplicates/MiniSlider.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLocale>
#include <QMouseEvent>
#include <QScrollArea>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace tallymere {
namespace {

using test::anyPixelNear;
using test::distance;
using test::over;


using test::waitUntil;

class RecordingDesktop : public DesktopActions {
public:
    std::vector<std::vector<std::string>> revealed;
    std::optional<std::string> reveal(const std::vector<std::string>& paths) override {
        revealed.push_back(paths);
        return std::nullopt;
    }
    std::optional<std::string> open(const std::string&) override { return std::nullopt; }
};

void write(const std::string& path, std::size_t bytes, char fill) {
    std::ofstream(path, std::ios::binary) << std::string(bytes, fill);
}

class DuplicatesTab : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }

    void SetUp() override { state.setDesktop(&desktop); }

    // Three copies of one content (kept: "a"), two of another, one file of its own.
    void makeFolder() {
        folder.folder("deep/er");
        write(folder / "a", 300000, 'x');
        write(folder / "deep/a2", 300000, 'x');
        write(folder / "deep/er/a3", 300000, 'x');
        write(folder / "b", 250000, 'y');
        write(folder / "deep/b2", 250000, 'y');
        write(folder / "c", 400000, 'z');
        ASSERT_TRUE(test::scanAndWait(state, folder.path()));
    }

    QImage render(QWidget& widget) {
        QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::magenta);
        widget.render(&image);
        image.save(QDir::temp().filePath("tallymere-duplicates-" +
                                         QString::fromStdString(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                                         ".png"));
        return image.convertToFormat(QImage::Format_ARGB32);
    }

    void click(QWidget* widget, QPointF at) {
        QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(widget, &release);
    }

    std::vector<std::string> queuePaths() const {
        std::vector<std::string> paths;
        for (const auto& node : state.queue()) paths.push_back(node->path().substr(folder.path().size() + 1));
        return paths;
    }

    test::TempFolder folder;
    RecordingDesktop desktop;
    AppState state{test::memoryStore()};
    Theme theme;
};

TEST_F(DuplicatesTab, WithoutATreeAsksForAScanAndCannotSearch) {
    DuplicatesView view(state);
    view.resize(900, 600);
    view.show();
    EXPECT_FALSE(view.isRunning());
    EXPECT_FALSE(view.findButton()->isEnabled());
    EXPECT_EQ(view.statePane()->title(), "Run a scan first");
    EXPECT_EQ(view.statePane()->subtitle(), "Duplicate detection works on whatever you last scanned.");
    EXPECT_EQ(view.subtitle(), "Byte-for-byte identical copies in the current scan");
    view.findOrStop();
    EXPECT_FALSE(view.isRunning());

    const QImage image = render(view);
    // The tile: ramp[6] at 0.34 over the background, 62 wide, centred.
    const QRectF tile = view.statePane()->tileRect().translated(view.statePane()->mapTo(&view, QPoint()));
    EXPECT_EQ(tile.width(), 62);
    EXPECT_LE(distance(image.pixelColor(tile.left() + 6, tile.top() + 6).rgb(),
                       over(theme.ramp[6], 0.34, theme.background)),
              3);
    EXPECT_LE(distance(image.pixelColor(tile.left() - 4, tile.center().y()), theme.background), 2);
    // The find button is drawn dimmed to half.
    const QRect button = view.findButton()->geometry();
    EXPECT_TRUE(anyPixelNear(image, button.adjusted(4, 4, -4, -4), over(theme.accent, 0.5, theme.background)));
}

TEST_F(DuplicatesTab, SearchesByItselfAndShowsCardsThatStage) {
    makeFolder();
    DuplicatesView view(state);
    view.setMinSizeMB(0.1);
    view.resize(900, 600);
    view.show();
    ASSERT_TRUE(view.isRunning()) << "a small tree is searched as soon as the tab appears";
    EXPECT_EQ(view.findButton()->title(), "Stop");
    EXPECT_FALSE(view.slider()->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !view.isRunning(); }));

    ASSERT_EQ(view.groups().size(), 2u);
    EXPECT_EQ(view.subtitle(), "2 groups · 850\u00A0KB recoverable");
    EXPECT_EQ(view.groups()[0].files[0]->path(), folder / "a");
    EXPECT_FALSE(state.banner()) << "an automatic search posts nothing";
    EXPECT_TRUE(view.stageAllButton()->isVisible());

    GroupList* list = view.groupList();
    const DuplicateFinder::Group& first = view.groups()[0];
    GroupCard card(theme, first, false);
    EXPECT_EQ(card.summaryText(), "3 identical copies · 300\u00A0KB each");
    EXPECT_EQ(card.wasteText(), "+600\u00A0KB");

    // Collapsed: a card of surface with the waste in `success`.
    QImage image = render(view);
    const QPoint listOrigin = list->mapTo(&view, QPoint());
    const QRectF cardRect = list->cardRect(0).translated(listOrigin);
    EXPECT_LE(distance(image.pixelColor(cardRect.left() + 40, cardRect.bottom() - 3), theme.surface), 2);
    const QRectF keep = card.keepFirstRect(cardRect.width()).translated(cardRect.topLeft());
    EXPECT_TRUE(anyPixelNear(image, QRectF(keep.left() - 60, keep.top(), 50, keep.height()).toRect(), theme.success, 40));
    EXPECT_TRUE(anyPixelNear(image, keep.toRect().adjusted(2, 2, -2, -2), over(theme.accent, 0.18, theme.surface), 3));

    // A click on the header expands the card: rows "KEEP", "COPY 1", "COPY 2" on the background colour.
    click(list, list->cardRect(0).topLeft() + QPointF(60, 10));
    EXPECT_TRUE(list->isExpanded(first.id));
    GroupCard expanded(theme, first, true);
    const double width = list->cardRect(0).width();
    EXPECT_GT(list->cardRect(0).height(), card.height() + 3 * 20);

    // The queue button of COPY 2 stages that file; the reveal button of KEEP reveals it.
    click(list, list->cardRect(0).topLeft() + expanded.queueRect(width, 2).center());
    EXPECT_EQ(queuePaths(), (std::vector<std::string>{"deep/er/a3"}));
    click(list, list->cardRect(0).topLeft() + expanded.revealRect(width, 0).center());
    ASSERT_EQ(desktop.revealed.size(), 1u);
    EXPECT_EQ(desktop.revealed[0], (std::vector<std::string>{folder / "a"}));
    image = render(view);
    const QRectF queued = expanded.queueRect(width, 2).translated(list->cardRect(0).topLeft() + QPointF(listOrigin));
    EXPECT_TRUE(anyPixelNear(image, queued.toRect(), theme.danger, 30)) << "a staged row's symbol turns `danger`";
    const QRectF row = expanded.rowRect(width, 1).translated(list->cardRect(0).topLeft() + QPointF(listOrigin));
    EXPECT_LE(distance(image.pixelColor(row.left() + 2, row.center().y()), theme.background), 2);

    EXPECT_EQ(list->toolTipAt(list->cardRect(0).topLeft() + expanded.keepFirstRect(width).center()),
              "Stage every copy except the first for cleanup");
    EXPECT_EQ(list->toolTipAt(list->cardRect(0).topLeft() + expanded.revealRect(width, 1).center()), "");

    // "Keep first" stages the other copies after the one already staged, never the kept one.
    click(list, list->cardRect(0).topLeft() + expanded.keepFirstRect(width).center());
    EXPECT_EQ(queuePaths(), (std::vector<std::string>{"deep/er/a3", "deep/a2"}));
    EXPECT_TRUE(list->isExpanded(first.id)) << "staging does not fold the card";

    // "Stage all extras" skips a copy inside a staged folder and the kept copies.
    state.setQueue({});
    state.enqueue(AppState::nodeAt(folder / "deep/er", state.displayRoot()));
    view.stageAllExtras();
    EXPECT_EQ(queuePaths(), (std::vector<std::string>{"deep/er", "deep/a2", "deep/b2"}));

    // A rescan of the same folder clears the groups and does not search again by itself.
    ASSERT_TRUE(test::scanAndWait(state, folder.path()));
    EXPECT_TRUE(view.groups().empty());
    EXPECT_FALSE(view.isRunning());
    EXPECT_EQ(view.statePane()->title(), "No duplicates found yet");
}

TEST_F(DuplicatesTab, StagingNeverTakesEveryCopyOfAGroup) {
    // Group of x (kept: k/x), group of y (kept: y).
    folder.folder("k");
    folder.folder("long/er");
    write(folder / "k/x", 300000, 'x');
    write(folder / "long/er/x-copy", 300000, 'x');
    write(folder / "y", 250000, 'y');
    write(folder / "long/y-copy", 250000, 'y');
    ASSERT_TRUE(test::scanAndWait(state, folder.path()));
    DuplicatesView view(state);
    view.setMinSizeMB(0.1);
    view.resize(900, 600);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return !view.isRunning(); }));
    ASSERT_EQ(view.groups().size(), 2u);
    ASSERT_EQ(view.groups()[0].files[0]->path(), folder / "k/x");
    ASSERT_EQ(view.groups()[1].files[0]->path(), folder / "y");

    // The folder holding x's kept copy is staged, and y's kept copy itself: neither button stages
    // any of their extras, which would send every copy to the Trash.
    const std::vector<AppState::NodePtr> kept = {AppState::nodeAt(folder / "k", state.displayRoot()),
                                                 AppState::nodeAt(folder / "y", state.displayRoot())};
    state.setQueue(kept);
    ActionButton* stageAll = view.stageAllButton();
    click(stageAll, QPointF(stageAll->width() / 2.0, stageAll->height() / 2.0));
    EXPECT_EQ(queuePaths(), (std::vector<std::string>{"k", "y"}));
    state.setQueue(kept);
    GroupList* list = view.groupList();
    GroupCard card(theme, view.groups()[0], false);
    click(list, list->cardRect(0).topLeft() + card.keepFirstRect(list->cardRect(0).width()).center());
    EXPECT_EQ(queuePaths(), (std::vector<std::string>{"k", "y"}));

    // Kept copies no longer staged: the extras go, the kept copies stay.
    state.setQueue({});
    click(stageAll, QPointF(stageAll->width() / 2.0, stageAll->height() / 2.0));
    EXPECT_EQ(queuePaths(), (std::vector<std::string>{"long/er/x-copy", "long/y-copy"}));
}

TEST_F(DuplicatesTab, ManualSearchReportsNothingFoundUnlessStopped) {
    makeFolder();
    DuplicatesView view(state);
    view.resize(900, 600);
    view.show(); // automatic search at the default 1 MB: nothing qualifies, nothing said
    ASSERT_TRUE(waitUntil([&] { return !view.isRunning(); }));
    EXPECT_TRUE(view.groups().empty());
    EXPECT_FALSE(state.banner());

    view.findOrStop();
    ASSERT_TRUE(waitUntil([&] { return !view.isRunning(); }));
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::info);
    EXPECT_EQ(state.banner()->title, "No duplicates found");
    EXPECT_EQ(state.banner()->detail, "Nothing above 1.00\u00A0MB is duplicated here.");

    // Stopped at once: no banner once it returns, and the empty state meanwhile.
    state.setBanner(std::nullopt);
    view.findOrStop();
    view.findOrStop();
    EXPECT_FALSE(view.isRunning());
    EXPECT_EQ(view.findButton()->title(), "Find Duplicates");
    EXPECT_EQ(view.statePane()->title(), "No duplicates found yet");
    test::spin(300);
    EXPECT_FALSE(state.banner());

    // A stopped search that returns after another has started is ignored: the newer one delivers.
    view.setMinSizeMB(0.1);
    view.findOrStop();
    view.findOrStop();
    view.findOrStop();
    ASSERT_TRUE(waitUntil([&] { return !view.isRunning(); }));
    test::spin(50);
    EXPECT_EQ(view.groups().size(), 2u);
    EXPECT_FALSE(state.banner());
}

TEST_F(DuplicatesTab, ResultsAreForTheTreeShownNow) {
    makeFolder();
    test::TempFolder other;
    write(other / "one", 220000, 'q');
    write(other / "two", 220000, 'q');
    DuplicatesView view(state);
    view.setMinSizeMB(0.1);
    view.show();
    ASSERT_TRUE(view.isRunning());
    // Another folder is shown while the first search may still run: whatever the order in which
    // the two finish, only the new tree's groups are shown.
    ASSERT_TRUE(test::scanAndWait(state, other.path()));
    ASSERT_TRUE(waitUntil([&] { return !view.isRunning() && !view.groups().empty(); }));
    ASSERT_EQ(view.groups().size(), 1u);
    EXPECT_EQ(view.groups()[0].files[0]->path().substr(0, other.path().size()), other.path());
    EXPECT_EQ(view.subtitle(), "1 group · 220\u00A0KB recoverable") << "one group: no plural";
}

TEST_F(DuplicatesTab, ClosedTabStillReportsAManualSearchThatFoundNothing) {
    makeFolder();
    {
        DuplicatesView view(state); // never shown: no automatic search
        view.setMinSizeMB(100);
        view.findOrStop(); // a manual search that finds nothing
        ASSERT_TRUE(view.isRunning());
    }
    // The outcome is the window's message, not the tab's: it arrives without touching the view.
    ASSERT_TRUE(waitUntil([&] { return state.banner().has_value(); }));
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::info);
    EXPECT_EQ(state.banner()->title, "No duplicates found");
    EXPECT_EQ(state.banner()->detail, "Nothing above 100\u00A0MB is duplicated here.");

    // Stopped before the tab closed: nothing to say.
    state.setBanner(std::nullopt);
    {
        DuplicatesView view(state);
        view.setMinSizeMB(100);
        view.findOrStop();
        view.findOrStop();
        ASSERT_FALSE(view.isRunning());
    }
    test::spin(300);
    EXPECT_FALSE(state.banner());
}

TEST_F(DuplicatesTab, ASearchOfATreeNoLongerShownStopsAndLetsGoOfItTabOpenOrClosed) {
    makeFolder();
    test::TempFolder other;
    write(other / "one", 220000, 'q');
    // A search that goes on until it is told to stop; the bound only keeps a broken build from hanging.
    const DuplicatesView::Finder searching = [](const std::shared_ptr<FileNode>&, std::int64_t,
                                                DuplicateFinder::Progress& progress) {
        for (int i = 0; i < 6000 && !progress.cancelled(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return std::vector<DuplicateFinder::Group>{};
    };
    for (bool tabClosed : {false, true}) {
        const std::weak_ptr<FileNode> searched = state.displayRoot();
        auto view = std::make_unique<DuplicatesView>(state); // never shown: no automatic search
        view->setFinder(searching);
        view->findOrStop();
        ASSERT_TRUE(view->isRunning());
        if (tabClosed) view.reset();
        // A new scan puts another tree on display.
        ASSERT_TRUE(test::scanAndWait(state, tabClosed ? folder.path() : other.path()));
        EXPECT_TRUE(waitUntil([&] { return searched.expired(); }, 10000))
            << (tabClosed ? "closed tab: " : "open tab: ") << "the search still holds the tree it was searching";
        EXPECT_FALSE(state.banner()) << "a stopped search says nothing";
    }
}

TEST_F(DuplicatesTab, RunningStateShowsTheProgressOfTheSearch) {
    DuplicatesStatePane pane;
    pane.resize(700, 400);
    pane.showRunning(QStringLiteral("Sampling 1,000 candidates"), 250, 1000);
    EXPECT_EQ(pane.title(), "Sampling 1,000 candidates");
    EXPECT_DOUBLE_EQ(pane.fraction(), 0.25);
    QImage image(pane.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(theme.background);
    pane.render(&image);
    image.save(QDir::temp().filePath("tallymere-duplicates-running.png"));
    const QRectF bar = pane.progressBarRect();
    EXPECT_EQ(bar.width(), 320);
    const int y = int(bar.center().y());
    EXPECT_LE(distance(image.pixelColor(int(bar.left() + 0.15 * bar.width()), y), theme.accent), 8) << "done";
    EXPECT_LE(distance(image.pixelColor(int(bar.left() + 0.6 * bar.width()), y), over(theme.accent, 0.18, theme.background)),
              12)
        << "still to do";
    EXPECT_TRUE(anyPixelNear(image, QRect(int(bar.left()), int(bar.bottom()) + 14, 320, 20), theme.text, 40))
        << "the stage text under the bar";

    pane.showRunning(QStringLiteral("Collecting files"), 0, 0);
    EXPECT_EQ(pane.fraction(), 0) << "no total yet: an empty bar";

    // The stage's figure, as the search writes it, is grouped as the count under the bar is.
    const QString total = QLocale::system().toString(144876);
    pane.showRunning(QString::fromStdString("Sampling " + ByteFormat::count(144876) + " candidates"), 319, 144876);
    EXPECT_EQ(pane.title(), "Sampling " + total + " candidates");
    pane.showRunning(QString::fromStdString("Verifying " + ByteFormat::count(1000) + " files"), 0, 1000);
    EXPECT_EQ(pane.title(), "Verifying " + QLocale::system().toString(1000) + " files");
}

TEST(DuplicatesMinSize, ValueLabelAndBytes) {
    EXPECT_EQ(DuplicatesView::minSizeText(0.1), "100\u00A0KB");
    EXPECT_EQ(DuplicatesView::minSizeText(0.5), "500\u00A0KB");
    EXPECT_EQ(DuplicatesView::minSizeText(1.0), "1\u00A0MB");
    EXPECT_EQ(DuplicatesView::minSizeText(200), "200\u00A0MB");
    EXPECT_EQ(DuplicatesView::minSizeText(2.5), "2\u00A0MB") << "a tie rounds to even, as every fixed figure does";
    AppState state(test::memoryStore());
    DuplicatesView view(state);
    for (auto [mb, bytes] : {std::pair{0.1, 100000LL}, {0.5, 500000LL}, {1.0, 1000000LL}, {200.0, 200000000LL}}) {
        view.setMinSizeMB(mb);
        EXPECT_EQ(view.minSizeBytes(), bytes);
    }
}

} // namespace
} // namespace tallymere
