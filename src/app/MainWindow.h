#pragma once
#include <QMainWindow>
#include <QPointF>

#include <optional>

namespace tallymere {

class AppState;
class MenuCommands;

// The main window: RootView as its content and the menu commands in its menu bar, opened at 1440
// by 900. The menu bar takes the store's theme and follows every change of it. A press on the
// window's background (where no control takes it) followed by a pointer move of a few points moves
// the window; a press released in place does nothing.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 1440;
    static constexpr int defaultHeight = 900;
    // How far the pointer travels, held down on the background, before the window moves.
    static constexpr double moveThreshold = 4;

    // `commands` supplies the menus; the window takes it over.
    MainWindow(AppState& state, MenuCommands* commands, QWidget* parent = nullptr);

    // How many window moves the pointer has started so far.
    int moveRequests() const { return m_moveRequests; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void followTheme();

    AppState& m_state;
    // Where the pointer went down on the background, in global coordinates, until it moves the
    // window or is released.
    std::optional<QPointF> m_pressedAt;
    int m_moveRequests = 0;
};

} // namespace tallymere
