#pragma once
#include "core/DiskInfo.h"
#include "views/components/ThemedWidget.h"

#include <QString>

class QLabel;

namespace tallymere {

class AppState;
class DonutGauge;
class SectionLabel;
class StatRow;

// The capacity of the first listed volume (the root volume when mounted; a stand-by "Macintosh HD"
// of 0 bytes when none is listed): a ring gauge of the used share with the percentage, and the
// total, used and free figures; below them, after the queue was moved to the Trash, the bytes
// reclaimed.
class SidebarCapacity : public ThemedWidget {
    Q_OBJECT
public:
    explicit SidebarCapacity(AppState& state, QWidget* parent = nullptr);

    // The volume described: volumes.first, or the stand-by volume.
    static VolumeInfo shownVolume(const std::vector<VolumeInfo>& volumes);
    // The used share as the gauge writes it: "<0.1%" below a thousandth, else one decimal with
    // every ".0" dropped (45%, 45.3%, 100% for 99.96 %).
    static QString percentText(double fraction);

    DonutGauge* gauge() const { return m_gauge; }
    SectionLabel* label() const { return m_label; }
    StatRow* usedRow() const { return m_used; }
    StatRow* freeRow() const { return m_free; }
    // Hidden while nothing was reclaimed.
    QLabel* reclaimLabel() const { return m_reclaim; }

protected:
    void themeChanged() override;

private:
    void refresh();

    AppState& m_state;
    SectionLabel* m_label;
    DonutGauge* m_gauge;
    StatRow* m_total;
    StatRow* m_used;
    StatRow* m_free;
    QLabel* m_reclaim;
};

} // namespace tallymere
