// The interactive and animated components: buttons, toggles, the segmented rail, the gauge, the
// category bar, chips and glyphs, checked on pixels and through pointer events.
#include "core/FileNode.h"
#include "state/VizMode.h"
#include "style/Motion.h"
#include "style/SymbolImage.h"
#include "support/TreeText.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/CategoryBar.h"
#include "views/components/controls/Chip.h"
#include "views/components/ComponentTestSupport.h"
#include "views/components/controls/DonutGauge.h"
#include "views/components/controls/IconToggle.h"
#include "views/components/NodeGlyph.h"
#include "views/components/controls/SegmentedRail.h"
#include "views/components/canvas/ShapePaint.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tallymere;
using namespace tallymere::test;

TEST_F(Gallery, ActionButtonFormsHoverAndClicks) {
    const Theme theme = Theme::make(ThemeID::sage);
    int runs = 0;
    ActionButton prominent("Add to Cleanup", "trash.fill", true, false, [&] { ++runs; });
    ActionButton plain("Reveal", "arrow.up.forward.app", false, true);
    ThemedWidget::applyTheme(&prominent, theme);
    ThemedWidget::applyTheme(&plain, theme);

    QImage image = render(prominent, {220, prominent.sizeHint().height()});
    // No border: the edge is the accent fill itself; the content is drawn in onAccent.
    EXPECT_TRUE(near(pixel(image, 4, image.height() / 2), theme.accent));
    EXPECT_TRUE(near(pixel(image, 0, image.height() / 2), theme.accent, 6));
    EXPECT_TRUE(contains(image, QRect(40, 0, 140, image.height()), theme.onAccent(), 20));

    image = render(plain, {160, plain.sizeHint().height()});
    EXPECT_TRUE(near(pixel(image, 4, image.height() / 2), theme.surface));
    EXPECT_TRUE(near(pixel(image, 0, image.height() / 2), theme.stroke));
    EXPECT_TRUE(contains(image, QRect(30, 0, 100, image.height()), theme.text, 30));

    // Hovering eases the fill over 0.14 s toward surfaceRaised, and back when the pointer leaves.
    hover(plain, true);
    EXPECT_TRUE(plain.isHovering());
    auto* animation = plain.findChild<QVariantAnimation*>("hoverAnimation");
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->duration(), 140);
    seek(plain, "hoverAnimation", 70);
    const QColor halfway = pixel(render(plain, {160, plain.sizeHint().height()}), 4, 10);
    EXPECT_FALSE(near(halfway, theme.surface, 1));
    EXPECT_FALSE(near(halfway, theme.surfaceRaised, 1));
    seek(plain, "hoverAnimation", 140);
    EXPECT_TRUE(near(pixel(render(plain, {160, plain.sizeHint().height()}), 4, 10), theme.surfaceRaised));
    hover(prominent, true);
    seek(prominent, "hoverAnimation", 140);
    EXPECT_TRUE(near(pixel(render(prominent, {220, prominent.sizeHint().height()}), 4, 10),
                     over(ShapePaint::withOpacity(theme.accent, 0.88), backdrop)));

    // Compact is smaller; a long title stays on one line and is cut short before the padding.
    EXPECT_LT(plain.sizeHint().height(), prominent.sizeHint().height());
    ActionButton longTitle("Uninstall Completely and Remove Every Leftover File", "trash.fill", false, false);
    ThemedWidget::applyTheme(&longTitle, theme);
    EXPECT_EQ(longTitle.sizeHint().height(), ActionButton("Go", "trash.fill").sizeHint().height());
    const QImage cut = render(longTitle, {150, longTitle.sizeHint().height()});
    EXPECT_FALSE(contains(cut, QRect(142, 6, 6, cut.height() - 12), theme.text, 80));

    click(prominent, QPointF(20, 10));
    EXPECT_EQ(runs, 1);
    prominent.setEnabled(false);
    click(prominent, QPointF(20, 10));
    EXPECT_EQ(runs, 1);
}

TEST_F(Gallery, IconToggleShowsItsCallersState) {
    const Theme theme = Theme::make(ThemeID::slate);
    int runs = 0;
    IconToggle on("textformat.size.smaller", "Show labels", true, [&] { ++runs; });
    IconToggle off("sidebar.right", "Toggle inspector", false);
    ThemedWidget::applyTheme(&on, theme);
    ThemedWidget::applyTheme(&off, theme);
    EXPECT_EQ(on.size(), QSize(28, 26));
    EXPECT_EQ(on.toolTip(), "Show labels");

    const QColor onFill = over(ShapePaint::withOpacity(theme.accent, 0.1), backdrop);
    EXPECT_TRUE(near(pixel(render(on), 4, 13), onFill));
    EXPECT_TRUE(contains(render(on), QRect(6, 5, 16, 16), theme.accent, 20));
    hover(on, true);
    EXPECT_TRUE(near(pixel(render(on), 4, 13), onFill));

    EXPECT_TRUE(near(pixel(render(off), 4, 13), backdrop));
    EXPECT_TRUE(contains(render(off), QRect(6, 5, 16, 16), theme.textSecondary, 20));
    hover(off, true);
    EXPECT_TRUE(near(pixel(render(off), 4, 13), theme.surfaceRaised));
    hover(off, false);
    EXPECT_TRUE(near(pixel(render(off), 4, 13), backdrop));

    const QImage before = render(on);
    click(on, QPointF(14, 13));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(on.isOn());
    EXPECT_EQ(render(on), before);
}

TEST_F(Gallery, SegmentedRailMarksTheSelectionAndGlidesToAClickedSegment) {
    const Theme theme = Theme::make(ThemeID::paper);
    const std::vector<RailItem> items = {
        {"treemap", "square.grid.2x2.fill", "Treemap"},
        {"folders", "folder.fill", "Folders"},
        {"icicle", "chart.bar.doc.horizontal.fill", "Flame"},
    };
    SegmentedRail rail(items, "treemap");
    ThemedWidget::applyTheme(&rail, theme);
    std::vector<QString> written;
    QObject::connect(&rail, &SegmentedRail::selectionWritten, [&](const QString& id) { written.push_back(id); });

    auto rects = rail.segmentRects();
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_GT(rects[0].width(), rects[1].width());
    EXPECT_DOUBLE_EQ(rects[1].width(), rects[2].width());
    EXPECT_DOUBLE_EQ(rects[1].left() - rects[0].right(), 2.0);
    EXPECT_EQ(rail.capsuleRect(), rects[0]);
    QImage image = render(rail);
    EXPECT_EQ(image.size(), rail.sizeHint());
    EXPECT_TRUE(near(pixel(image, rects[0].left() + 6, rects[0].center().y()), theme.accent));
    EXPECT_TRUE(contains(image, rects[0].toRect(), theme.onAccent(), 20));
    EXPECT_FALSE(contains(image, rects[2].toRect(), theme.accent, 10));

    // A click writes the item, and the capsule travels there under the spring.
    click(rail, rects[2].center());
    EXPECT_EQ(written, std::vector<QString>{"icicle"});
    EXPECT_EQ(rail.selection(), "icicle");
    seek(rail, "railAnimation", 0);
    const double start = rail.capsuleRect().left();
    seek(rail, "railAnimation", 120);
    const double middle = rail.capsuleRect().left();
    seek(rail, "railAnimation", Motion::springDurationMs);
    rects = rail.segmentRects();
    EXPECT_LT(start, middle);
    EXPECT_LT(middle, rects[2].left() + 0.5);
    EXPECT_EQ(rail.capsuleRect(), rects[2]);
    EXPECT_GT(rects[2].width(), rects[0].width());
    image = render(rail);
    EXPECT_TRUE(near(pixel(image, rects[2].left() + 6, rects[2].center().y()), theme.accent));
    EXPECT_FALSE(contains(image, rects[0].toRect(), theme.accent, 10));

    // Clicking the selected segment writes it again; a caller echoing it back changes nothing.
    click(rail, rects[2].center());
    rail.setSelection("icicle");
    EXPECT_EQ(written, (std::vector<QString>{"icicle", "icicle"}));

    // A selection matching no item: icons only, no capsule.
    rail.setSelection("table");
    EXPECT_EQ(rail.selectedIndex(), -1);
    EXPECT_TRUE(rail.capsuleRect().isEmpty());
    EXPECT_FALSE(contains(render(rail), rail.rect(), theme.accent, 10));

    // New items are measured anew, also when as many as before: a longer title widens its segment.
    rail.setSelection("icicle");
    const double flame = rail.segmentRects()[2].width();
    std::vector<RailItem> longer = items;
    longer[2].title = "Flame chart of every folder";
    rail.setItems(longer);
    const QFontMetricsF metrics(SegmentedRail::titleFont());
    const double widening =
        std::ceil(metrics.horizontalAdvance(longer[2].title)) - std::ceil(metrics.horizontalAdvance("Flame"));
    EXPECT_DOUBLE_EQ(rail.segmentRects()[2].width() - flame, widening);

    SegmentedRail empty({}, "x");
    EXPECT_EQ(empty.sizeHint(), QSize(6, 6));
}

TEST_F(Gallery, DonutGaugeRingFollowsTheFractionAndSweeps) {
    const Theme theme = Theme::make(ThemeID::paper);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.95, std::nullopt), theme.danger);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.92, std::nullopt), theme.warning);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.8, std::nullopt), theme.warning);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.78, std::nullopt), theme.accentSecondary);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.5, std::nullopt), theme.accentSecondary);
    EXPECT_EQ(DonutGauge::ringTint(theme, 0.99, QColor(Qt::blue)), QColor(Qt::blue));

    DonutGauge gauge(0.95, "95%", "USED", 120);
    ThemedWidget::applyTheme(&gauge, theme);
    EXPECT_EQ(gauge.size(), QSize(127, 127));
    const QRectF circle = gauge.circleRect();
    QImage image = render(gauge);
    auto at = [&](double clock) { return pixel(image, onCircle(circle, clock).x(), onCircle(circle, clock).y()); };
    EXPECT_TRUE(near(at(10), theme.danger));
    EXPECT_TRUE(near(at(330), theme.danger));
    EXPECT_TRUE(near(at(351), theme.surfaceRaised));
    // The label is drawn in the middle.
    EXPECT_TRUE(contains(image, QRect(40, 45, 47, 20), theme.text, 40));

    // Zero still shows a dot at 12 o'clock and nothing further on.
    DonutGauge empty(0, "0%", "", 120);
    ThemedWidget::applyTheme(&empty, theme);
    image = render(empty);
    EXPECT_TRUE(near(at(0), theme.accentSecondary));
    EXPECT_TRUE(near(at(20), theme.surfaceRaised));

    // A new fraction sweeps over half a second, eased out: ahead of linear at the midpoint.
    empty.setFraction(0.5);
    EXPECT_DOUBLE_EQ(empty.shownFraction(), 0.0);
    seek(empty, "sweepAnimation", 250);
    EXPECT_GT(empty.shownFraction(), 0.25);
    EXPECT_LT(empty.shownFraction(), 0.5);
    seek(empty, "sweepAnimation", DonutGauge::sweepDurationMs);
    EXPECT_DOUBLE_EQ(empty.shownFraction(), 0.5);
    image = render(empty);
    EXPECT_TRUE(near(at(160), theme.accentSecondary));
    EXPECT_TRUE(near(at(200), theme.surfaceRaised));

    // The colour follows the sweep: a gauge heading for 95% is not red while it passes 40%.
    DonutGauge rising(0, "", "", 120);
    ThemedWidget::applyTheme(&rising, theme);
    rising.setFraction(0.95);
    seek(rising, "sweepAnimation", 60);
    ASSERT_LT(rising.shownFraction(), 0.78);
    image = render(rising);
    EXPECT_TRUE(near(at(5), theme.accentSecondary));
    seek(rising, "sweepAnimation", DonutGauge::sweepDurationMs);
    image = render(rising);
    EXPECT_TRUE(near(at(5), theme.danger));

    // Above 1: a full ring.
    DonutGauge over(1.7, "", "", 120);
    ThemedWidget::applyTheme(&over, theme);
    image = render(over);
    for (double clock : {90.0, 180.0, 270.0, 355.0}) EXPECT_TRUE(near(at(clock), theme.danger)) << clock;
}

TEST_F(Gallery, CategoryBarSegmentsAndRoundedEnds) {
    const Theme theme = Theme::make(ThemeID::mist);
    CategoryBar whole({{FileCategory::image, 1.0}}, 8);
    ThemedWidget::applyTheme(&whole, theme);
    QImage image = render(whole, {200, 8});
    EXPECT_TRUE(near(pixel(image, 100, 4), theme.ramp[3]));
    EXPECT_TRUE(near(pixel(image, 1, 4), theme.ramp[3], 40));
    EXPECT_TRUE(near(pixel(image, 198, 4), theme.ramp[3], 40));
    EXPECT_TRUE(near(pixel(image, 0, 0), backdrop, 40));
    EXPECT_TRUE(near(pixel(image, 199, 7), backdrop, 40));

    const std::vector<CategoryBar::Segment> segments = {
        {FileCategory::video, 0.0001}, {FileCategory::code, 0.5}, {FileCategory::data, -2},
        {FileCategory::app, std::numeric_limits<double>::infinity()}, {FileCategory::app, std::nan("")}};
    const auto rects = CategoryBar::segmentRects(segments, 200, 8);
    EXPECT_DOUBLE_EQ(rects[0].width(), 1.0);
    EXPECT_DOUBLE_EQ(rects[1].left(), 2.5);
    EXPECT_DOUBLE_EQ(rects[1].width(), 100.0);
    // Tiny, negative and non-finite shares all keep the 1-pixel minimum.
    for (std::size_t i : {2u, 3u, 4u}) EXPECT_DOUBLE_EQ(rects[i].width(), 1.0) << i;
    CategoryBar split(segments, 8);
    ThemedWidget::applyTheme(&split, theme);
    image = render(split, {200, 8});
    EXPECT_TRUE(near(pixel(image, 50, 4), theme.ramp[2]));
    EXPECT_TRUE(near(pixel(image, 150, 4), backdrop));
}

TEST_F(Gallery, ChipColoursAndSymbol) {
    const Theme theme = Theme::make(ThemeID::linen);
    Chip plain("Package");
    Chip marked("Package", std::string("shippingbox"));
    ThemedWidget::applyTheme(&plain, theme);
    ThemedWidget::applyTheme(&marked, theme);
    EXPECT_EQ(marked.sizeHint().width() - plain.sizeHint().width(),
              int(std::ceil(SymbolImage::size(8.5).width() + 4)));
    const QImage image = render(plain);
    const QColor fill = over(ShapePaint::withOpacity(theme.textTertiary, 0.16), backdrop);
    EXPECT_TRUE(near(pixel(image, 4, image.height() / 2), fill, 3));
    // The border is drawn over the fill along the edge.
    EXPECT_TRUE(near(pixel(image, image.width() / 2, 0), over(ShapePaint::withOpacity(theme.textTertiary, 0.22), fill), 3));
    const QColor ink = ColorRules::mix(theme.textSecondary, theme.text, 0.35);
    EXPECT_EQ(Chip::inkColor(theme, std::nullopt), ink);
    EXPECT_TRUE(contains(image, QRect(8, 2, image.width() - 16, image.height() - 4), over(ink, fill), 30));
    const QColor tint = theme.warning;
    EXPECT_EQ(Chip::inkColor(theme, tint), ColorRules::mix(tint, theme.text, 0.35));
}

TEST_F(Gallery, NodeGlyphShowsTheNodesSymbolInItsColour) {
    const Theme theme = Theme::make(ThemeID::paper);
    auto tree = test::treeFromText("root/\n  docs/\n  Tool.app/ package\n  notes.dat 4\n");
    const FileNode& folder = *tree->children()[0];
    const FileNode& package = *tree->children()[1];
    const FileNode& data = *tree->children()[2];
    EXPECT_EQ(NodeGlyph::symbolName(folder), "folder.fill");
    EXPECT_EQ(NodeGlyph::symbolName(package), FileCategories::symbol(package.category));
    EXPECT_EQ(NodeGlyph::symbolName(data), "doc.fill");
    EXPECT_EQ(NodeGlyph::color(theme, data), theme.ramp[9]);

    NodeGlyph glyph(folder, 20);
    ThemedWidget::applyTheme(&glyph, theme);
    EXPECT_EQ(glyph.sizeHint().width(), 24);
    EXPECT_TRUE(contains(render(glyph), glyph.rect(), theme.textSecondary, 4));
    glyph.setNode(package);
    EXPECT_TRUE(contains(render(glyph), glyph.rect(), theme.category(FileCategory::app), 4));
    EXPECT_FALSE(contains(render(glyph), glyph.rect(), theme.textSecondary, 20));
}

