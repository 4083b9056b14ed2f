#include "views/explore/folders/FolderComposition.h"
#include "views/explore/folders/FolderListing.h"
#include "views/explore/folders/FolderShape.h"

#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tallymere {
namespace {

using Strings = std::vector<std::string>;

Strings names(const std::vector<const FileNode*>& nodes) {
    Strings out;
    for (const FileNode* node : nodes) out.emplace_back(node->name());
    return out;
}

TEST(FolderListingSplit, PackagesAreFilesAndEqualSizesKeepStoredOrder) {
    auto root = test::treeFromText(R"(/home/u/Projects/
  small/
    x 5 alloc=9000
  big/
    y 100
  same/
    z 100
  pkg.app/ package
    inner 50
  movie.mp4 70 alloc=0
  notes.txt 70
)");
    auto lists = FolderListing::split(root.get(), false);
    EXPECT_EQ(names(lists.folders), (Strings{"big", "same", "small"}));
    EXPECT_EQ(names(lists.files), (Strings{"movie.mp4", "notes.txt", "pkg.app"}));
    // Sizes on disk reorder both lists.
    lists = FolderListing::split(root.get(), true);
    EXPECT_EQ(names(lists.folders), (Strings{"small", "big", "same"}));
    EXPECT_EQ(names(lists.files), (Strings{"notes.txt", "pkg.app", "movie.mp4"}));

    // Only packages (and an unreadable folder, a folder still): no package among the folders.
    auto only = test::treeFromText("/r/\n  a.app/ package\n  b.app/ package\n  gone/ denied\n");
    lists = FolderListing::split(only.get(), true);
    EXPECT_EQ(names(lists.folders), (Strings{"gone"}));
    EXPECT_EQ(names(lists.files), (Strings{"a.app", "b.app"}));
    EXPECT_TRUE(FolderListing::split(only->children()[2], true).folders.empty());
    EXPECT_TRUE(FolderListing::split(nullptr, true).files.empty());
}

TEST(FolderListingSplit, OrderingOnlyTheFirstFewGivesThemTheFullOrder) {
    // Many ties and sizes in no order: the first ten of each list, and nothing lost or repeated.
    std::string text = "/r/\n";
    for (int i = 0; i < 60; ++i) {
        const std::string size = std::to_string((i * 37) % 13 * 100);
        text += "  d" + std::to_string(i) + "/\n    f " + size + "\n  f" + std::to_string(i) + " " + size + "\n";
    }
    auto root = test::treeFromText(text);
    const auto all = FolderListing::split(root.get(), false);
    const auto few = FolderListing::split(root.get(), false, 10);
    for (auto list : {&FolderListing::Lists::folders, &FolderListing::Lists::files}) {
        const Strings whole = names(all.*list), part = names(few.*list);
        ASSERT_EQ(whole.size(), 60u);
        EXPECT_EQ(Strings(part.begin(), part.begin() + 10), Strings(whole.begin(), whole.begin() + 10));
        EXPECT_TRUE(std::is_permutation(part.begin(), part.end(), whole.begin(), whole.end()));
    }
}

TEST(FolderListingSplit, DestinationNamesTheFolderOneLevelUp) {
    auto disk = test::treeFromText("/\n  usr/\n    lib/\n");
    EXPECT_EQ(FolderListing::destinationName(*disk), "Macintosh HD");
    EXPECT_EQ(FolderListing::destinationName(*disk->children()[0]), "usr");
    auto folder = test::treeFromText("/home/u/Projects/\n  app/\n");
    EXPECT_EQ(FolderListing::destinationName(*folder), "Projects");
}

TEST(FolderCompositionTop, LargestKindsFirstWithPackagesWholeAndEmptyEntriesCounted) {
    auto root = test::treeFromText(R"(/r/
  empty/
  hollow/
    a/
    b/
  zero/
    nothing.mp3 0
  mixed/
    song.mp3 300
    clip.mp4 900
    photo.jpg 500
    note.txt 100
    tool.app/ package
      huge.mp4 9999
  gone/ denied
)");
    const auto child = [&](int i) { return root->children()[static_cast<std::size_t>(i)]; };
    EXPECT_TRUE(FolderComposition::top(*child(0), true).empty());
    EXPECT_TRUE(FolderComposition::top(*child(1), true).empty());
    EXPECT_EQ(FolderComposition::top(*child(2), true), std::vector{FileCategory::audio});
    // The package counts once with its own size (9999, under its own kind), its video inside unseen.
    const auto mixed = FolderComposition::top(*child(3), false);
    ASSERT_EQ(mixed.size(), 3u);
    EXPECT_EQ(mixed[0], child(3)->children()[4]->category);
    EXPECT_EQ(mixed[1], FileCategory::video);
    EXPECT_EQ(mixed[2], FileCategory::image);
    // An unreadable folder is a leaf under its own kind.
    EXPECT_EQ(FolderComposition::top(*child(4), true), std::vector{FileCategory::folder});
}

TEST(FolderCompositionTop, TheBudgetTakesTheLastChildrenFirst) {
    // 4100 small images stored first, then one big video: the walk starts from the video, so the
    // budget runs out among the images and the film leads; the folder itself uses one of the 4000.
    std::string text = "/r/\n  big.mp4 1000000\n";
    for (int i = 0; i < 4100; ++i) text += "  i" + std::to_string(i) + ".png 1000\n";
    text += "  last.mp3 1\n";
    auto root = test::treeFromText(text);
    EXPECT_EQ(FolderComposition::top(*root, false), (std::vector{FileCategory::image, FileCategory::audio}));
}

std::vector<QPointF> points(const QPainterPath& path) {
    std::vector<QPointF> out;
    for (int i = 0; i < path.elementCount(); ++i) out.push_back(path.elementAt(i));
    return out;
}

TEST(FolderShapeOutline, TabSlopeAndCornersAtTheStandardValues) {
    const FolderShape shape;
    const auto p = points(shape.path(QRectF(0, 0, 208, 150)));
    // move, line, then curves (Qt stores quadratics as cubics: three elements each) and lines.
    ASSERT_EQ(p.size(), 21u);
    EXPECT_EQ(p[0], QPointF(0, 136));
    EXPECT_EQ(p[1], QPointF(0, 14));
    EXPECT_EQ(p[4], QPointF(14, 0));
    EXPECT_NEAR(p[5].x(), 89.28, 1e-9);
    EXPECT_NEAR(p[6].x(), 101.28, 1e-9); // the slope leaves the tab's top edge level
    EXPECT_EQ(p[6].y(), 0);
    EXPECT_NEAR(p[7].x(), 98.88, 1e-9); // and meets the body's top edge level
    EXPECT_EQ(p[7].y(), 15);
    EXPECT_NEAR(p[8].x(), 111.68, 1e-9);
    EXPECT_EQ(p[8].y(), 15);
    EXPECT_EQ(p[9], QPointF(194, 15));
    EXPECT_EQ(p[12], QPointF(208, 29));
    // The empty corner right of the tab is outside, the body below the slope inside.
    EXPECT_FALSE(shape.path(QRectF(0, 0, 208, 150)).contains(QPointF(180, 5)));
    EXPECT_TRUE(shape.path(QRectF(0, 0, 208, 150)).contains(QPointF(180, 40)));
}

TEST(FolderShapeOutline, FallbacksAndClamps) {
    const FolderShape shape;
    // At the limits the outline is a rounded rectangle (arcs, no tab slope at the top edge).
    EXPECT_TRUE(shape.path(QRectF(0, 0, 40, 150)).contains(QPointF(30, 2)));
    EXPECT_TRUE(shape.path(QRectF(0, 0, 200, 35)).contains(QPointF(150, 2)));
    EXPECT_FALSE(shape.path(QRectF(0, 0, 200, 35.5)).contains(QPointF(150, 2)));
    EXPECT_FALSE(shape.path(QRectF(0, 0, 40.5, 150)).contains(QPointF(30, 2)));
    // Short and wide: corners of height / 5.
    EXPECT_EQ(points(shape.path(QRectF(0, 0, 300, 50)))[0], QPointF(0, 40));
    // Narrow: the second clamp wins, the tab edge runs left to x -2.4.
    EXPECT_NEAR(points(shape.path(QRectF(0, 0, 50, 150)))[5].x(), -2.4, 1e-9);
    // Insets add up, and the decision is taken on the inset rectangle.
    const FolderShape inset = shape.inset(1).inset(2);
    EXPECT_EQ(inset.insetAmount, 3);
    EXPECT_EQ(points(inset.path(QRectF(0, 0, 208, 150)))[0], QPointF(3, 133));
    EXPECT_TRUE(inset.path(QRectF(0, 0, 46, 150)).contains(QPointF(35, 6)));
}

} // namespace
} // namespace tallymere
