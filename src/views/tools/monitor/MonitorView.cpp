#include "views/tools/monitor/MonitorView.h"

#include "views/components/controls/Panel.h"
#include "views/components/controls/SectionLabel.h"
#include "views/tools/monitor/MemoryBar.h"
#include "views/tools/monitor/MetricCard.h"
#include "views/tools/monitor/MiniStat.h"
#include "views/tools/monitor/ProcessTable.h"
#include "views/tools/monitor/Sparkline.h"
#include "views/tools/monitor/StorageList.h"
#include "views/components/controls/ListScroll.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tallymere {

namespace {

constexpr int pageMargin = 16;
constexpr int cardSpacing = 14;
constexpr int stripHeight = 54;
constexpr int bodySpacing = 8;

QHBoxLayout* cardRow(QWidget* left, QWidget* right) {
    auto* row = new QHBoxLayout;
    row->setSpacing(cardSpacing);
    row->addWidget(left, 1, Qt::AlignVCenter);
    row->addWidget(right, 1, Qt::AlignVCenter);
    return row;
}

} // namespace

MonitorView::MonitorView(AppState& state, QWidget* parent) : MonitorView(state, MonitorSampler::systemSources(), parent) {}

MonitorView::MonitorView(AppState&, MonitorSampler::Sources sources, QWidget* parent)
    : ThemedWidget(parent), m_sampler(new MonitorSampler(std::move(sources), this)) {
    m_cpuLine = new Sparkline(MonitorText::accentSecondaryColor, true);
    m_cpuLine->setFixedHeight(stripHeight);
    m_cpu = makeLiveCard(QStringLiteral("CPU"), "cpu.fill", m_cpuLine, nullptr, 14);

    m_memoryLine = new Sparkline(MonitorText::memoryColor, true);
    m_memoryLine->setFixedHeight(stripHeight);
    m_memoryBar = new MemoryBar;
    m_memory = makeLiveCard(QStringLiteral("Memory"), "memorychip.fill", m_memoryLine, m_memoryBar, 12);

    // Received bytes filled, sent bytes as a line over them.
    auto* netStrip = new QWidget;
    netStrip->setFixedHeight(stripHeight);
    auto* stack = new QGridLayout(netStrip);
    stack->setContentsMargins(0, 0, 0, 0);
    m_inLine = new Sparkline(MonitorText::successColor, true);
    m_outLine = new Sparkline(MonitorText::warningColor, false);
    stack->addWidget(m_inLine, 0, 0);
    stack->addWidget(m_outLine, 0, 0);
    m_network = makeLiveCard(QStringLiteral("Network"), "antenna.radiowaves.left.and.right", netStrip, nullptr, 14);

    m_storageList = new StorageList;
    m_storage = new MetricCard(QStringLiteral("Storage"), "internaldrive.fill", m_storageList);

    auto* processBody = new QWidget;
    auto* processLayout = new QVBoxLayout(processBody);
    processLayout->setContentsMargins(0, 0, 0, 0);
    processLayout->setSpacing(8);
    m_processLabel = new SectionLabel(QStringLiteral("Top processes by CPU"), MonitorText::shownNote(0));
    m_processTable = new ProcessTable;
    processLayout->addWidget(m_processLabel);
    processLayout->addWidget(m_processTable);
    m_processCard = new Panel(14, 14, processBody);
    m_processCard->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("monitorPage"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(pageMargin, pageMargin, pageMargin, pageMargin);
    column->setSpacing(cardSpacing);
    column->addLayout(cardRow(m_cpu.card, m_memory.card));
    column->addLayout(cardRow(m_network.card, m_storage));
    column->addWidget(m_processCard);
    column->addStretch(1);

    m_scroll = new QScrollArea;
    m_scroll->setFrameShape(QFrame::NoFrame);
    ListScroll::style(m_scroll);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The page lies on the workspace's own background.
    m_scroll->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setWidget(page);
    page->setAutoFillBackground(false); // setWidget() turned it on

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_scroll);

    connect(m_sampler, &MonitorSampler::changed, this, &MonitorView::refresh);
    refresh();
}

MonitorView::LiveCard MonitorView::makeLiveCard(const QString& title, const char* symbol, QWidget* strip, QWidget* bar,
                                                int statSpacing) {
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(bodySpacing);
    layout->addWidget(strip);
    if (bar) layout->addWidget(bar);
    auto* stats = new QHBoxLayout;
    stats->setSpacing(statSpacing);
    LiveCard card;
    for (auto& stat : card.stats) {
        stat = new MiniStat;
        stats->addWidget(stat, 0, Qt::AlignVCenter);
    }
    stats->addStretch(1);
    layout->addLayout(stats);
    card.card = new MetricCard(title, symbol, body);
    return card;
}

QWidget* MonitorView::page() const { return m_scroll->widget(); }

void MonitorView::refresh() {
    const MonitorFigures& f = m_sampler->figures();
    auto show = [](LiveCard& live, const MonitorText::Card& text) {
        live.card->setHeadline(text.headlineValue, text.headlineFormat);
        live.card->setTint(text.tint);
        for (std::size_t i = 0; i < live.stats.size(); ++i) live.stats[i]->setStat(text.stats[i]);
    };
    show(m_cpu, MonitorText::cpu(f));
    show(m_memory, MonitorText::memory(f));
    show(m_network, MonitorText::network(f));
    m_cpuLine->setValues(f.cpuHistory);
    m_memoryLine->setValues(f.memoryHistory);
    m_inLine->setValues(f.netHistoryIn);
    m_outLine->setValues(f.netHistoryOut);
    m_memoryBar->setFigures(f);

    const auto& volumes = m_sampler->volumes();
    if (volumes.empty()) m_storage->setHeadline(MonitorText::storageHeadline(volumes));
    else m_storage->setHeadline(double(volumes.front().available), MonitorText::freeText);
    m_storageList->setVolumes(volumes);

    m_processTable->setProcesses(f.processes);
    m_processLabel->setTrailing(MonitorText::shownNote(m_processTable->rows().size()));
}

void MonitorView::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    m_sampler->start();
}

void MonitorView::hideEvent(QHideEvent* event) {
    ThemedWidget::hideEvent(event);
    m_sampler->stop();
}

} // namespace tallymere
