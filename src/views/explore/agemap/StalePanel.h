#pragma once
#include "state/AppState.h"
#include "views/components/controls/Panel.h"

#include <vector>

class QLabel;
class QScrollArea;

namespace tallymere {

class ActionButton;
class StaleList;

// "Big & Untouched": the biggest files and packages nobody modified for over a year (the Age Map's
// stale list, largest first). Empty, it says so in one line. Otherwise it gives their total ("2.48
// GB across 17 items"), lists every one of them with a stage toggle, and offers one button that
// stages the first forty in list order that staging does not refuse (a file in the Trash is
// refused), each through the store's staging rule, so items already staged or inside a staged
// folder are skipped and a staged package absorbs what was staged inside it. Staging changes
// nothing of the list itself.
class StalePanel : public Panel {
    Q_OBJECT
public:
    explicit StalePanel(AppState& state, QWidget* parent = nullptr);

    // The stale nodes of the last rebuild, nodes of the tree `keeper` belongs to.
    void setNodes(AppState::NodePtr keeper, std::vector<const FileNode*> nodes);

    static constexpr std::size_t stageLimit = 40;
    // Its width beside the Age Map's column; under it, it takes the column's width.
    static constexpr int panelWidth = 330;

    // Stages the first nodes of the list that can be staged, at most stageLimit, as the button does;
    // the button shows only while there are some.
    void stageTop();

    StaleList* list() const { return m_list; }
    ActionButton* stageButton() const { return m_button; }
    QString summaryText() const;
    QString emptyText() const;
    bool isShowingList() const;

    // Whole, the list takes the height of all its rows and never scrolls: for a page that scrolls
    // itself. Otherwise it keeps room for its first rows at the least and scrolls the rest.
    void setListWhole(bool whole);
    bool isListWhole() const { return m_whole; }
    // The height the whole list needs beyond the least the panel asks for.
    int wholeListExtra() const;

protected:
    void themeChanged() override;

private:
    void refresh();

    AppState& m_state;
    StaleList* m_list;
    QScrollArea* m_scroll;
    QLabel* m_message;
    QLabel* m_summary;
    ActionButton* m_button;
    bool m_whole = false;
};

} // namespace tallymere
