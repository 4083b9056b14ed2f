#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

#include <array>
#include <cstdint>
#include <vector>

class QLabel;
class QScrollArea;

namespace tallymere {

class ActionButton;
class InspectorIdentity;
class InspectorMiniBar;
class Panel;
class SectionLabel;
class StatRow;

// The right-hand column that describes one node: the selection, else the hovered node, else the
// focus, else the displayed root. Four blocks stacked in a scroll area (taller than the window, the
// column scrolls by the wheel and the keyboard, with no bar): identity, details, the
// largest children (only for a node with children) and the actions (reveal, preview, zoom, copy
// the path, stage or unstage for cleanup); with no node at all, one line of help.
//
// It follows the store: the column is worked out again only when the node it describes, the tree
// on display or the size mode changes, so pointer movement with a selection costs nothing. A change
// of the queue only retitles the cleanup button.
class InspectorView : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr int columnWidth = 306;
    static constexpr int maxChildren = 8;

    explicit InspectorView(AppState& state, QWidget* parent = nullptr);

    // The node described; null when none resolves.
    const AppState::NodePtr& node() const { return m_node; }

    // The parts, for tests and for people reading screenshots.
    InspectorIdentity* identity() const { return m_identity; }
    // The detail rows shown, in order, as (label, value).
    std::vector<std::pair<QString, QString>> detailRows() const;
    std::vector<const InspectorMiniBar*> childRows() const;
    // "Largest inside"'s note ("12 items"); empty when the block is hidden.
    QString childCountText() const;
    bool isCompositionShown() const;
    ActionButton* button(const QString& title) const;
    QLabel* placeholder() const { return m_placeholder; }
    QScrollArea* scrollArea() const { return m_scroll; }

    // Describes the current node now; the view calls it itself on every change it follows.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void themeChanged() override;

private:
    void buildDetails(QWidget* content);
    void buildComposition(QWidget* content);
    void buildActions(QWidget* content);
    void describe(const AppState::NodePtr& node);
    void updateCleanupButton();
    void openChild(const AppState::NodePtr& child);
    void focusNode();

    AppState& m_state;
    // What the column shows and what it was worked out from.
    AppState::NodePtr m_node;
    AppState::NodePtr m_shownRoot;
    bool m_shownAllocated = true;
    bool m_described = false;

    QScrollArea* m_scroll;
    QLabel* m_placeholder;
    InspectorIdentity* m_identity;
    Panel* m_details;
    std::vector<StatRow*> m_detailRows;
    Panel* m_composition;
    SectionLabel* m_compositionLabel;
    std::array<InspectorMiniBar*, maxChildren> m_childRows{};
    QWidget* m_actions;
    ActionButton* m_reveal;
    ActionButton* m_quickLook;
    ActionButton* m_focus;
    ActionButton* m_copyPath;
    ActionButton* m_cleanup;
};

} // namespace tallymere
