#pragma once
#include "core/CleanupPreset.h"
#include "views/shell/sidebar/SidebarRow.h"

namespace tallymere {

class AppState;

// One Quick Wins row: the preset's symbol (success colour when its data is rebuilt by its tool,
// warning otherwise), title and item count, the matched size, and a chevron that turns into a plus
// under the pointer. A click stages the hit's largest nodes.
class PresetRow : public SidebarRow {
    Q_OBJECT
public:
    // Nodes staged by one click at most: the largest of the hit.
    static constexpr std::size_t maxStaged = 60;

    PresetRow(AppState& state, PresetHit hit, QWidget* parent = nullptr);

    const PresetHit& hit() const { return m_hit; }
    // "1 item", "57 items".
    QString countText() const;
    // Stages up to maxStaged nodes in list order through the store's one enqueue rule, as one
    // change of the queue.
    void stageHit();

    QSize sizeHint() const override;

protected:
    double ringRadius() const override;
    void paintEvent(QPaintEvent* event) override;

private:
    AppState& m_state;
    PresetHit m_hit;
};

} // namespace tallymere
