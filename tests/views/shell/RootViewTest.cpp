#include "views/shell/RootView.h"
#include "views/shell/cleanup/CleanupBar.h"

#include "state/AppStateTestSupport.h"
#include "style/Typography.h"
#include "views/components/controls/IconToggle.h"
#include "views/shell/BannerView.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/sidebar/SidebarView.h"
#include "views/shell/topbar/TopBar.h"
#include "views/shell/WorkspaceView.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <cmath>

using namespace tallymere;
using tallymere::test::TempFolder;
using Kind = AppState::Banner::Kind;

namespace {

struct Window {
    explicit Window(QSize size = {1400, 860}) : view(state) {
        view.resize(size);
        view.show();
    }
    QImage render() { return view.grab().toImage(); }
    AppState state{test::memoryStore()};
    RootView view;
};

} // namespace

TEST(RootViewPanes, ColumnsKeepTheirWidthsAndTheInspectorNeedsATree) {
    TempFolder dir;
    dir.file("tree/a.bin", 5000);
    Window w;
    EXPECT_EQ(w.view.minimumSize(), QSize(1060, 660));
    EXPECT_EQ(w.view.sidebar()->width(), 272);
    // No tree: no inspector, on any tab, although the user has not hidden it.
    EXPECT_TRUE(w.view.showInspector());
    EXPECT_FALSE(w.view.inspector()->isVisible());
    EXPECT_EQ(w.view.columnRect().right(), 1399);

    ASSERT_TRUE(test::scanAndWait(w.state, dir / "tree"));
    w.view.finishAnimations();
    ASSERT_TRUE(w.view.inspector()->isVisible());
    EXPECT_EQ(w.view.inspector()->width(), 306);
    EXPECT_EQ(w.view.inspector()->geometry().right(), 1399);
    EXPECT_EQ(w.view.columnRect().width(), 1400 - 272 - 1 - 306 - 1);
    // The dividers are drawn in the theme's stroke colour.
    const QImage image = w.render();
    const Theme theme = Theme::make(ThemeID::paper);
    EXPECT_EQ(image.pixelColor(272, 400), theme.stroke);
    EXPECT_EQ(image.pixelColor(w.view.columnRect().right() + 1, 400), theme.stroke);
    EXPECT_EQ(image.pixelColor(700, w.view.topBar()->height()), theme.stroke);

    // A wider window widens only the workspace column.
    w.view.resize(1700, 900);
    EXPECT_EQ(w.view.sidebar()->width(), 272);
    EXPECT_EQ(w.view.inspector()->width(), 306);
    EXPECT_EQ(w.view.columnRect().width(), 1700 - 272 - 1 - 306 - 1);
}

TEST(RootViewPanes, InspectorToggleAndToolTabsHideTheColumn) {
    TempFolder dir;
    dir.file("tree/a.bin", 5000);
    Window w;
    ASSERT_TRUE(test::scanAndWait(w.state, dir / "tree"));
    w.view.finishAnimations();
    IconToggle* toggle = w.view.topBar()->inspectorToggle();
    ASSERT_TRUE(toggle->isVisible());
    EXPECT_TRUE(toggle->isOn());

    test::clickOn(*toggle);
    EXPECT_FALSE(w.view.showInspector());
    EXPECT_FALSE(toggle->isOn());
    w.view.finishAnimations();
    EXPECT_FALSE(w.view.inspector()->isVisible());
    EXPECT_EQ(w.view.columnRect().right(), 1399);

    test::clickOn(*toggle);
    w.view.finishAnimations();
    EXPECT_TRUE(w.view.inspector()->isVisible());

    // The applications tab has no inspector; coming back restores it, the wish unchanged.
    w.state.setTab(WorkspaceTab::apps);
    w.view.finishAnimations();
    EXPECT_FALSE(w.view.inspector()->isVisible());
    EXPECT_FALSE(toggle->isVisible());
    EXPECT_TRUE(w.view.showInspector());
    w.state.setTab(WorkspaceTab::duplicates);
    w.view.finishAnimations();
    EXPECT_TRUE(w.view.inspector()->isVisible());
    EXPECT_TRUE(toggle->isVisible());
}

TEST(RootViewPanes, CleanupBarRisesWhileTheQueueHoldsItems) {
    TempFolder dir;
    dir.file("tree/a.bin", 5000);
    Window w;
    ASSERT_TRUE(test::scanAndWait(w.state, dir / "tree"));
    w.view.finishAnimations();
    const int fullHeight = w.view.columnRect().height();
    EXPECT_FALSE(w.view.cleanupBar()->isVisible());

    w.state.enqueue(AppState::nodeAt(dir / "tree/a.bin", w.state.displayRoot()));
    w.view.finishAnimations();
    ASSERT_TRUE(w.view.cleanupBar()->isVisible());
    EXPECT_EQ(w.view.cleanupBar()->geometry().bottom(), 859);
    EXPECT_EQ(w.view.columnRect().bottom() + 2, w.view.cleanupBar()->geometry().top());
    EXPECT_LT(w.view.columnRect().height(), fullHeight);

    w.state.setQueue({});
    w.view.finishAnimations();
    EXPECT_FALSE(w.view.cleanupBar()->isVisible());
    EXPECT_EQ(w.view.columnRect().height(), fullHeight);
}

TEST(RootViewBanner, EachKindInItsColourAtTheFootOfTheColumn) {
    Window w;
    const Theme theme = Theme::make(ThemeID::paper);
    const std::pair<Kind, QColor> kinds[] = {
        {Kind::info, theme.accent}, {Kind::success, theme.success}, {Kind::warning, theme.warning}, {Kind::error, theme.danger}};
    for (const auto& [kind, tint] : kinds) {
        w.state.setBanner(AppState::Banner::make(kind, QStringLiteral("Title")));
        w.view.finishAnimations();
        const QRect banner = w.view.bannerRect();
        ASSERT_FALSE(banner.isEmpty());
        const QRect column = w.view.columnRect();
        EXPECT_EQ(banner.width(), 620);
        EXPECT_NEAR(banner.center().x(), column.center().x(), 1);
        EXPECT_EQ(banner.bottom() + 1, column.bottom() + 1 - RootView::bannerMargin);
        const QImage image = w.render();
        // The border is the kind's colour at 30 % over the card.
        EXPECT_TRUE(test::near(image.pixelColor(banner.center().x(), banner.top()), test::blend(theme.surface, tint, 0.3), 8))
            << int(kind);
        // The kind's symbol is drawn in its colour near the leading edge.
        bool inked = false;
        for (int x = banner.left() + 14; x < banner.left() + 34 && !inked; ++x)
            inked = test::near(image.pixelColor(x, banner.center().y()), tint, 10);
        EXPECT_TRUE(inked) << int(kind);
        EXPECT_TRUE(w.view.bannerView()->grantRect().isEmpty());
    }
}

TEST(RootViewBanner, DetailWrapsUpwardsAndANarrowColumnIsFilled) {
    // Without the inspector a column of the monitor tab is wider than 620: the card is 620 and centred.
    Window w({1400, 760});
    w.state.setTab(WorkspaceTab::monitor);
    w.state.setBanner(AppState::Banner::make(Kind::info, QStringLiteral("One line")));
    w.view.finishAnimations();
    const QRect column = w.view.columnRect();
    ASSERT_GT(column.width(), 620);
    const QRect single = w.view.bannerRect();
    EXPECT_EQ(single.width(), 620);
    EXPECT_NEAR(single.center().x(), column.center().x(), 1);
    EXPECT_EQ(single.bottom(), column.bottom() - 14);

    w.state.setBanner(AppState::Banner::make(Kind::info, QStringLiteral("Two"), QString(QStringLiteral("words ")).repeated(60)));
    w.view.finishAnimations();
    const QRect wrapped = w.view.bannerRect();
    EXPECT_GT(wrapped.height(), single.height() + 20);
    EXPECT_EQ(wrapped.bottom(), single.bottom());

    // The smallest window with a tree and the inspector leaves a column narrower than 620: the card
    // fills it from edge to edge, and its text still wraps inside it.
    TempFolder dir;
    dir.file("tree/a.bin", 5000);
    w.state.setTab(WorkspaceTab::explore);
    ASSERT_TRUE(test::scanAndWait(w.state, dir / "tree"));
    w.view.resize(1060, 660);
    w.view.finishAnimations();
    const QRect narrow = w.view.columnRect();
    ASSERT_LT(narrow.width(), 620);
    const QRect filled = w.view.bannerRect();
    EXPECT_EQ(filled.left(), narrow.left());
    EXPECT_EQ(filled.width(), narrow.width());
    EXPECT_GT(filled.height(), wrapped.height());
    EXPECT_EQ(filled.bottom(), narrow.bottom() - 14);
    // Its edge is painted at the column's edge, in the banner's surface colour just inside it.
    const QImage image = w.render();
    const Theme theme = Theme::make(ThemeID::paper);
    EXPECT_TRUE(test::near(image.pixelColor(filled.left() + 3, filled.center().y()), theme.surface, 12));
    EXPECT_TRUE(test::near(image.pixelColor(filled.right() - 3, filled.center().y()), theme.surface, 12));
}

TEST(RootViewBanner, GrantAccessOnlyForThePartialScanWarning) {
    Window w;
    // The warning comes after a whole-disk scan without the permission to read every folder.
    w.state.setAccessProbe([] { return false; });
    w.state.setBanner(AppState::Banner::make(Kind::info, QStringLiteral("Partial scan")));
    w.view.finishAnimations();
    EXPECT_TRUE(w.view.bannerView()->grantRect().isEmpty());
    w.state.setBanner(AppState::Banner::make(Kind::warning, QStringLiteral("Partial scan!")));
    EXPECT_TRUE(w.view.bannerView()->grantRect().isEmpty());
    w.state.setBanner(AppState::Banner::make(Kind::warning, QStringLiteral("Partial scan"), QStringLiteral("detail")));
    w.view.finishAnimations();
    const QRectF grant = w.view.bannerView()->grantRect();
    ASSERT_FALSE(grant.isEmpty());

    // There is no settings page to open here: the press explains what reading everything takes.
    test::clickOn(*w.view.bannerView(), grant);
    ASSERT_TRUE(w.state.banner().has_value());
    EXPECT_EQ(w.state.banner()->kind, Kind::info);
    ASSERT_TRUE(w.state.banner()->detail.has_value());
    EXPECT_TRUE(w.state.banner()->detail->contains(QStringLiteral("CAP_DAC_READ_SEARCH")));
}

TEST(RootViewBanner, CloseDismissesAndNamesStayOnOneLine) {
    Window w;
    w.state.setBanner(AppState::Banner::make(Kind::error, QStringLiteral("Could not read"), QStringLiteral("a\nb<b>c</b>")));
    // It rises from the foot of the column.
    const int arriving = w.view.bannerRect().top();
    w.view.finishAnimations();
    EXPECT_GT(arriving, w.view.bannerRect().top());
    EXPECT_EQ(*w.view.bannerView()->banner().detail, QStringLiteral("a\\nb<b>c</b>"));
    const QRect resting = w.view.bannerRect();
    test::clickOn(*w.view.bannerView(), w.view.bannerView()->closeRect());
    EXPECT_FALSE(w.state.banner().has_value());
    // It sinks away rather than vanish, then is gone.
    EXPECT_EQ(w.view.bannerRect(), resting);
    w.view.finishAnimations();
    EXPECT_TRUE(w.view.bannerRect().isEmpty());
    // Only the banner went: the workspace is untouched under where it was.
    EXPECT_EQ(w.view.workspace()->screen(), WorkspaceView::Screen::welcome);
}

TEST(RootViewTheme, EveryPaneFollowsTheStoresThemeAtOnce) {
    Window w;
    w.state.setThemeID(ThemeID::slate);
    const Theme slate = Theme::make(ThemeID::slate);
    EXPECT_EQ(w.view.theme().id, ThemeID::slate);
    const QImage image = w.render();
    EXPECT_EQ(image.pixelColor(100, 600), slate.background); // sidebar
    EXPECT_EQ(image.pixelColor(w.view.width() - 5, 5), slate.background); // top bar
}

// A name longer than the card is wide (a folder name without spaces in "Snapshot saved") breaks
// inside the word and the card grows for its lines, instead of running under the close button.
TEST(RootViewBanner, AWordLongerThanTheCardBreaksInsideIt) {
    // The program's own faces, as the window has them: the lines are measured in them.
    Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts");
    Window w({1060, 660});
    TempFolder dir;
    dir.file("tree/a.bin", 5000);
    ASSERT_TRUE(test::scanAndWait(w.state, dir / "tree"));
    w.state.setTab(WorkspaceTab::snapshots);
    const QString name = QString(QStringLiteral("averyveryverylongfoldernamewithoutanyspacesthatkeepsgoing")).repeated(2);
    w.state.setBanner(AppState::Banner::make(Kind::success, QStringLiteral("Snapshot saved"),
                                             QStringLiteral("1 entries captured for ") + name + QLatin1Char('.')));
    w.view.finishAnimations();
    BannerView* banner = w.view.bannerView();
    ASSERT_EQ(banner->width(), 620);
    const QImage card = banner->grab().toImage();
    const Theme theme = Theme::make(ThemeID::paper);
    // The texts end two spacings before the close button; nothing is inked between them and it.
    const QRectF close = banner->closeRect();
    const int clearFrom = int(std::ceil(close.left())) - 20 + 2, clearTo = int(close.left()) - 2;
    int inkedRows = 0, overrun = 0, lowest = 0;
    for (int y = 1; y < card.height() - 1; ++y) {
        bool inked = false;
        for (int x = 40; x < clearFrom - 2 && !inked; ++x) inked = !test::near(card.pixelColor(x, y), theme.surface, 40);
        inkedRows += inked;
        if (inked) lowest = y;
        for (int x = clearFrom; x <= clearTo; ++x) overrun += !test::near(card.pixelColor(x, y), theme.surface, 40);
    }
    EXPECT_EQ(overrun, 0);
    // Every line is inside the card, above its lower padding.
    EXPECT_LE(lowest, card.height() - 11);
    const int detailLine = int(QFontMetricsF(Typography::font(11, QFont::Normal)).height());
    EXPECT_GT(banner->height(), 5 * detailLine); // the title and three lines of detail within the padding
    EXPECT_GT(inkedRows, 4 * detailLine / 2);
}
