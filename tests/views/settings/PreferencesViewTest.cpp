#include "views/settings/PreferencesView.h"
#include "core/NodeFilter.h"

#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "style/Theme.h"
#include "core/DiskInfo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

using namespace tallymere;

namespace {

// Pixels within the rectangle whose colour is close to `color` (text is antialiased).
int pixelsNear(const QImage& image, const QRect& area, const QColor& color, int tolerance = 40) {
    int count = 0;
    QRect bounded = area.intersected(image.rect());
    for (int y = bounded.top(); y <= bounded.bottom(); ++y)
        for (int x = bounded.left(); x <= bounded.right(); ++x) {
            QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) + std::abs(c.green() - color.green()) +
                    std::abs(c.blue() - color.blue()) <=
                tolerance)
                ++count;
        }
    return count;
}

} // namespace

TEST(PreferencesBindings, ControlsWriteTheStoreAndItsDefaults) {
    auto preferences = test::memoryStore();
    AppState state(preferences);
    PreferencesView view(state);

    QComboBox* picker = view.themePicker();
    ASSERT_EQ(picker->count(), 5);
    QStringList options;
    for (int i = 0; i < picker->count(); ++i) options << picker->itemText(i);
    EXPECT_EQ(options, QStringList({"Paper", "Linen", "Sage", "Mist", "Slate"}));

    picker->setCurrentIndex(picker->findText("Slate"));
    EXPECT_EQ(state.themeID(), ThemeID::slate);
    EXPECT_EQ(preferences->value("themeID").toString(), "slate");

    ASSERT_TRUE(view.allocatedToggle()->isChecked());
    view.allocatedToggle()->click();
    EXPECT_FALSE(state.useAllocatedSize());
    EXPECT_EQ(preferences->value("useAllocated").toBool(), false);

    ASSERT_TRUE(view.labelsToggle()->isChecked());
    view.labelsToggle()->click();
    EXPECT_FALSE(state.showLabels());
    EXPECT_FALSE(preferences->contains("showLabels")); // labels are not kept across launches

    view.depthSlider()->setValue(4);
    EXPECT_EQ(state.treemapDepth(), 4.0);
    EXPECT_EQ(preferences->value("treemapDepth").toDouble(), 4.0);
    EXPECT_EQ(view.depthText()->text(), "4");
}

TEST(PreferencesBindings, StoreChangesShowAtOnce) {
    auto preferences = test::memoryStore();
    AppState state(preferences);
    PreferencesView view(state);
    state.setThemeID(ThemeID::sage);
    EXPECT_EQ(view.themePicker()->currentText(), "Sage");
    state.setUseAllocatedSize(false);
    EXPECT_FALSE(view.allocatedToggle()->isChecked());
    state.setShowLabels(false);
    EXPECT_FALSE(view.labelsToggle()->isChecked());
    state.setTreemapDepth(9);
    EXPECT_EQ(view.depthSlider()->value(), 9);
    EXPECT_EQ(view.depthText()->text(), "9");
}

TEST(PreferencesDepth, RestoredDepthOutsideTheRangeIsShownAndNotRewritten) {
    auto preferences = test::memoryStore();
    preferences->setValue("treemapDepth", 40.0);
    AppState state(preferences);
    ASSERT_EQ(state.treemapDepth(), 40.0);
    int writes = preferences->writeCount();

    PreferencesView view(state);
    EXPECT_EQ(view.depthText()->text(), "40");
    EXPECT_EQ(view.depthSlider()->value(), 12);
    EXPECT_EQ(state.treemapDepth(), 40.0);
    EXPECT_EQ(preferences->writeCount(), writes);
}

TEST(PreferencesDepth, TextTruncatesTowardZero) {
    EXPECT_EQ(depthText(7.9), "7");
    EXPECT_EQ(depthText(7.0), "7");
    EXPECT_EQ(depthText(-0.5), "0");
    EXPECT_EQ(depthText(40), "40");
}

TEST(PreferencesAccess, StatusFollowsTheProbeAndTheButtonExplains) {
    AppState state(test::memoryStore());
    PreferencesView view(state);
    bool granted = DiskInfo::hasFullDiskAccess();
    EXPECT_EQ(view.accessStatus()->text(), granted ? "Granted" : "Not granted");
    EXPECT_EQ(view.openSettingsButton()->text(), "Open Settings…");

    ASSERT_FALSE(state.banner().has_value());
    view.openSettingsButton()->click();
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::info);
}

TEST(PreferencesAccess, WithAccessHeldTheButtonSaysEveryFolderCanBeRead) {
    AppState state(test::memoryStore());
    bool held = true;
    state.setAccessProbe([&] { return held; });
    PreferencesView view(state);
    view.openSettingsButton()->click();
    ASSERT_TRUE(state.banner().has_value());
    EXPECT_EQ(state.banner()->kind, AppState::Banner::Kind::info);
    EXPECT_EQ(state.banner()->title, "Tallymere can read every folder.");
    EXPECT_FALSE(state.banner()->detail.has_value());

    // Without it, the button tells what reading every folder takes.
    held = false;
    view.openSettingsButton()->click();
    ASSERT_TRUE(state.banner()->detail.has_value());
    EXPECT_TRUE(state.banner()->detail->contains("CAP_DAC_READ_SEARCH"));
}

TEST(PreferencesWindow, OpensOverTheCentreOfTheWindowItBelongsTo) {
    AppState state(test::memoryStore());
    QWidget main;
    main.setGeometry(40, 30, 700, 540);
    main.show();
    PreferencesView view(state, &main);
    view.setWindowFlags(view.windowFlags() | Qt::Dialog);
    view.show();
    ASSERT_TRUE(view.isWindow());
    EXPECT_EQ(view.geometry().center(), main.geometry().center());
    EXPECT_EQ(view.size(), QSize(460, 400));
}

TEST(PreferencesWindow, TheKeyboardWalksItsControlsAndEscapeOrCtrlWClosesIt) {
    AppState state(test::memoryStore());
    QWidget main;
    main.show();
    PreferencesView view(state, &main);
    view.setWindowFlags(view.windowFlags() | Qt::Dialog);
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));

    // Tab goes down the form, and Space turns a toggle as a click does.
    view.themePicker()->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> walked{QApplication::focusWidget()};
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked.push_back(QApplication::focusWidget());
    }
    const std::vector<QWidget*> order{view.themePicker(), view.allocatedToggle(), view.labelsToggle(),
                                      view.depthSlider(), view.openSettingsButton()};
    EXPECT_EQ(walked, order);
    const bool allocated = state.useAllocatedSize();
    QTest::keyClick(view.allocatedToggle(), Qt::Key_Space);
    EXPECT_NE(state.useAllocatedSize(), allocated);

    // Escape in the open list of themes closes the list, not the window.
    view.themePicker()->setFocus(Qt::TabFocusReason);
    view.themePicker()->showPopup();
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(view.isVisible());
    QTest::keyClick(view.themePicker(), Qt::Key_Escape);
    EXPECT_FALSE(view.isVisible());

    view.show();
    QTest::keyClick(view.labelsToggle(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(view.isVisible());
}

TEST(PreferencesAccess, ProbedWhenShownNotOnEveryChangeOfTheStore) {
    AppState state(test::memoryStore());
    int probes = 0;
    state.setAccessProbe([&] {
        ++probes;
        return false;
    });
    PreferencesView view(state);
    probes = 0;
    // Changes the view does not show, while hidden and while shown, probe nothing.
    for (int i = 0; i < 50; ++i) {
        state.setFilter(NodeFilter{.query = std::to_string(i)});
        state.setHovered(nullptr);
        state.setBanner(std::nullopt);
    }
    EXPECT_EQ(probes, 0);
    view.show();
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(view.accessStatus()->text(), "Not granted");
    state.setThemeID(ThemeID::sage);
    state.setTreemapDepth(5);
    state.setTab(WorkspaceTab::monitor);
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(view.depthText()->text(), "5");
}

TEST(PreferencesRender, ExactSizeWithStatusInItsColour) {
    AppState state(test::memoryStore());
    PreferencesView view(state);
    view.show();
    QImage image = view.grab().toImage();
    EXPECT_EQ(view.size(), QSize(460, 400));
    EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(460, 400));

    bool granted = DiskInfo::hasFullDiskAccess();
    QColor status = granted ? PreferencesView::grantedColor() : PreferencesView::notGrantedColor();
    QColor other = granted ? PreferencesView::notGrantedColor() : PreferencesView::grantedColor();
    QRect label(view.accessStatus()->mapTo(&view, QPoint(0, 0)), view.accessStatus()->size());
    QRect scaled(label.topLeft() * image.devicePixelRatio(), label.size() * image.devicePixelRatio());
    EXPECT_GT(pixelsNear(image, scaled, status), 5);
    EXPECT_EQ(pixelsNear(image, image.rect(), other, 20), 0);

    // The form draws in the desktop's colours, not the theme's, whichever theme is chosen.
    QColor window = view.palette().color(QPalette::Window);
    EXPECT_EQ(image.pixelColor(3, 3), window);
    state.setThemeID(ThemeID::slate);
    EXPECT_EQ(view.grab().toImage().pixelColor(3, 3), window);
    EXPECT_NE(window, Theme::make(ThemeID::slate).background);
}
