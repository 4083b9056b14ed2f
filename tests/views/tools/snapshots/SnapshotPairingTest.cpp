#include "views/tools/snapshots/SnapshotPairing.h"

#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "style/DateFormat.h"
#include "views/tools/snapshots/ComparisonPane.h"

#include <gtest/gtest.h>

namespace tallymere {
namespace {

Snapshot snap(std::string root, double createdAt, std::int64_t childSize) {
    Snapshot s;
    s.id = Uuid::random();
    s.rootPath = root;
    s.createdAt = createdAt;
    s.entries = {{root, 100000000 + childSize, 2, true}, {root + "/big", childSize, 1, false}};
    s.totalSize = 100000000 + childSize;
    return s;
}

std::string roleOf(const SnapshotPairing& pairing, const Snapshot& s) {
    const auto role = pairing.role(s);
    return role ? std::string(*role) : "-";
}

TEST(SnapshotAutoPairing, NewestWithTheLatestEarlierOfItsRoot) {
    const Snapshot x = snap("/a", 300, 50000000), y = snap("/b", 200, 0), z = snap("/a", 100, 10000000);
    SnapshotPairing pairing;
    pairing.autoSelect({x});
    EXPECT_FALSE(pairing.baseline());
    pairing.autoSelect({x, y});
    EXPECT_FALSE(pairing.baseline()) << "no earlier snapshot of the newest one's root";
    pairing.autoSelect({x, y, z});
    ASSERT_TRUE(pairing.isComplete());
    EXPECT_EQ(pairing.baseline()->id, z.id);
    EXPECT_EQ(pairing.comparison()->id, x.id);
    ASSERT_EQ(pairing.deltas().size(), 1u);
    EXPECT_EQ(pairing.deltas()[0].path, "/a/big");
    EXPECT_EQ(pairing.deltas()[0].change, SnapshotDelta::Change::grew);

    // A chosen pair is kept; reset empties it without pairing again.
    pairing.autoSelect({y, x, z});
    EXPECT_EQ(pairing.comparison()->id, x.id);
    pairing.reset();
    EXPECT_FALSE(pairing.baseline());
    EXPECT_FALSE(pairing.comparison());
    EXPECT_TRUE(pairing.deltas().empty());
}

TEST(SnapshotPicking, SidesFollowTheClicks) {
    const Snapshot older = snap("/a", 100, 10000000), newer = snap("/a", 200, 40000000), other = snap("/a", 150, 0);
    SnapshotPairing pairing;
    pairing.pick(newer); // BEFORE = the newer one
    EXPECT_EQ(roleOf(pairing, newer), "BEFORE");
    EXPECT_TRUE(pairing.deltas().empty());
    pairing.pick(older); // AFTER = the older one: still compared from older to newer
    EXPECT_EQ(roleOf(pairing, older), "AFTER");
    ASSERT_EQ(pairing.deltas().size(), 1u);
    EXPECT_EQ(pairing.deltas()[0].before, 10000000);
    EXPECT_EQ(pairing.deltas()[0].after, 40000000);

    pairing.pick(other); // another snapshot replaces AFTER
    EXPECT_EQ(roleOf(pairing, other), "AFTER");
    EXPECT_EQ(roleOf(pairing, older), "-");
    pairing.pick(other); // the AFTER one clears AFTER
    EXPECT_FALSE(pairing.comparison());
    EXPECT_TRUE(pairing.deltas().empty());
    pairing.pick(other);
    pairing.pick(newer); // the BEFORE one clears BEFORE, AFTER stays
    EXPECT_FALSE(pairing.baseline());
    EXPECT_EQ(roleOf(pairing, other), "AFTER");
    pairing.pick(other); // with BEFORE empty, even the AFTER snapshot becomes BEFORE: both sides
    EXPECT_EQ(roleOf(pairing, other), "BEFORE");
    EXPECT_TRUE(pairing.isComplete());
    EXPECT_TRUE(pairing.deltas().empty()) << "a snapshot compared with itself";
    pairing.forget(other); // removing the snapshot on both sides clears both
    EXPECT_FALSE(pairing.baseline());
    EXPECT_FALSE(pairing.comparison());

    // Equal capture times compare from BEFORE to AFTER.
    Snapshot first = snap("/a", 500, 20000000), second = snap("/a", 500, 0);
    pairing.pick(first);
    pairing.pick(second);
    ASSERT_EQ(pairing.deltas().size(), 1u);
    EXPECT_EQ(pairing.deltas()[0].change, SnapshotDelta::Change::shrank);
    pairing.forget(first); // removing BEFORE leaves AFTER and no changes
    EXPECT_EQ(roleOf(pairing, second), "AFTER");
    EXPECT_TRUE(pairing.deltas().empty());
}

// The header reads BEFORE to AFTER as the sides were picked, like their labels; the changes and
// the chips read from the older snapshot to the newer whichever side each was picked for.
TEST(SnapshotComparisonHeader, ReadsBeforeToAfterAsPickedWhileTheChangesReadOlderToNewer) {
    const Snapshot older = snap("/a", 1'700'000'000, 10000000), newer = snap("/a", 1'700'086'400, 40000000);
    AppState state(test::memoryStore());
    SnapshotPairing pairing;
    ComparisonPane pane(state, pairing);
    pairing.pick(newer);
    pairing.pick(older);
    pane.refresh();
    EXPECT_EQ(pane.dateLine(), DateFormat::precise(newer.createdAt) + QStringLiteral("  →  ") + DateFormat::precise(older.createdAt));
    EXPECT_TRUE(pane.netChangeText().startsWith(QChar(0x2212)));
    EXPECT_EQ(pane.netChangeColor(), pane.theme().success);
    EXPECT_EQ(pane.grewCount(), 1u);
    EXPECT_EQ(pane.shrankCount(), 0u);
}

} // namespace
} // namespace tallymere
