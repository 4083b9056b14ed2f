#include "app/MainWindow.h"

#include "app/MenuCommands.h"
#include "views/RootView.h"

#include <QMenuBar>
#include <QMouseEvent>
#include <QWindow>

namespace tallymere {

MainWindow::MainWindow(AppState& state, MenuCommands* commands, QWidget* parent)
    : QMainWindow(parent), m_commands(commands) {
    setWindowTitle(QStringLiteral("Tallymere"));
    m_commands->setParent(this);
    m_commands->install(menuBar());
    m_root = new RootView(state, this);
    setCentralWidget(m_root);
    resize(defaultWidth, defaultHeight);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    // Only presses that no control inside accepted arrive here: the window's background.
    if (event->button() == Qt::LeftButton && windowHandle() && windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

} // namespace tallymere
