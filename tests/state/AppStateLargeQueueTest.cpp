// A queue of many items: a duplicate group staged as one change of the queue.
#include "state/AppState.h"
#include "services/DuplicateFinder.h"
#include "state/AppStateTestSupport.h"

#include <gtest/gtest.h>

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

TEST_F(AppStateLargeQueue, AGroupIsStagedInOneChangeAndMovesWhole) {
    constexpr std::size_t copies = 1500;
    for (std::size_t i = 0; i < copies; ++i) dir.file("copies/c" + std::to_string(i), 64);
    ASSERT_TRUE(scanAndWait(state, dir / "copies"));
    DuplicateFinder::Progress progress;
    const auto groups = DuplicateFinder::find(state.root(), 1, progress);
    ASSERT_EQ(groups.size(), 1u);
    int changes = 0;
    const auto counting = QObject::connect(&state, &AppState::queueChanged, [&] { ++changes; });
    state.stageExtras(groups[0]);
    QObject::disconnect(counting);
    EXPECT_EQ(changes, 1) << "one change of the queue for the whole group";
    ASSERT_EQ(state.queue().size(), copies - 1);

    state.emptyQueue();
    ASSERT_TRUE(state.banner());
    EXPECT_EQ(state.banner()->title, "Moved 1499 items to Trash");
    EXPECT_EQ(filesIn("copies"), 1u);
    EXPECT_TRUE(std::filesystem::exists(groups[0].files[0]->path())) << "the kept copy stays";
    EXPECT_EQ(filesIn("data/Trash/files"), copies - 1);
}
