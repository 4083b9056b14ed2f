#include "views/tools/snapshots/SnapshotPairing.h"

#include "services/SnapshotStore.h"

namespace tallymere {

void SnapshotPairing::autoSelect(const std::vector<Snapshot>& newestFirst) {
    if (m_baseline || m_comparison || newestFirst.size() < 2) return;
    const Snapshot& newest = newestFirst.front();
    for (std::size_t i = 1; i < newestFirst.size(); ++i) {
        if (newestFirst[i].rootPath != newest.rootPath) continue;
        m_baseline = newestFirst[i];
        m_comparison = newest;
        recompute();
        return;
    }
}

std::optional<std::string_view> SnapshotPairing::role(const Snapshot& snapshot) const {
    if (m_baseline && m_baseline->id == snapshot.id) return "BEFORE";
    if (m_comparison && m_comparison->id == snapshot.id) return "AFTER";
    return std::nullopt;
}

void SnapshotPairing::pick(const Snapshot& snapshot) {
    if (!m_baseline) m_baseline = snapshot;
    else if (m_baseline->id == snapshot.id) m_baseline.reset();
    else if (m_comparison && m_comparison->id == snapshot.id) m_comparison.reset();
    else m_comparison = snapshot;
    recompute();
}

void SnapshotPairing::forget(const Snapshot& snapshot) {
    if (m_baseline && m_baseline->id == snapshot.id) m_baseline.reset();
    if (m_comparison && m_comparison->id == snapshot.id) m_comparison.reset();
    recompute();
}

void SnapshotPairing::reset() {
    m_baseline.reset();
    m_comparison.reset();
    m_deltas.clear();
}

void SnapshotPairing::recompute() {
    if (!isComplete()) {
        m_deltas.clear();
        return;
    }
    const bool baselineFirst = m_baseline->createdAt <= m_comparison->createdAt;
    const Snapshot& from = baselineFirst ? *m_baseline : *m_comparison;
    const Snapshot& to = baselineFirst ? *m_comparison : *m_baseline;
    m_deltas = SnapshotStore::diff(from, to, minimumChange);
}

} // namespace tallymere
