// A queue of many items: a duplicate group staged as one change of the queue, and an emptying that
// moves a slice at a time, the queue counting down, stopped by clearing the queue.
#include "state/AppState.h"
#include "services/DuplicateFinder.h"
#include "state/AppStateTestSupport.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using namespace tallymere;
using namespace tallymere::test;

namespace {

class AppStateLargeQueue : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* previous = std::getenv("XDG_DATA_HOME")) savedDataHome = previous;
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        dir.folder("data");
    }
    void TearDown() override {
        if (savedDataHome) ::setenv("XDG_DATA_HOME", savedDataHome->c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
    }
    std::size_t filesIn(const std::string& relative) const {
        std::error_code error;
        const auto entries = std::filesystem::directory_iterator(dir / relative, error);
        return error ? 0 : std::size_t(std::distance(begin(entries), end(entries)));
    }

    TempFolder dir;
    std::optional<std::string> savedDataHome;
    AppState state{memoryStore()};
};

} // namespace

TEST_F(AppStateLargeQueue, AGroupIsStagedInOneChangeAndMovesAsTheQueueCountsDown) {
    constexpr std::size_t copies = 1500;
    for (std::size_t i = 0; i < copies; ++i) dir.file("copies/c" + std::to_string(i), 64);
    ASSERT_TRUE(scanAndWait(state, dir / "copies"));
    DuplicateFinder::Progress progress;
    const auto groups = DuplicateFinder::find(state.root(), 1, progress);
    ASSERT_EQ(groups.size(), 1u);
    int changes = 0;
    const auto counting = QObject::connect(&state, &AppState::queueChanged, [&] { ++changes; });
    state.stageExtras(groups);
    QObject::disconnect(counting);
    EXPECT_EQ(changes, 1) << "one change of the queue for the whole group";
    ASSERT_EQ(state.queue().size(), copies - 1);

    std::vector<std::size_t> counts;
    QObject::connect(&state, &AppState::queueChanged, [&] {
        counts.push_back(state.queue().size());
        EXPECT_TRUE(state.isEmptying());
        state.emptyQueue(); // one emptying at a time: nothing more
    });
    ASSERT_TRUE(emptyQueueAndWait(state));
    EXPECT_TRUE(std::is_sorted(counts.rbegin(), counts.rend())) << "the queue only counts down";
    EXPECT_EQ(counts.back(), 0u);
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->title, "Moved 1499 items to Trash");
    EXPECT_EQ(filesIn("copies"), 1u);
    EXPECT_TRUE(std::filesystem::exists(groups[0].files[0]->path())) << "the kept copy stays";
    EXPECT_EQ(filesIn("data/Trash/files"), copies - 1);
}

// "Stage all extras" stages every group's extras as one change of the queue, and still never the
// last copy of a group: a group whose kept copy is staged gets none.
TEST_F(AppStateLargeQueue, EveryGroupsExtrasAreStagedInOneChange) {
    const auto tree = test::treeFromText("/d/\n  a1 5\n  a2 5\n  b1 7\n  b2 7\n  c1 9\n  c2 9\n");
    const auto at = [&](const char* path) { return AppState::nodeAt(path, tree); };
    std::vector<DuplicateFinder::Group> groups(3);
    groups[0].files = {at("/d/a1"), at("/d/a2")};
    groups[1].files = {at("/d/b1"), at("/d/b2")};
    groups[2].files = {at("/d/c1"), at("/d/c2")};
    state.enqueue(at("/d/c1"));
    int changes = 0;
    QObject::connect(&state, &AppState::queueChanged, [&] { ++changes; });
    state.stageExtras(groups);
    EXPECT_EQ(changes, 1);
    std::vector<std::string> staged;
    for (const auto& item : state.queue()) staged.push_back(item->path());
    EXPECT_EQ(staged, (std::vector<std::string>{"/d/c1", "/d/a2", "/d/b2"}));
}

// Clearing the queue while its items move stops the move: what moved is reported, what had not
// yet moved stays where it is, and nothing is lost between the two.
TEST_F(AppStateLargeQueue, ClearingTheQueueWhileItMovesStopsTheMove) {
    constexpr std::size_t items = 400;
    for (std::size_t i = 0; i < items; ++i) dir.file("items/f" + std::to_string(i), 10);
    ASSERT_TRUE(scanAndWait(state, dir / "items"));
    const auto& children = state.root()->children();
    std::vector<AppState::NodePtr> staged;
    for (FileNode* child : children) staged.push_back(state.retain(child));
    state.setQueue(staged);
    bool cleared = false;
    QObject::connect(&state, &AppState::queueChanged, [&] {
        if (state.isEmptying() && !cleared) {
            cleared = true;
            state.setQueue({});
        }
    });
    ASSERT_TRUE(emptyQueueAndWait(state));
    ASSERT_TRUE(cleared);
    const std::size_t moved = filesIn("data/Trash/files");
    EXPECT_EQ(moved + filesIn("items"), items);
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->title,
              QStringLiteral("Moved %1 item%2 to Trash").arg(moved).arg(moved == 1 ? "" : "s"));
    EXPECT_TRUE(state.queue().empty());
}
