#pragma once
#include "views/components/ThemedWidget.h"
#include "views/tools/monitor/MonitorSampler.h"

#include <array>

class QScrollArea;

namespace tallymere {

class AppState;
class MetricCard;
class MemoryBar;
class MiniStat;
class Panel;
class ProcessTable;
class SectionLabel;
class Sparkline;
class StorageList;

// The system monitor tab: a vertically scrolling page (16 around, 14 between) of the CPU and
// memory cards side by side, the network and storage cards side by side, and the process card
// across the width. It owns its sampler, which runs while the page is shown and stops when it is
// hidden; a new page starts from empty histories. It reads the sampler only and changes nothing
// in the store.
class MonitorView : public ThemedWidget {
    Q_OBJECT
public:
    explicit MonitorView(AppState& state, QWidget* parent = nullptr);
    // With the sampler's sources chosen by the caller (tests drive it by hand).
    MonitorView(AppState& state, MonitorSampler::Sources sources, QWidget* parent = nullptr);

    MonitorSampler& sampler() const { return *m_sampler; }
    MetricCard* cpuCard() const { return m_cpu.card; }
    MetricCard* memoryCard() const { return m_memory.card; }
    MetricCard* networkCard() const { return m_network.card; }
    MetricCard* storageCard() const { return m_storage; }
    Panel* processCard() const { return m_processCard; }
    QWidget* page() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct LiveCard {
        MetricCard* card = nullptr;
        std::array<MiniStat*, 3> stats{};
    };
    LiveCard makeLiveCard(const QString& title, const char* symbol, QWidget* strip, QWidget* bar, int statSpacing);
    void refresh();

    MonitorSampler* m_sampler;
    QScrollArea* m_scroll = nullptr;
    LiveCard m_cpu, m_memory, m_network;
    Sparkline* m_cpuLine = nullptr;
    Sparkline* m_memoryLine = nullptr;
    Sparkline* m_inLine = nullptr;
    Sparkline* m_outLine = nullptr;
    MemoryBar* m_memoryBar = nullptr;
    MetricCard* m_storage = nullptr;
    StorageList* m_storageList = nullptr;
    Panel* m_processCard = nullptr;
    SectionLabel* m_processLabel = nullptr;
    ProcessTable* m_processTable = nullptr;
};

} // namespace tallymere
