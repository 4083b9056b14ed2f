#pragma once
#include "services/Snapshot.h"

#include <optional>
#include <string_view>
#include <vector>

namespace tallymere {

// Which two stored snapshots the snapshots tab compares, and what changed between them. The BEFORE
// side is `baseline`, the AFTER side `comparison`; the sides are copies, matched to the list by id.
// After every change of a side (except reset) the changes are recomputed, always from the older to
// the newer snapshot whichever side holds it, so they are empty whenever a side is.
class SnapshotPairing {
public:
    // Changes smaller than this are not listed.
    static constexpr std::int64_t minimumChange = 10000000;

    const std::optional<Snapshot>& baseline() const { return m_baseline; }
    const std::optional<Snapshot>& comparison() const { return m_comparison; }
    const std::vector<SnapshotDelta>& deltas() const { return m_deltas; }
    bool isComplete() const { return m_baseline && m_comparison; }

    // With no side chosen and at least two snapshots (newest first): the newest as AFTER and the
    // most recent earlier snapshot of the same root as BEFORE. Otherwise nothing changes.
    void autoSelect(const std::vector<Snapshot>& newestFirst);

    // "BEFORE", "AFTER" or none; a snapshot on both sides is "BEFORE".
    std::optional<std::string_view> role(const Snapshot& snapshot) const;

    // A click on a row: sets BEFORE when it is empty, clears the side the snapshot is on, else
    // makes it the AFTER side.
    void pick(const Snapshot& snapshot);

    // The snapshot was deleted: it leaves whichever sides it held; the other side stays.
    void forget(const Snapshot& snapshot);

    // Both sides and the changes emptied, without pairing again.
    void reset();

private:
    void recompute();

    std::optional<Snapshot> m_baseline;
    std::optional<Snapshot> m_comparison;
    std::vector<SnapshotDelta> m_deltas;
};

} // namespace tallymere
