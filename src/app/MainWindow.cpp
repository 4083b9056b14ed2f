#include "app/MainWindow.h"

#include "app/MenuCommands.h"
#include "views/shell/RootView.h"

#include <QMenuBar>
#include <QMouseEvent>
#include <QWindow>

namespace tallymere {

MainWindow::MainWindow(AppState& state, MenuCommands* commands, QWidget* parent)
    : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tallymere"));
    commands->setParent(this);
    commands->install(menuBar());
    setCentralWidget(new RootView(state, this));
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
