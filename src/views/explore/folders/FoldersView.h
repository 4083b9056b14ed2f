#pragma once
#include "views/components/ThemedWidget.h"

class QScrollArea;

namespace tallymere {

class AppState;
class FolderPage;

// The Folders visualisation: the shown folder (the focus, else the displayed tree) as a scrolling
// page of folder cards and file cards, biggest first, at most `maxFolders` and `maxFiles` of each,
// with a pill back to the parent folder. See FolderPage for what the page holds.
class FoldersView : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr int defaultLimit = 300;

    explicit FoldersView(AppState& state, QWidget* parent = nullptr);
    FoldersView(AppState& state, int maxFolders, int maxFiles, QWidget* parent = nullptr);

    FolderPage* page() const { return m_page; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QScrollArea* m_scroll;
    FolderPage* m_page;
};

} // namespace tallymere
