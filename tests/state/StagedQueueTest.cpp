#include "state/StagedQueue.h"
#include "state/AppState.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

using namespace tallymere;

namespace {

const char* const tree =
    "/t/\n"
    "  a/\n"
    "    b/\n"
    "      deep 10\n"
    "    bc 20\n"
    "  c 30\n";

std::vector<std::string> paths(const StagedQueue& queue) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < queue.size(); ++i) out.push_back(queue.pathAt(i));
    return out;
}

// Staging a list at once gives the queue that staging its nodes one by one gives, whatever the
// order of folders and what they hold.
TEST(StagedQueue, AListStagedAtOnceIsStagedAsOneByOne) {
    const auto root = test::treeFromText(tree);
    const std::vector<std::vector<std::string>> orders{{"/t/a/b/deep", "/t/c", "/t/a"},
                                                       {"/t/a", "/t/a/b/deep", "/t/a/bc"},
                                                       {"/t/a/b/deep", "/t/a/b", "/t/a/bc", "/t", "/t/c"},
                                                       {"/t/a/b", "/t/a/bc", "/t/a/b", "/"}};
    for (const auto& order : orders) {
        std::vector<StagedQueue::NodePtr> nodes;
        for (const std::string& path : order) nodes.push_back(AppState::nodeAt(path, root));
        StagedQueue together, oneByOne;
        together.stage(nodes);
        for (const auto& node : nodes) oneByOne.stage({node});
        EXPECT_EQ(paths(together), paths(oneByOne)) << order.front();
        EXPECT_EQ(together.items(), oneByOne.items()) << order.front();
    }
}

TEST(StagedQueue, FindsItemsByNodeOrPathAndTellsWhatLeavesWithThem) {
    const auto root = test::treeFromText(tree);
    const auto other = test::treeFromText(tree); // the same paths through other nodes
    StagedQueue queue;
    EXPECT_TRUE(queue.stage({AppState::nodeAt("/t/c", root), AppState::nodeAt("/t/a/b", root)}));
    EXPECT_FALSE(queue.stage({AppState::nodeAt("/t/a/b/deep", other)})) << "inside a staged folder";
    EXPECT_EQ(queue.find(AppState::nodeAt("/t/a/b", other).get()), 1u);
    EXPECT_TRUE(queue.holds("/t/a/b/deep"));
    EXPECT_FALSE(queue.holds("/t/a/bc")) << "a sibling whose name begins with the folder's";
    EXPECT_FALSE(queue.holds("/t/a"));

    EXPECT_TRUE(queue.removeIf([](std::size_t index) { return index == 0; }));
    EXPECT_EQ(paths(queue), std::vector<std::string>{"/t/a/b"});
    EXPECT_EQ(queue.findPath("/t/a/b"), 0u);
    EXPECT_FALSE(queue.findPath("/t/c"));
    EXPECT_FALSE(queue.find(AppState::nodeAt("/t/c", root).get()));
}

} // namespace
