#include "views/components/WindowPlacement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace tallymere::WindowPlacement {

void centreOver(QWidget* window, const QWidget* over) {
    if (!window || !over || window == over) return;
    QRect frame = window->frameGeometry();
    const QRect target = over->frameGeometry();
    frame.moveCenter(target.center());
    if (const QScreen* screen = over->screen()) {
        const QRect area = screen->availableGeometry();
        frame.moveLeft(std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())));
        frame.moveTop(std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height())));
    }
    window->move(frame.topLeft());
}

} // namespace tallymere::WindowPlacement
