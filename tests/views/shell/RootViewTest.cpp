#include "views/shell/RootView.h"
#include "views/shell/VisualizationHost.h"

#include "state/AppState.h"
#include "state/AppStateTestSupport.h"

#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

QImage render(RootView& view) { return view.grab().toImage(); }

void click(QWidget& widget, QPointF at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
}

} // namespace

TEST(RootViewTheme, BackgroundFollowsTheStoresThemeAtOnce) {
    AppState state(test::memoryStore());
    RootView view(state);
    view.resize(1200, 760);
    EXPECT_EQ(view.minimumSize(), QSize(1060, 660));
    EXPECT_EQ(render(view).pixelColor(600, 700), Theme::make(ThemeID::paper).background);
    state.setThemeID(ThemeID::mist);
    EXPECT_EQ(view.theme().id, ThemeID::mist);
    EXPECT_EQ(render(view).pixelColor(600, 700), Theme::make(ThemeID::mist).background);
}

TEST(RootViewContent, ScanningThenTheVisualisationOfTheFocus) {
    TempFolder dir;
    dir.file("tree/big/a", 60000);
    dir.file("tree/small.txt", 20000);
    AppState state(test::memoryStore());
    RootView view(state);
    view.resize(1200, 760);
    view.show();
    EXPECT_FALSE(view.host()->isVisibleTo(&view));

    state.scan(ScanTarget::folder(dir / "tree"));
    EXPECT_EQ(view.heading(), "Scanning tree");
    EXPECT_FALSE(view.host()->isVisibleTo(&view));
    ASSERT_TRUE(test::waitUntil([&] { return !state.isScanning(); }));

    EXPECT_EQ(view.heading(), QString::fromStdString(dir / "tree"));
    ASSERT_TRUE(view.host()->isVisibleTo(&view));
    const QRect host = view.host()->geometry();
    EXPECT_GT(host.width(), 1000);
    EXPECT_GT(host.height(), 400);
    EXPECT_LE(host.bottom(), 760);
    EXPECT_EQ(view.host()->view()->geometry(), QRect(QPoint(0, 0), host.size()));

    state.setTab(WorkspaceTab::apps);
    EXPECT_FALSE(view.host()->isVisibleTo(&view));
}

TEST(RootViewTabs, StripChoosesTheTab) {
    AppState state(test::memoryStore());
    RootView view(state);
    view.resize(1200, 760);
    QRectF apps = view.tabRect(WorkspaceTab::apps);
    ASSERT_FALSE(apps.isEmpty());
    click(view, apps.center());
    EXPECT_EQ(state.tab(), WorkspaceTab::apps);
    EXPECT_EQ(view.heading(), "Applications");
    QImage image = render(view);
    EXPECT_EQ(image.pixelColor(apps.left() + 3, apps.center().y()), view.theme().surfaceRaised);
}

TEST(RootViewBanner, ShownInItsKindsColourAndDismissed) {
    AppState state(test::memoryStore());
    RootView view(state);
    view.resize(1200, 760);
    EXPECT_TRUE(view.bannerRect().isNull());
    state.setBanner(AppState::Banner::make(AppState::Banner::Kind::warning, "Partial scan", QString("detail")));
    ASSERT_FALSE(view.bannerRect().isNull());
    EXPECT_LE(view.bannerRect().bottom(), 760);
    QImage image = render(view);
    QPointF stripe(view.bannerRect().left() + 12.5, view.bannerRect().center().y());
    EXPECT_EQ(image.pixelColor(stripe.toPoint()), view.theme().warning);

    click(view, view.bannerCloseRect().center());
    EXPECT_FALSE(state.banner().has_value());
    EXPECT_TRUE(view.bannerRect().isNull());
}
