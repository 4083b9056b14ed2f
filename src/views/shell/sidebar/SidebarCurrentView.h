#pragma once
#include "views/components/ThemedWidget.h"

#include <QString>

namespace tallymere {

class AppState;
class ActionButton;
class FileNode;
class SectionLabel;
class TextLine;

// Which folder the views look at (the focus, else the displayed root): its name, its path (two
// lines at most, the end kept) and buttons to reveal it or copy its path; the label carries how
// long the last scan took.
class SidebarCurrentView : public ThemedWidget {
    Q_OBJECT
public:
    explicit SidebarCurrentView(AppState& state, QWidget* parent = nullptr);

    // The name shown for a node: "Macintosh HD" for "/", "Home" for the home folder (also below
    // the top of a tree), its own name below the top, else the last component of its path.
    static QString displayName(const FileNode& node);
    // "12.3s scan"; empty for a duration of 0 or less.
    static QString durationText(double seconds);

    SectionLabel* label() const { return m_label; }
    TextLine* nameLine() const { return m_name; }
    TextLine* pathLine() const { return m_path; }
    ActionButton* revealButton() const { return m_reveal; }
    ActionButton* copyButton() const { return m_copy; }

private:
    void refresh();

    AppState& m_state;
    SectionLabel* m_label;
    TextLine* m_name;
    TextLine* m_path;
    QWidget* m_buttons;
    ActionButton* m_reveal;
    ActionButton* m_copy;
};

} // namespace tallymere
