// The visualisation host: a fresh view on every change of mode, and the hover readout with its
// texts, its place and its modes.
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "core/ByteFormat.h"
#include "views/shell/HoverReadout.h"
#include "views/shell/VisualizationHost.h"
#include "views/explore/agemap/AgeMapStore.h"
#include "support/DisplayTree.h"
#include "support/TreeText.h"

#include <QLocale>
#include <QPointer>
#include <QVariantAnimation>

#include <optional>

#include <gtest/gtest.h>

#include "views/shell/ShellTestSupport.h"

using namespace tallymere;

namespace {

struct Fixture {
    test::TempFolder dir;
    AppState state{test::memoryStore()};
    VisualizationHost host{state};

    Fixture() {
        dir.file("tree/docs/a.pdf", 300);
        dir.file("tree/docs/b.txt", 100);
        dir.file("tree/movie.mp4", 600);
        state.setUseAllocatedSize(false);
        EXPECT_TRUE(test::scanAndWait(state, dir / "tree"));
        host.resize(800, 500);
        host.show();
    }
    AppState::NodePtr node(std::string_view name) {
        return AppState::nodeAt(state.displayRoot()->path() + "/" + std::string(name), state.displayRoot());
    }
};

} // namespace

TEST(HoverReadoutTexts, SharesAndFileCounts) {
    EXPECT_EQ(HoverReadout::shareText(0.0004), "<0.1%");
    EXPECT_EQ(HoverReadout::shareText(0.00099), "<0.1%");
    EXPECT_EQ(HoverReadout::shareText(0.001), "0.1%");
    EXPECT_EQ(HoverReadout::shareText(0), "0.0%");
    EXPECT_EQ(HoverReadout::shareText(0.1234), "12.3%");
    EXPECT_EQ(HoverReadout::shareText(1), "100.0%");
    EXPECT_EQ(HoverReadout::filesText(1), "1 files");
    EXPECT_EQ(HoverReadout::filesText(12345), QLocale::system().toString(12345) + " files");
}

TEST(VisualizationHostViews, EveryChangeOfModeMakesAFreshView) {
    Fixture f;
    QPointer<QWidget> first = f.host.view();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->geometry(), f.host.rect());
    f.state.setViz(VizMode::sunburst);
    QWidget* second = f.host.view();
    EXPECT_NE(second, first.data());
    EXPECT_EQ(second->parentWidget(), &f.host);
    EXPECT_TRUE(second->isVisible());
    test::spin(10); // the old view goes once its events are done
    EXPECT_TRUE(first.isNull());
}

TEST(VisualizationHostReadout, FollowsHoverSizeModeAndModes) {
    Fixture f;
    EXPECT_FALSE(f.host.readout()->isVisible());

    f.state.setHovered(f.node("docs")); // 400 of 1000 bytes
    f.host.readoutFade()->setCurrentTime(VisualizationHost::readoutFadeMs);
    HoverReadout* readout = f.host.readout();
    ASSERT_TRUE(readout->isVisible());
    EXPECT_EQ(readout->nameText(), "docs");
    EXPECT_EQ(readout->sizeText(), "400\u00A0B");
    EXPECT_EQ(readout->shareText(), "40.0%");
    EXPECT_EQ(readout->chipText(), "2 files");
    // The card sits 12 from the left and bottom edges.
    const QRectF card = readout->cardRect().translated(readout->pos());
    EXPECT_NEAR(card.left(), 12, 0.5);
    EXPECT_NEAR(card.bottom(), 500 - 12, 0.5);
    // Pointer input passes through the card to the view below.
    EXPECT_TRUE(readout->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(f.host.childAt(card.center().toPoint()), f.host.view());

    // The card is painted in the raised surface colour.
    const QImage image = f.host.grab().toImage();
    const QColor inside = image.pixelColor(int(card.left()) + 4, int(card.center().y()));
    const Theme& theme = f.host.theme();
    EXPECT_NE(inside, image.pixelColor(int(card.right()) + 40, int(card.center().y())));
    EXPECT_NEAR(inside.red(), theme.surfaceRaised.red(), 8);

    // Size mode switches the size text.
    f.state.setUseAllocatedSize(true);
    EXPECT_EQ(readout->sizeText(), QString::fromStdString(ByteFormat::unbroken(f.node("docs")->allocated, false)));

    // A file shows no chip.
    f.state.setHovered(f.node("movie.mp4"));
    EXPECT_EQ(readout->nameText(), "movie.mp4");
    EXPECT_TRUE(readout->chipText().isEmpty());

    // List modes never show it, though the store keeps the hovered node.
    for (VizMode mode : {VizMode::folders, VizMode::table, VizMode::bars, VizMode::calendar}) {
        f.state.setViz(mode);
        EXPECT_FALSE(readout->isVisible());
    }
    EXPECT_NE(f.state.hovered(), nullptr);
    for (VizMode mode : {VizMode::treemap, VizMode::sunburst, VizMode::icicle, VizMode::pack, VizMode::mindmap}) {
        f.state.setViz(mode);
        EXPECT_TRUE(readout->isVisible());
    }
    f.state.setHovered({});
    f.host.readoutFade()->setCurrentTime(VisualizationHost::readoutFadeMs);
    EXPECT_FALSE(readout->isVisible());
}

TEST(VisualizationHostReadout, FadesInAndOutWhilePointerInputPassesThrough) {
    Fixture f;
    const Theme& theme = f.host.theme();
    f.state.setHovered(f.node("docs"));
    HoverReadout* readout = f.host.readout();
    QVariantAnimation* fade = f.host.readoutFade();
    ASSERT_TRUE(readout->isVisible());
    ASSERT_EQ(fade->state(), QAbstractAnimation::Running);
    const QRectF card = readout->cardRect().translated(readout->pos());
    const QPoint inside(int(card.left()) + 4, int(card.center().y()));
    // How far the card's ground has come from the canvas's colour there toward the raised surface.
    fade->pause();
    fade->setCurrentTime(0);
    const QColor under = f.host.grab().toImage().pixelColor(inside);
    fade->setCurrentTime(VisualizationHost::readoutFadeMs);
    const QColor full = f.host.grab().toImage().pixelColor(inside);
    EXPECT_TRUE(test::near(full, theme.surfaceRaised, 14));
    auto coverage = [&] {
        const QColor seen = f.host.grab().toImage().pixelColor(inside);
        double sum = 0;
        for (auto channel : {&QColor::red, &QColor::green, &QColor::blue})
            sum += double((seen.*channel)() - (under.*channel)()) / double((full.*channel)() - (under.*channel)());
        return sum / 3;
    };
    for (auto channel : {&QColor::red, &QColor::green, &QColor::blue})
        ASSERT_GT(std::abs((full.*channel)() - (under.*channel)()), 15) << "the card must stand out of the canvas";
    fade->setCurrentTime(VisualizationHost::readoutFadeMs / 3);
    const double third = coverage();
    EXPECT_GT(third, 0.15);
    EXPECT_LT(third, 0.9);
    // Hit testing does not wait for the fade: the view under the card takes the pointer.
    EXPECT_EQ(f.host.childAt(card.center().toPoint()), f.host.view());
    fade->setCurrentTime(VisualizationHost::readoutFadeMs);
    EXPECT_NEAR(coverage(), 1, 0.02);

    // Moving to another node changes the texts at once, without fading again.
    f.state.setHovered(f.node("movie.mp4"));
    EXPECT_EQ(readout->nameText(), "movie.mp4");
    EXPECT_NE(fade->state(), QAbstractAnimation::Running);
    EXPECT_EQ(readout->opacity(), 1);

    // Leaving every node fades the card out, still naming the last one, then it is gone.
    f.state.setHovered({});
    ASSERT_TRUE(readout->isVisible());
    EXPECT_EQ(readout->nameText(), "movie.mp4");
    fade->pause();
    fade->setCurrentTime(VisualizationHost::readoutFadeMs / 2);
    const double half = coverage();
    EXPECT_GT(half, 0.05);
    EXPECT_LT(half, 0.85);
    EXPECT_EQ(f.host.childAt(card.center().toPoint()), f.host.view());
    fade->setCurrentTime(VisualizationHost::readoutFadeMs);
    EXPECT_FALSE(readout->isVisible());
    EXPECT_NEAR(coverage(), 0, 0.05);

    // A list mode takes it away at once, with no fade.
    f.state.setHovered(f.node("docs"));
    f.host.readoutFade()->setCurrentTime(VisualizationHost::readoutFadeMs);
    f.state.setViz(VizMode::table);
    EXPECT_FALSE(readout->isVisible());
}

// A large tree just displayed is walked for the Age Map ahead, off the window's thread, whether
// the host was there before it or is made for it: opening the Age Map on it then walks nothing there.
TEST(VisualizationHostViews, TheAgeMapOfATreeJustDisplayedIsMadeAhead) {
    AppState state{test::memoryStore()};
    std::string text = "/data/\n  inner/\n";
    for (int i = 0; i < 1'200; ++i)
        text += "    f" + std::to_string(i) + " " + std::to_string(1'000 + i) +
                " mtime=" + std::to_string(1'400'000'000 + i * 86'400) + "\n";
    for (bool hostFirst : {true, false}) {
        state.setViz(VizMode::treemap);
        std::optional<VisualizationHost> host;
        if (hostFirst) host.emplace(state);
        test::display(state, test::treeFromText(text));
        if (!hostFirst) host.emplace(state);
        AgeMapStore::waitForPrefetch();
        const int walks = AgeMapStore::walksHere();
        state.setViz(VizMode::calendar);
        EXPECT_EQ(AgeMapStore::walksHere(), walks) << (hostFirst ? "host first" : "host after");
    }
}
