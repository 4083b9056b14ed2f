#pragma once
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace tallymere {

class AppState;
class DesktopActions;

// The menu bar of the main window: the File menu's scan commands (no command opens a second main
// window), the View menu (visualisations, navigation, labels and size mode) and the Selection
// menu (reveal, preview, cleanup queue), plus the desktop's own "Settings…" and "Quit" items,
// which on this platform live in the File menu.
//
// Every action works on the one store it was given and reads it when it runs. Titles and enabled
// states are recomputed from the store whenever one of the properties they depend on changes, so
// keyboard shortcuts follow the store even while no menu is open.
class MenuCommands : public QObject {
    Q_OBJECT
public:
    // What the commands ask of the rest of the program besides the store.
    struct Services {
        // Shows paths selected in the file manager ("Reveal in Finder").
        DesktopActions* desktop = nullptr;
        // Toggles the preview of paths ("Quick Look"); QuickLook::preview when unset.
        std::function<void(const std::vector<std::string>&)> preview;
        // The user's home folder (raw bytes); UserFolders::home when unset.
        std::function<std::string()> homeFolder;
        // Brings the Settings window to the front.
        std::function<void()> showSettings;
        // Ends the application.
        std::function<void()> quit;
    };

    MenuCommands(AppState& state, Services services, QObject* parent = nullptr);

    // Adds the File, View and Selection menus to the bar, in that order, opened by Alt+F, Alt+V and
    // Alt+S.
    void install(QMenuBar* bar);

    // The menus, for the window and for tests; empty before install().
    const QList<QMenu*>& menus() const { return m_menus; }

    // The item with this title as currently shown, or null. Items whose title follows a switch are
    // found under their current title.
    QAction* action(const QString& title) const;

    // Recomputes every switch title and enabled state from the store.
    void refresh();

private:
    QAction* add(QMenu* menu, const QString& title, const QKeySequence& key, std::function<void()> run);
    QMenu* buildFileMenu(QWidget* parent);
    QMenu* buildViewMenu(QWidget* parent);
    QMenu* buildSelectionMenu(QWidget* parent);

    // Paths of the selection as a one-element list; empty with nothing selected.
    std::vector<std::string> selectedPaths() const;

    AppState& m_state;
    Services m_services;
    QList<QMenu*> m_menus;
    QList<QAction*> m_actions;

    QAction* m_stopScan = nullptr;
    QAction* m_backToParent = nullptr;
    QAction* m_labels = nullptr;
    QAction* m_sizeMode = nullptr;
    QAction* m_reveal = nullptr;
    QAction* m_quickLook = nullptr;
    QAction* m_addToCleanup = nullptr;
    QAction* m_emptyQueue = nullptr;
};

} // namespace tallymere
