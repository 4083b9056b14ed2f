#include "views/shell/topbar/TopBar.h"

#include "state/AppStateTestSupport.h"
#include "core/NodeFilter.h"
#include "support/TreeText.h"
#include "views/components/controls/IconToggle.h"
#include "views/components/controls/KeyStop.h"
#include "views/shell/topbar/Breadcrumb.h"
#include "views/shell/topbar/FilterField.h"
#include "views/shell/ShellTestSupport.h"
#include "views/shell/topbar/ThemeMenuButton.h"

#include <QAction>
#include <QFontMetricsF>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QWidgetAction>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

struct Bar {
    Bar() : bar(state) {
        ThemedWidget::applyTheme(&bar, Theme::make(ThemeID::paper));
        bar.resize(1400, bar.sizeHint().height());
        bar.show();
    }
    AppState state{test::memoryStore()};
    TopBar bar;
};

void type(QWidget* field, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field, &press);
    }
}

} // namespace

TEST(TopBarSlots, EachTabShowsItsOwnControls) {
    Bar b;
    // Explore without a tree: no breadcrumb, everything else.
    EXPECT_FALSE(b.bar.breadcrumb()->isVisible());
    EXPECT_TRUE(b.bar.dividerRect().isNull());
    for (QWidget* w : std::initializer_list<QWidget*>{b.bar.filterField(), b.bar.labelsToggle(), b.bar.sizeModeToggle(),
                                                      b.bar.themeMenu(), b.bar.inspectorToggle()})
        EXPECT_TRUE(w->isVisible());
    test::clickOn(b.bar, b.bar.tabRect(WorkspaceTab::duplicates));
    EXPECT_EQ(b.state.tab(), WorkspaceTab::duplicates);
    EXPECT_FALSE(b.bar.filterField()->isVisible());
    EXPECT_FALSE(b.bar.labelsToggle()->isVisible());
    EXPECT_TRUE(b.bar.inspectorToggle()->isVisible());
    EXPECT_TRUE(b.bar.themeMenu()->isVisible());
    for (WorkspaceTab tab : {WorkspaceTab::apps, WorkspaceTab::monitor, WorkspaceTab::snapshots}) {
        test::clickOn(b.bar, b.bar.tabRect(tab));
        EXPECT_EQ(b.state.tab(), tab);
        EXPECT_FALSE(b.bar.inspectorToggle()->isVisible());
        EXPECT_TRUE(b.bar.themeMenu()->isVisible());
    }
    // The chosen tab sits on the accent capsule once its fade is over.
    b.bar.finishAnimations();
    EXPECT_EQ(b.bar.tabLit(WorkspaceTab::snapshots), 1.0);
    const QImage image = b.bar.grab().toImage();
    const QRectF chosen = b.bar.tabRect(WorkspaceTab::snapshots);
    EXPECT_EQ(image.pixelColor(int(chosen.left()) + 4, int(chosen.center().y())), Theme::make(ThemeID::paper).accent);
    const QRectF other = b.bar.tabRect(WorkspaceTab::explore);
    EXPECT_EQ(image.pixelColor(int(other.left()) + 4, int(other.center().y())), Theme::make(ThemeID::paper).background);
}

TEST(TopBarToggles, LabelsSizeModeAndTheme) {
    Bar b;
    test::clickOn(*b.bar.labelsToggle());
    EXPECT_FALSE(b.state.showLabels());
    EXPECT_FALSE(b.bar.labelsToggle()->isOn());
    test::clickOn(*b.bar.sizeModeToggle());
    EXPECT_FALSE(b.state.useAllocatedSize());
    EXPECT_EQ(b.bar.sizeModeToggle()->symbol(), "doc.fill");
    EXPECT_EQ(b.bar.sizeModeToggle()->help(), "Showing logical size");
    test::clickOn(*b.bar.sizeModeToggle());
    EXPECT_EQ(b.bar.sizeModeToggle()->symbol(), "internaldrive.fill");
    EXPECT_EQ(b.bar.sizeModeToggle()->help(), "Showing size on disk");

    // One checkmark, after the current theme's name; no check boxes in front of any name.
    auto checkedRows = [&](QMenu* menu) {
        std::vector<int> checked;
        const auto actions = menu->actions();
        EXPECT_EQ(actions.size(), 5);
        for (int i = 0; i < actions.size(); ++i) {
            EXPECT_FALSE(actions[i]->isCheckable());
            QWidget* row = static_cast<QWidgetAction*>(actions[i])->defaultWidget();
            row->resize(row->sizeHint());
            QImage image(row->size(), QImage::Format_ARGB32);
            image.fill(Qt::white);
            row->render(&image);
            auto inkIn = [&](QRect area) {
                int ink = 0;
                area = area.intersected(image.rect());
                for (int y = area.top(); y <= area.bottom(); ++y)
                    for (int x = area.left(); x <= area.right(); ++x) ink += qGray(image.pixel(x, y)) < 128;
                return ink;
            };
            // Nothing stands left of the name: the name's ink starts at the row's padding.
            EXPECT_EQ(inkIn(QRect(0, 0, 10, row->height())), 0) << i;
            const QRectF check = ThemeMenuButton::checkRect(row);
            if (check.isEmpty()) continue;
            checked.push_back(i);
            const QFontMetricsF metrics(row->font());
            EXPECT_GT(check.left(), 12 + metrics.horizontalAdvance(actions[i]->text()));
            EXPECT_GT(inkIn(check.toAlignedRect()), 10) << i;
        }
        return checked;
    };
    QMenu* menu = b.bar.themeMenu()->buildMenu();
    EXPECT_EQ(menu->actions()[0]->text(), "Paper");
    EXPECT_EQ(checkedRows(menu), std::vector<int>{0});
    menu->actions()[4]->trigger();
    EXPECT_EQ(b.state.themeID(), ThemeID::slate);
    EXPECT_EQ(checkedRows(b.bar.themeMenu()->buildMenu()), std::vector<int>{4});

    int asked = 0;
    QObject::connect(&b.bar, &TopBar::inspectorToggled, [&] { ++asked; });
    test::clickOn(*b.bar.inspectorToggle());
    EXPECT_EQ(asked, 1);
}

TEST(TopBarBreadcrumb, CrumbsFollowTheFocusAndClicksMoveIt) {
    TempFolder dir;
    dir.file("top/a/b/c/f.bin", 10);
    Bar b;
    ASSERT_TRUE(test::scanAndWait(b.state, dir / "top"));
    Breadcrumb* crumbs = b.bar.breadcrumb();
    ASSERT_TRUE(crumbs->isVisible());
    EXPECT_FALSE(b.bar.dividerRect().isNull());
    // At the top: one crumb, the root label, and no way back.
    EXPECT_EQ(crumbs->crumbTitles(), QStringList{"top"});
    EXPECT_FALSE(crumbs->canGoBack());

    b.state.drill(AppState::nodeAt(dir / "top/a/b/c", b.state.displayRoot()));
    EXPECT_EQ(crumbs->crumbTitles(), (QStringList{"top", "a", "b", "c"}));
    EXPECT_LE(crumbs->stripRect().width(), Breadcrumb::maxStripWidth);
    test::clickOn(*crumbs, crumbs->crumbRects()[1]);
    EXPECT_EQ(b.state.focus()->path(), dir / "top/a");
    EXPECT_EQ(crumbs->crumbTitles(), (QStringList{"top", "a"}));
    test::clickOn(*crumbs, crumbs->backRect());
    EXPECT_EQ(b.state.focus(), b.state.displayRoot());
    // The disabled back button does nothing.
    test::clickOn(*crumbs, crumbs->backRect());
    EXPECT_EQ(b.state.focus(), b.state.displayRoot());

    // No focus: an empty strip and no way back.
    b.state.setFocus(nullptr);
    EXPECT_TRUE(crumbs->crumbTitles().isEmpty());
    EXPECT_FALSE(crumbs->canGoBack());
}

TEST(TopBarBreadcrumb, RootLabelsAndALongChainScrollsInsideTheStrip) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/root";
    EXPECT_EQ(Breadcrumb::rootLabel(*test::treeFromText("/\n")), "Macintosh HD");
    EXPECT_EQ(Breadcrumb::rootLabel(*test::treeFromText(home + "/\n")), "Home");
    EXPECT_EQ(Breadcrumb::rootLabel(*test::treeFromText("/media/Data/\n")), "Data");

    TempFolder dir;
    std::string deep = "top";
    for (int i = 0; i < 30; ++i) deep += "/folder" + std::to_string(i);
    dir.file(deep + "/f.bin", 1);
    Bar b;
    b.bar.resize(1700, b.bar.height());
    ASSERT_TRUE(test::scanAndWait(b.state, dir / "top"));
    b.state.drill(AppState::nodeAt(dir / deep, b.state.displayRoot()));
    Breadcrumb* crumbs = b.bar.breadcrumb();
    ASSERT_EQ(crumbs->crumbTitles().size(), 31);
    EXPECT_EQ(crumbs->stripRect().width(), Breadcrumb::maxStripWidth);
    // Crumbs never wrap: they all share one row. A new chain shows its end, the focused folder.
    const auto rects = crumbs->crumbRects();
    EXPECT_EQ(rects.front().top(), rects.back().top());
    EXPECT_LT(rects.front().left(), crumbs->stripRect().left());
    EXPECT_NEAR(rects.back().right(), crumbs->stripRect().right(), 0.5);
    // The wheel scrolls back to the top of the tree, and the strip stays there while it resizes.
    auto wheel = [&](int delta) {
        QWheelEvent event(QPointF(200, 10), crumbs->mapToGlobal(QPointF(200, 10)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(crumbs, &event);
    };
    wheel(120000);
    EXPECT_EQ(crumbs->scrollOffset(), 0);
    EXPECT_NEAR(crumbs->crumbRects().front().left(), crumbs->stripRect().left(), 0.5);
    b.bar.resize(1600, b.bar.height());
    test::settle();
    EXPECT_EQ(crumbs->scrollOffset(), 0);
    wheel(-120000);
    EXPECT_GT(crumbs->scrollOffset(), 0);
    EXPECT_NEAR(crumbs->crumbRects().back().right(), crumbs->stripRect().right(), 0.5);
}

TEST(TopBarFilter, TypingReachesTheStoreAndOneRefilterFollows) {
    TempFolder dir;
    dir.file("top/abc.txt", 10);
    dir.file("top/other.txt", 10);
    Bar b;
    ASSERT_TRUE(test::scanAndWait(b.state, dir / "top"));
    FilterField* field = b.bar.filterField();
    EXPECT_TRUE(field->clearRect().isEmpty());
    // Empty, the capsule closes 9 after the field; the clear button's room comes with the first character.
    const QRect emptyField = field->geometry();
    EXPECT_EQ(field->lineEdit()->geometry().right() + 1 + 9, emptyField.width());
    int filterWrites = 0, shownTrees = 0;
    QObject::connect(&b.state, &AppState::filterChanged, [&] { ++filterWrites; });
    QObject::connect(&b.state, &AppState::displayRootChanged, [&] { ++shownTrees; });
    type(field->lineEdit(), "abc");
    EXPECT_EQ(filterWrites, 3);
    EXPECT_EQ(b.state.filter().query, "abc");
    EXPECT_FALSE(field->clearRect().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_GT(field->width(), emptyField.width());
    EXPECT_EQ(field->geometry().right(), emptyField.right()); // it grows towards the crumbs
    EXPECT_LE(field->clearRect().right(), field->width() - 9 + 0.5);
    EXPECT_EQ(shownTrees, 0); // not before the pause
    ASSERT_TRUE(test::waitUntil([&] { return shownTrees > 0 && !b.state.isFiltering(); }));
    test::spin(250);
    EXPECT_EQ(shownTrees, 1);
    EXPECT_EQ(b.state.displayRoot()->childCount(), 1u);

    // Clear keeps the other parts of the filter.
    NodeFilter filter = b.state.filter();
    filter.minSize = 5;
    b.state.setFilter(filter);
    test::clickOn(*field, field->clearRect());
    EXPECT_TRUE(b.state.filter().query.empty());
    EXPECT_EQ(b.state.filter().minSize, 5);
    EXPECT_TRUE(field->lineEdit()->text().isEmpty());
    EXPECT_TRUE(field->clearRect().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_EQ(field->geometry(), emptyField);

    // Another writer's query shows in the field.
    filter.query = "other";
    b.state.setFilter(filter);
    EXPECT_EQ(field->lineEdit()->text(), "other");
}

TEST(TopBarKeys, TheCrumbsAreOneStopTheArrowsWalkAndTheFiltersClearButtonOneThatHandsBackTheKeyboard) {
    TempFolder dir;
    dir.file("top/a/b/c/f.bin", 10);
    Bar b;
    QApplication::setActiveWindow(&b.bar);
    ASSERT_TRUE(test::scanAndWait(b.state, dir / "top"));
    b.state.drill(AppState::nodeAt(dir / "top/a/b/c", b.state.displayRoot()));
    auto key = [&](int k) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(k)); };
    // On the focused folder's crumb at first; the arrows only move the ring, Return focuses.
    Breadcrumb* crumbs = b.bar.breadcrumb();
    crumbs->crumbStop()->setFocus(Qt::TabFocusReason);
    for (int k : {Qt::Key_Left, Qt::Key_Left}) key(k);
    EXPECT_EQ(crumbs->crumbCursor(), 1u);
    EXPECT_TRUE(crumbs->crumbStop()->geometry().contains(crumbs->crumbRects()[1].translated(crumbs->pos()).toRect()));
    EXPECT_EQ(b.state.focus()->path(), dir / "top/a/b/c");
    key(Qt::Key_Return);
    EXPECT_EQ(b.state.focus()->path(), dir / "top/a");

    // The clear button shows with a query; Space clears it and the keyboard goes to the field.
    FilterField* field = b.bar.filterField();
    type(field->lineEdit(), "abc");
    field->clearStop()->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Space);
    EXPECT_TRUE(b.state.filter().query.empty());
    EXPECT_TRUE(field->lineEdit()->hasFocus());
    EXPECT_TRUE(field->clearStop()->isHidden());
}
