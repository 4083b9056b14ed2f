// The applications tab by keyboard alone, on a fake home: Tab walks the search field, the two
// toggles, the apps and the leftovers, then the detail; Down goes from the search into the apps,
// the arrows select, Return reaches "Uninstall Completely", which asks before it moves anything.
#include "state/AppState.h"
#include "style/Typography.h"
#include "support/FakeAppHome.h"
#include "views/tools/ToolKeyboard.h"
#include "views/tools/applications/AppDetailPane.h"
#include "views/tools/applications/AppListColumn.h"
#include "views/tools/applications/AppRow.h"
#include "views/tools/applications/AppSearchField.h"
#include "views/tools/applications/OrphanRow.h"
#include "views/tools/applications/ApplicationsView.h"
#include "views/tools/applications/UninstallButton.h"

#include <QElapsedTimer>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace tallymere;
using Names = std::vector<std::string>;

namespace {

class AppsByKeys : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }
};

struct Tab {
    test::FakeAppHome home;
    AppState state{nullptr};
    std::vector<QString> asked;
    int trashCalls = 0;
    ApplicationsView* view = nullptr;
    test::KeyboardHost host;
    Tab() {
        ApplicationsView::Services services{.sources = home.sourcesFunction(),
                                            .trash = [this](const auto&, const auto&, const auto&) {
                                                ++trashCalls;
                                                return TrashService::Outcome{};
                                            },
                                            .confirm = [this](const AppsText::Confirmation& text, QWidget*) {
                                                asked.push_back(text.title);
                                                return false;
                                            }};
        view = new ApplicationsView(state, services);
        host.hold(view, {1200, 820});
        QElapsedTimer waited;
        waited.start();
        while (view->isLoading() && waited.elapsed() < 30'000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        test::settle();
    }
    QLineEdit* search() const { return view->list()->searchField()->lineEdit(); }
};

} // namespace

TEST_F(AppsByKeys, TabWalksTheListColumnThenTheDetailAndTheSearchFieldWearsTheRing) {
    Tab t;
    ASSERT_FALSE(t.view->apps().empty());
    ASSERT_FALSE(t.view->orphans().empty());
    // Tab into the apps selects the first (one of the user's own), whose detail follows.
    ASSERT_TRUE(t.host.tabUntil(t.view->list()->visibleRows()[0]));
    EXPECT_EQ(t.view->selected()->path, t.view->list()->visibleRows()[0]->app().path);

    // The search field wears the ring when Tab brought the keyboard, not after a click.
    AppSearchField* field = t.view->list()->searchField();
    const QPoint edge(field->width() / 2, 1);
    t.host.setFocus(Qt::OtherFocusReason);
    const QColor bare = t.host.pixel(field, edge);
    const QColor ring = t.host.ringOver(bare);
    QTest::mouseClick(t.search(), Qt::LeftButton);
    ASSERT_TRUE(t.search()->hasFocus());
    EXPECT_FALSE(test::near(t.host.pixel(field, edge), ring, 4));
    t.host.setFocus(Qt::OtherFocusReason);
    t.host.press(Qt::Key_Tab);
    ASSERT_EQ(t.host.focused(), t.search());
    EXPECT_TRUE(test::near(t.host.pixel(field, edge), ring, 4));
    // Escape leaves the field.
    t.host.press(Qt::Key_Escape);
    EXPECT_FALSE(t.search()->hasFocus());
}

TEST_F(AppsByKeys, DownFromTheSearchSelectsAnAppAndReturnReachesItsUninstallConfirmation) {
    Tab t;
    ASSERT_GE(t.view->list()->visibleRows().size(), 2u);
    ASSERT_TRUE(t.host.tabUntil(t.search()));

    // Down goes into the list at the first app and selects it; the arrows select as they go.
    t.host.press(Qt::Key_Down);
    const std::vector<AppRow*> rows = t.view->list()->visibleRows();
    ASSERT_EQ(t.host.focused(), rows[0]);
    ASSERT_TRUE(t.view->selected());
    EXPECT_EQ(t.view->selected()->path, rows[0]->app().path);
    t.host.press(Qt::Key_Down);
    EXPECT_EQ(t.host.focused(), rows[1]);
    EXPECT_EQ(t.view->selected()->path, rows[1]->app().path);
    EXPECT_TRUE(FocusRing::shown(rows[1]));

    // Typed into the search, the list narrows to one of the user's own apps.
    ASSERT_TRUE(t.host.tabUntil(t.search()));
    QTest::keyClicks(t.search(), "Widget");
    test::settle();
    ASSERT_EQ(t.view->list()->visibleRows().size(), 1u);
    t.host.press(Qt::Key_Down);
    ASSERT_EQ(t.view->selected()->name, "Widget Studio");

    // Return goes on to "Uninstall Completely"; Return there asks, and the answer no moves nothing.
    t.host.press(Qt::Key_Return);
    UninstallButton* uninstall = t.view->detail()->uninstallButton();
    ASSERT_NE(uninstall, nullptr);
    ASSERT_EQ(t.host.focused(), uninstall);
    EXPECT_TRUE(FocusRing::shown(uninstall));
    t.host.press(Qt::Key_Return);
    ASSERT_EQ(t.asked.size(), 1u);
    EXPECT_EQ(t.asked[0], "Uninstall Widget Studio?");
    EXPECT_EQ(t.trashCalls, 0);

    // Tab from the app reaches its detail too: the button, then its files as one stop.
    ASSERT_TRUE(t.host.tabUntil(t.view->list()->visibleRows()[0]));
    t.host.press(Qt::Key_Tab);
    t.host.press(Qt::Key_Tab);
    EXPECT_EQ(t.host.focused(), uninstall);
    t.host.press(Qt::Key_Tab);
    EXPECT_EQ(test::KeyboardHost::nameOf(t.host.focused()), "LeftoverRow");
}

TEST_F(AppsByKeys, NoKeyOnAnOrphanRowMovesItOnlyItsButtonReachedWithRightDoes) {
    Tab t;
    const std::vector<OrphanRow*>& orphans = t.view->list()->orphanRows();
    ASSERT_GE(orphans.size(), 2u);
    ASSERT_TRUE(t.host.tabUntil(orphans[0]));
    for (int key : {Qt::Key_Down, Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter}) t.host.press(key);
    EXPECT_EQ(t.trashCalls, 0);
    ASSERT_EQ(t.host.focused(), orphans[1]);
    // Right rings the plus button inside the row; Up leaves it for the row above, Left for its own.
    t.host.press(Qt::Key_Right);
    EXPECT_TRUE(t.host.focused()->geometry().contains(orphans[1]->buttonRect().toRect()));
    EXPECT_TRUE(FocusRing::shown(t.host.focused()));
    t.host.press(Qt::Key_Up);
    EXPECT_EQ(t.host.focused(), orphans[0]);
    // Only there does Return move the item at once, as a click on the button does.
    t.host.press(Qt::Key_Right);
    t.host.press(Qt::Key_Return);
    EXPECT_EQ(t.trashCalls, 1);
}
