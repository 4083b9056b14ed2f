#include "views/components/controls/KeyboardHome.h"

#include <QApplication>
#include <QWidget>

namespace tallymere::KeyboardHome {

void takeBackFrom(QWidget* leaving) {
    QWidget* focused = QApplication::focusWidget();
    if (!leaving || !focused || (focused != leaving && !leaving->isAncestorOf(focused))) return;
    for (QWidget* home = leaving->parentWidget(); home; home = home->parentWidget())
        if (home->focusPolicy() & Qt::ClickFocus) {
            home->setFocus(Qt::OtherFocusReason);
            return;
        }
    focused->clearFocus();
}

} // namespace tallymere::KeyboardHome
