#pragma once
#include "core/CategoryTotals.h"
#include "views/components/ThemedWidget.h"

#include <memory>
#include <vector>

class QVBoxLayout;

namespace tallymere {

class AppState;
class CategoryBar;
class CategoryRow;
class ClickableWidget;
class FileNode;
class SectionLabel;

// How the bytes under the shown folder (the focus, else the displayed root) split over the file
// categories: a stacked bar and one row per category that holds bytes, in the fixed category order.
// A row click adds its category to the display filter or takes it out; "Clear filter" empties the
// category set and keeps the rest of the filter.
//
// The totals are worked out once per (start node, size mode, displayed tree) and kept until one of
// those changes: hovering, selecting or staging never reaches them. For a node of the displayed tree
// they come from the store's category index, so even the top of a huge tree costs a short walk.
// Each category keeps its one row, shown while it holds bytes, so a focus change repaints only the
// figures that changed.
class SidebarFileTypes : public ThemedWidget {
    Q_OBJECT
public:
    explicit SidebarFileTypes(AppState& state, QWidget* parent = nullptr);

    const CategoryTotals& totals() const { return m_totals; }
    // How many times the totals have been worked out.
    int walks() const { return m_walks; }

    SectionLabel* label() const { return m_label; }
    CategoryBar* bar() const { return m_bar; }
    // The rows shown, in the fixed category order.
    const std::vector<CategoryRow*>& rows() const { return m_shownRows; }
    // Shown only while the filter names categories.
    ClickableWidget* clearButton() const { return m_clear; }

private:
    void refreshTotals();
    void refreshFilter();
    void showTotals();

    AppState& m_state;
    QVBoxLayout* m_column;
    SectionLabel* m_label;
    CategoryBar* m_bar;
    ClickableWidget* m_clear;
    std::vector<CategoryRow*> m_rows; // one a selectable category, in order
    std::vector<CategoryRow*> m_shownRows;

    CategoryTotals m_totals;
    // What the totals were walked for, held so that no other node can take their place in memory.
    std::shared_ptr<FileNode> m_forStart;
    std::shared_ptr<FileNode> m_forTree;
    bool m_forAllocated = true;
    int m_walks = 0;
};

} // namespace tallymere
