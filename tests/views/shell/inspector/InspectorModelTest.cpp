// The inspector's texts and its pick of the largest children, apart from any widget.
#include "views/shell/inspector/InspectorModel.h"

#include "support/TreeText.h"
#include "state/AppState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace tallymere;
using namespace tallymere::InspectorModel;

namespace {

std::vector<QString> labels(const std::vector<Fact>& facts) {
    std::vector<QString> list;
    for (const Fact& fact : facts) list.push_back(fact.label);
    return list;
}

} // namespace

TEST(InspectorTexts, SharesNamesAndOneLine) {
    EXPECT_EQ(shareText(0), "0.0%");
    EXPECT_EQ(shareText(0.0009), "<0.1%");
    EXPECT_EQ(shareText(0.001), "0.1%");
    EXPECT_EQ(shareText(0.125), "12.5%");
    EXPECT_EQ(shareText(1), "100.0%");
    EXPECT_EQ(fraction(5, 0), 0.0);

    const auto home = test::treeFromText("/home/ann/\n  a\x1b" "b 1\n  caf\xE9/\n");
    EXPECT_EQ(displayName(*home, "/home/ann"), "Home");
    EXPECT_EQ(displayName(*home, "/elsewhere"), "ann");
    // Below the top a node is its own name, repaired and kept on one line.
    const auto odd = home->children()[0];
    EXPECT_EQ(displayName(*odd, "/home/ann"), "a\\x1bb");
    EXPECT_EQ(displayName(*home->children()[1], "/"), QString::fromUtf8("caf\xEF\xBF\xBD"));
    EXPECT_EQ(displayName(*test::treeFromText("/\n"), "/"), "Macintosh HD");
}

TEST(InspectorFacts, RowsFollowTheStoredSizesAndFlags) {
    const auto tree = test::treeFromText(
        "/t/\n"
        "  empty.txt 0 alloc=4096\n"
        "  packed.db 10000 alloc=4096 mtime=1700000000\n"
        "  ghost.mp4 10 alloc=0\n"
        "  link.mp4 12 alloc=0 link\n"
        "  Tool.app/ package\n"
        "    bin 0 alloc=0\n");
    const double now = 1700000000 + 3 * 7 * 86400;
    // An empty file with blocks shows neither slack nor compression, and no badge but its kind.
    const FileNode& empty = *AppState::nodeAt("/t/empty.txt", tree);
    EXPECT_EQ(labels(facts(empty, true, now)), (std::vector<QString>{"Size on disk", "Logical size", "Of parent"}));
    EXPECT_EQ(badges(empty).size(), 1u);

    const auto packed = facts(*AppState::nodeAt("/t/packed.db", tree), true, now);
    EXPECT_EQ(packed[2], (Fact{"Compressed by", "5.90\u00A0KB", Tint::success}));
    EXPECT_EQ(packed.back(), (Fact{"Modified", "3 weeks ago", Tint::none}));

    const FileNode& ghost = *AppState::nodeAt("/t/ghost.mp4", tree);
    EXPECT_TRUE(isEvicted(ghost));
    EXPECT_EQ(badges(ghost).back(), (Badge{"In iCloud", "icloud", Tint::accentSecondary}));
    // A link keeps short targets without blocks: never taken for evicted.
    const FileNode& link = *AppState::nodeAt("/t/link.mp4", tree);
    EXPECT_FALSE(isEvicted(link));
    EXPECT_EQ(badges(link).back().text, "Link");

    const FileNode& tool = *AppState::nodeAt("/t/Tool.app", tree);
    const std::vector<Badge> toolBadges = badges(tool);
    ASSERT_EQ(toolBadges.size(), 2u);
    EXPECT_EQ(toolBadges[0].text, "Application");
    EXPECT_EQ(toolBadges[1].text, "Package");
    EXPECT_TRUE(canFocus(tool));
    EXPECT_EQ(labels(facts(tool, false, now)),
              (std::vector<QString>{"Size on disk", "Logical size", "Files", "Folders", "Of parent"}));
    // The share of a child of an empty parent reads 0.0%.
    EXPECT_EQ(facts(*tool.children()[0], true, now).back(), (Fact{"Of parent", "0.0%", Tint::none}));
}

TEST(InspectorLargestChildren, StableTopEightOfAWideFolder) {
    std::string text = "/w/\n";
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i)
        text += "  f" + std::to_string(i) + " " + std::to_string(random() % 40) + " alloc=" +
                std::to_string(random() % 40) + "\n";
    const auto tree = test::treeFromText(text);
    for (bool allocated : {true, false}) {
        const std::vector<const FileNode*> sorted = tree->sortedChildren(allocated);
        const std::vector<const FileNode*> picked = largestChildren(*tree, allocated, 8);
        EXPECT_EQ(picked, std::vector<const FileNode*>(sorted.begin(), sorted.begin() + 8)) << allocated;
    }
    EXPECT_TRUE(largestChildren(*tree->children()[0], true).empty());
    // Fewer children than the limit: all of them, equal sizes in their stored order.
    const auto pair = test::treeFromText("/x/\n  a 1\n  b 1\n");
    EXPECT_EQ(largestChildren(*pair, true), (std::vector<const FileNode*>{pair->children()[0], pair->children()[1]}));
}
