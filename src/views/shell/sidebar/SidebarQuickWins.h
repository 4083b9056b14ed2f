#pragma once
#include "views/components/ThemedWidget.h"

#include <vector>

class QVBoxLayout;

namespace tallymere {

class AppState;
class PresetRow;
class SectionLabel;
class TextLine;

// The cleanup presets that matched something in the last scan: the label with the size of every
// hit together, then a row for each of the first seven hits (largest first), or one line saying
// there is nothing obvious to reclaim.
class SidebarQuickWins : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr std::size_t maxRows = 7;

    explicit SidebarQuickWins(AppState& state, QWidget* parent = nullptr);

    SectionLabel* label() const { return m_label; }
    const std::vector<PresetRow*>& rows() const { return m_rows; }
    // Shown only without hits.
    TextLine* emptyLine() const { return m_empty; }

private:
    void refresh();

    AppState& m_state;
    QVBoxLayout* m_column;
    SectionLabel* m_label;
    TextLine* m_empty;
    std::vector<PresetRow*> m_rows;
};

} // namespace tallymere
