#include "views/shell/SidebarView.h"

#include "state/AppState.h"

#include <QPainter>

namespace tallymere {

SidebarView::SidebarView(AppState& state, QWidget* parent) : ThemedWidget(parent), m_state(state) {}

void SidebarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), theme().background);
}

} // namespace tallymere
