#include "views/shell/sidebar/SidebarQuickWins.h"

#include "state/AppState.h"
#include "core/CleanupPreset.h"
#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/FocusChain.h"
#include "views/components/controls/SectionLabel.h"
#include "views/shell/sidebar/PresetRow.h"
#include "views/shell/sidebar/TextLine.h"

#include <QVBoxLayout>

namespace tallymere {

SidebarQuickWins::SidebarQuickWins(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_column(new QVBoxLayout(this)),
      m_label(new SectionLabel(QStringLiteral("Quick Wins"), std::nullopt, this)),
      m_empty(new TextLine(Typography::font(10.5, QFont::Normal), [](const Theme& t) { return t.textTertiary; },
                           TextDraw::Truncation::tail, 1, this)) {
    // The rows are one stop of Tab; the arrows walk them.
    FocusChain::makeGroup(this);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(6);
    m_column->addWidget(m_label);
    m_empty->setText(QStringLiteral("Nothing obvious to reclaim here."));
    m_column->addWidget(m_empty);
    connect(&m_state, &AppState::presetHitsChanged, this, &SidebarQuickWins::refresh);
    refresh();
}

void SidebarQuickWins::refresh() {
    for (PresetRow* row : m_rows) {
        row->hide();
        m_column->removeWidget(row);
        row->deleteLater();
    }
    m_rows.clear();
    const auto& hits = m_state.presetHits();
    std::int64_t sum = 0;
    for (const PresetHit& hit : hits) sum += hit.total;
    m_label->setTrailing(hits.empty() ? std::nullopt : std::optional<QString>(DisplayText::sizeText(sum)));
    m_empty->setVisible(hits.empty());
    for (std::size_t i = 0; i < hits.size() && i < maxRows; ++i) {
        auto* row = new PresetRow(m_state, hits[i], this);
        m_column->addWidget(row);
        row->show();
        m_rows.push_back(row);
    }
}

} // namespace tallymere
