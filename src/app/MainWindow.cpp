#include "app/MainWindow.h"

#include "app/MenuCommands.h"
#include "state/AppState.h"
#include "style/Theme.h"
#include "views/components/ThemedWidget.h"
#include "views/shell/RootView.h"

#include <QMenuBar>
#include <QMouseEvent>
#include <QWindow>

#include <cmath>

namespace tallymere {

MainWindow::MainWindow(AppState& state, MenuCommands* commands, QWidget* parent)
    : QMainWindow(parent), m_state(state) {
    setWindowTitle(QStringLiteral("Tallymere"));
    commands->setParent(this);
    commands->install(menuBar());
    setCentralWidget(new RootView(state, this));
    resize(defaultWidth, defaultHeight);
    followTheme();
    connect(&m_state, &AppState::themeIDChanged, this, &MainWindow::followTheme);
}

void MainWindow::followTheme() {
    // The menu bar is drawn by the desktop's style from its palette; it gets the theme's ground and
    // ink so that it reads as part of the window above the top bar. Its menus keep the desktop's look.
    const Theme theme = Theme::make(m_state.themeID());
    QPalette palette = menuBar()->palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button}) palette.setColor(role, theme.background);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText}) palette.setColor(role, theme.text);
    menuBar()->setPalette(palette);
    menuBar()->setAutoFillBackground(true);
    // Recorded on the window itself, so its own windows (the preview) draw in the theme too.
    ThemedWidget::applyTheme(this, theme);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    // Only presses that no control inside accepted arrive here: the window's background. The move
    // waits for the pointer to travel: a click that never moves (a remote desktop's, a script's)
    // must not leave the window manager dragging the window.
    if (event->button() == Qt::LeftButton) {
        m_pressedAt = event->globalPosition();
        event->accept();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_pressedAt && (event->buttons() & Qt::LeftButton)) {
        const QPointF travel = event->globalPosition() - *m_pressedAt;
        if (std::abs(travel.x()) + std::abs(travel.y()) >= moveThreshold) {
            m_pressedAt.reset();
            ++m_moveRequests;
            if (windowHandle()) windowHandle()->startSystemMove();
        }
        event->accept();
        return;
    }
    QMainWindow::mouseMoveEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_pressedAt.reset();
    QMainWindow::mouseReleaseEvent(event);
}

} // namespace tallymere
