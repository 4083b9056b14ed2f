#pragma once
#include <QMainWindow>

namespace tallymere {

class AppState;
class MenuCommands;

// The main window: RootView as its content and the menu commands in its menu bar, opened at 1440
// by 900. A press on its background (where no control takes it) moves the window.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 1440;
    static constexpr int defaultHeight = 900;

    // `commands` supplies the menus; the window takes it over.
    MainWindow(AppState& state, MenuCommands* commands, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace tallymere
