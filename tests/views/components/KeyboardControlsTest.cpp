// The shared keyboard path of the components: Tab stops in reading order, groups of rows counted
// once and walked by the arrows, Space and Return pressing a button before any window shortcut,
// the ring only where the keyboard went, and stops over controls their owners paint.
#include "views/components/ComponentTestSupport.h"
#include "views/components/FocusChain.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/KeyStop.h"

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace tallymere;
using namespace tallymere::test;

namespace {

// A window laid out by hand: a row of two buttons (made right one first), a group of three rows,
// a painted control with its stop, and a last button.
class Page : public QWidget {
public:
    Page() {
        right = button("Right", {130, 10, 100, 30});
        left = button("Left", {10, 12, 100, 30});
        rows = new QWidget(this);
        rows->setGeometry(10, 60, 220, 100);
        for (int i = 0; i < 3; ++i) {
            auto* row = new ActionButton(QStringLiteral("Row %1").arg(i), "folder", false, true, [this, i] { ++rowRuns[i]; }, rows);
            row->setGeometry(0, i * 32, 220, 28);
            rowButtons.push_back(row);
        }
        FocusChain::makeGroup(rows);
        stop = new KeyStop([this] { ++paintedRuns; }, this);
        stop->place(painted, 6);
        last = button("Last", {10, 210, 100, 30});
        ThemedWidget::applyTheme(this, Theme::make(ThemeID::paper));
        resize(260, 260);
    }
    bool focusNextPrevChild(bool next) override { return FocusChain::step(this, next); }
    void mouseReleaseEvent(QMouseEvent*) override { ++ownerClicks; }

    ActionButton* button(const QString& title, QRect at) {
        auto* b = new ActionButton(title, "folder", false, true, [this, title] { ++runs[title]; }, this);
        b->setGeometry(at);
        return b;
    }
    QColor at(QPoint point) { return grab().toImage().pixelColor(point); }

    ActionButton* right;
    ActionButton* left;
    QWidget* rows;
    std::vector<ActionButton*> rowButtons;
    int rowRuns[3] = {};
    KeyStop* stop;
    const QRectF painted{20, 175, 60, 20};
    int paintedRuns = 0;
    int ownerClicks = 0;
    ActionButton* last;
    std::map<QString, int> runs;
};

void press(int key, Qt::KeyboardModifiers modifiers = {}) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

} // namespace

TEST_F(Gallery, TabStopsInReadingOrderCountingAGroupOnceAndWrapsRound) {
    Page page;
    page.show();
    QApplication::setActiveWindow(&page);
    const std::vector<QWidget*> expected{page.left, page.right, page.rowButtons[0], page.stop, page.last};
    EXPECT_EQ(FocusChain::stops(&page), expected);

    page.setFocus();
    std::vector<QWidget*> walked;
    for (int i = 0; i < 6; ++i) {
        press(Qt::Key_Tab);
        walked.push_back(QApplication::focusWidget());
    }
    const std::vector<QWidget*> round{page.left, page.right, page.rowButtons[0], page.stop, page.last, page.left};
    EXPECT_EQ(walked, round);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), page.last);

    // A hidden or disabled control is passed over.
    page.right->hide();
    page.rowButtons[0]->setEnabled(false);
    const std::vector<QWidget*> fewer{page.left, page.rowButtons[1], page.stop, page.last};
    EXPECT_EQ(FocusChain::stops(&page), fewer);
}

TEST_F(Gallery, SpaceAndReturnPressAButtonRingedOnlyWhenTheKeyboardCameAndNeverAfterAClick) {
    Page page;
    int previews = 0;
    // A window shortcut on Space, as the selection's preview has.
    auto* preview = new QAction(&page);
    preview->setShortcut(Qt::Key_Space);
    QObject::connect(preview, &QAction::triggered, [&] { ++previews; });
    page.addAction(preview);
    page.show();
    QApplication::setActiveWindow(&page);
    const Theme theme = Theme::make(ThemeID::paper);
    const QColor ring = over(FocusRing::color(theme), theme.surface);
    const QPoint edge = page.left->geometry().topLeft() + QPoint(page.left->width() / 2, 1);

    // A click presses the button and leaves the keyboard where it was, with no ring anywhere.
    page.setFocus();
    QTest::mouseClick(page.left, Qt::LeftButton);
    EXPECT_EQ(page.runs["Left"], 1);
    EXPECT_EQ(QApplication::focusWidget(), &page);
    EXPECT_FALSE(near(page.at(edge), ring, 12));

    // Tab brings the keyboard and the ring; Space and Return press the button, not the shortcut.
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), page.left);
    EXPECT_TRUE(near(page.at(edge), ring, 12));
    press(Qt::Key_Space);
    press(Qt::Key_Return);
    EXPECT_EQ(page.runs["Left"], 3);
    EXPECT_EQ(previews, 0);

    // The ring goes with the keyboard.
    press(Qt::Key_Tab);
    EXPECT_FALSE(near(page.at(edge), ring, 12));
}

TEST_F(Gallery, ArrowsWalkAGroupOfRowsAndTabLeavesItFromWhereverTheyStopped) {
    Page page;
    page.show();
    QApplication::setActiveWindow(&page);
    page.rowButtons[0]->setFocus(Qt::TabFocusReason);

    press(Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), page.rowButtons[1]);
    EXPECT_TRUE(FocusRing::shown(page.rowButtons[1]));
    press(Qt::Key_End);
    EXPECT_EQ(QApplication::focusWidget(), page.rowButtons[2]);
    press(Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), page.rowButtons[2]) << "the last row stays";
    press(Qt::Key_Up);
    press(Qt::Key_Return);
    EXPECT_EQ(page.rowRuns[1], 1);

    // Tab leaves the group for the next stop and Shift+Tab comes back to the row it left.
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), page.stop);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), page.rowButtons[1]);
}

TEST_F(Gallery, AStopOverAPaintedControlRingsItFromOutsideAndLetsClicksThrough) {
    Page page;
    page.show();
    QApplication::setActiveWindow(&page);
    EXPECT_EQ(page.stop->geometry(), QRect(17, 172, 66, 26)) << "the control grown by the ring's room";

    // A click on the painted control reaches its owner.
    QTest::mouseClick(&page, Qt::LeftButton, {}, page.painted.center().toPoint());
    EXPECT_EQ(page.ownerClicks, 1);
    EXPECT_EQ(page.paintedRuns, 0);

    page.stop->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    EXPECT_EQ(page.paintedRuns, 1);
    // The ring lies outside the control, which keeps its own pixels.
    const QColor ring = over(FocusRing::color(Theme::make(ThemeID::paper)), page.at(QPoint(5, 250)));
    EXPECT_TRUE(near(page.at(QPoint(50, 173)), ring, 12));
    EXPECT_FALSE(near(page.at(QPoint(50, 176)), ring, 12));

    // A stop that presses nothing (a row of tabs the arrows walk) leaves Space to the window.
    int previews = 0;
    auto* preview = new QAction(&page);
    preview->setShortcut(Qt::Key_Space);
    QObject::connect(preview, &QAction::triggered, [&] { ++previews; });
    page.addAction(preview);
    auto* walkedOnly = new KeyStop({}, &page);
    walkedOnly->place(QRectF(120, 175, 40, 20), 6);
    walkedOnly->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    EXPECT_EQ(previews, 1);
    page.stop->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    EXPECT_EQ(previews, 1) << "a stop with an action takes Space";
    EXPECT_EQ(page.paintedRuns, 2);

    // Over a control with an outline of its own, the ring keeps to the control's edge.
    page.stop->place(page.painted, 6, 0);
    EXPECT_EQ(page.stop->geometry(), page.painted.toRect());

    // An empty place takes the stop away.
    page.stop->place(QRectF(), 6);
    EXPECT_TRUE(page.stop->isHidden());
}

TEST_F(Gallery, AProminentButtonWearsItsRingRoundItsAccentFillAPlainOneInsideItsEdge) {
    QWidget page;
    page.resize(200, 120);
    auto* prominent = new ActionButton("Scan", "folder", true, false, {}, &page);
    prominent->setGeometry(20, 20, 120, 34);
    auto* plain = new ActionButton("Home", "house.fill", false, true, {}, &page);
    plain->setGeometry(20, 70, 120, 30);
    const Theme theme = Theme::make(ThemeID::paper);
    ThemedWidget::applyTheme(&page, theme);
    page.show();
    QApplication::setActiveWindow(&page);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    auto at = [&](int x, int y) { return page.grab().toImage().pixelColor(x, y); };
    const QColor background = at(5, 5);

    // (The window, as it came to the front, gave the first button the keyboard unringed.)
    plain->setFocus(Qt::OtherFocusReason);
    prominent->setFocus(Qt::TabFocusReason);
    // Two pixels above the button, clear of its fill: the ring; the fill's own edge is untouched.
    EXPECT_TRUE(near(at(80, 18), over(FocusRing::color(theme), background), 12));
    EXPECT_TRUE(near(at(80, 21), theme.accent, 12));

    plain->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(near(at(80, 18), background, 2)) << "the prominent button's ring went with the keyboard";
    EXPECT_TRUE(near(at(80, 71), over(FocusRing::color(theme), theme.surface), 12));
    EXPECT_TRUE(near(at(80, 68), background, 2)) << "nothing outside a plain button";
}

TEST_F(Gallery, TheRingStandsAtLeastThreeToOneAgainstEveryGroundOfEveryTheme) {
    // Relative luminance and contrast as the accessibility guidelines measure them.
    auto luminance = [](const QColor& c) {
        auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF()) + 0.05;
    };
    for (ThemeID id : {ThemeID::paper, ThemeID::linen, ThemeID::sage, ThemeID::mist, ThemeID::slate}) {
        const Theme theme = Theme::make(id);
        for (const QColor& ground : {theme.background, theme.surface, theme.surfaceRaised, theme.stroke}) {
            QImage image(40, 20, QImage::Format_RGB32);
            image.fill(ground);
            QPainter painter(&image);
            FocusRing::paint(painter, QRectF(image.rect()), 6, theme);
            painter.end();
            EXPECT_GE(luminance(ground) / luminance(image.pixelColor(20, 0)), 3.0)
                << theme.name().toStdString() << " over " << ground.name().toStdString();
        }
    }
}
