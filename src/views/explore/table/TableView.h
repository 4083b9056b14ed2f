#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"
#include "views/explore/table/TableRows.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tallymere {

class TableBody;
class TableControls;
class TableHeader;

// The Table visualisation: the nodes under the shown folder (the focus, else the displayed tree),
// its children or with "Include everything below" every node beneath it, sorted by the column whose
// title was clicked, at most TableRows::rowLimit lines, and exported exactly as shown to CSV.
//
// Sort, direction and the switch are this view's own and start over with each new view: size,
// largest first, children only. The lines are rebuilt when one of them changes and when the focus,
// the displayed tree or the size mode changes; nothing else touches them.
class TableView : public ThemedWidget {
    Q_OBJECT
public:
    // Asks where to save, offering `suggestedName`; none when the user cancelled.
    using SavePathChooser = std::function<std::optional<QString>(QWidget* parent, const QString& suggestedName)>;

    explicit TableView(AppState& state, QWidget* parent = nullptr);

    const std::vector<const FileNode*>& rows() const { return m_rows; }
    TableColumn sortColumn() const { return m_options.sort; }
    bool isAscending() const { return m_options.ascending; }
    bool isRecursive() const { return m_options.recursive; }

    // A click on a column's title: the same column flips the direction; another column becomes the
    // sort, names from A to Z and every other column largest (or latest) first.
    void clickHeader(TableColumn column);
    void setRecursive(bool recursive);

    // Saves the lines as shown to a file the user picks. Without a shown folder nothing is asked; a
    // cancelled choice writes nothing; a failed write keeps any file already there and shows the
    // system's reason in an error banner.
    void exportCsv();
    // The window's save dialog by default; tests set their own.
    void setSavePathChooser(SavePathChooser chooser) { m_chooser = std::move(chooser); }

    TableControls* controls() const { return m_controls; }
    TableHeader* header() const { return m_header; }
    TableBody* body() const { return m_body; }

protected:
    void themeChanged() override;

private:
    void rebuild();
    AppState::NodePtr shownFolder() const;

    AppState& m_state;
    TableRows::Options m_options;
    AppState::NodePtr m_folder; // keeps the nodes of m_rows alive
    std::vector<const FileNode*> m_rows;
    SavePathChooser m_chooser;
    TableControls* m_controls;
    TableHeader* m_header;
    TableBody* m_body;
};

} // namespace tallymere
