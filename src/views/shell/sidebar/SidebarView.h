#pragma once
#include "views/components/ThemedWidget.h"

class QScrollArea;

namespace tallymere {

class AppState;
class SidebarCapacity;
class SidebarCurrentView;
class SidebarFileTypes;
class SidebarQuickWins;
class SidebarScanActions;

// The left column of the window (272 wide): the scan actions and the disk's capacity, and while a
// tree is displayed the current view, the quick wins and the file types. The column scrolls
// vertically when it is taller than the window, by the wheel and the keyboard; it shows no bar.
class SidebarView : public ThemedWidget {
    Q_OBJECT
public:
    explicit SidebarView(AppState& state, QWidget* parent = nullptr);

    SidebarScanActions* scanActions() const { return m_scan; }
    SidebarCapacity* capacity() const { return m_capacity; }
    // The three sections shown only with a tree; they come and go together.
    QWidget* treeSections() const { return m_treeSections; }
    SidebarCurrentView* currentView() const { return m_current; }
    SidebarQuickWins* quickWins() const { return m_quickWins; }
    SidebarFileTypes* fileTypes() const { return m_fileTypes; }
    QScrollArea* scrollArea() const { return m_scroll; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    AppState& m_state;
    QScrollArea* m_scroll;
    SidebarScanActions* m_scan;
    SidebarCapacity* m_capacity;
    QWidget* m_treeSections;
    SidebarCurrentView* m_current;
    SidebarQuickWins* m_quickWins;
    SidebarFileTypes* m_fileTypes;
};

} // namespace tallymere
