#include "views/components/NodeInteraction.h"

#include "views/components/NodeContextMenu.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

namespace tallymere {

NodeInteraction::NodeInteraction(AppState& state, QWidget* canvas, HitTest hitTest)
    : QObject(canvas), m_state(state), m_canvas(canvas), m_hitTest(std::move(hitTest)) {
    canvas->setMouseTracking(true);
    canvas->setContextMenuPolicy(Qt::DefaultContextMenu);
    canvas->installEventFilter(this);
}

void NodeInteraction::hover(QPointF at) {
    const FileNode* node = m_hitTest ? m_hitTest(at) : nullptr;
    if (node == m_state.hovered().get()) return;
    m_state.setHovered(m_state.retain(node));
}

void NodeInteraction::doubleClick() { open(m_state, m_state.hovered() ? m_state.hovered() : m_state.selection()); }

void NodeInteraction::open(AppState& state, const AppState::NodePtr& node) {
    if (!node) return;
    if (node->isDirectory && node->hasChildren()) state.drill(node);
    else state.desktop().reveal({node->path()});
}

bool NodeInteraction::inMargin(QPointF at) const {
    if (m_margin <= 0) return false;
    return !QRectF(m_canvas->rect()).adjusted(m_margin, m_margin, -m_margin, -m_margin).contains(at);
}

bool NodeInteraction::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_canvas) return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        const QPointF at = static_cast<QMouseEvent*>(event)->position();
        // The margin is outside the drawing: the pointer has left it.
        if (inMargin(at)) m_state.setHovered({});
        else hover(at);
        break;
    }
    case QEvent::Leave:
        m_state.setHovered({});
        break;
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) break;
        if (inMargin(mouse->position())) return true;
        // The press may come without a move before it (a touch, a menu just closed): the node under
        // it is the hovered one.
        hover(mouse->position());
        m_state.setSelection(m_state.hovered());
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) break;
        if (inMargin(mouse->position())) return true;
        hover(mouse->position());
        doubleClick();
        return true;
    }
    case QEvent::ContextMenu: {
        auto* request = static_cast<QContextMenuEvent*>(event);
        if (request->reason() == QContextMenuEvent::Mouse && inMargin(request->pos())) return true;
        if (request->reason() == QContextMenuEvent::Mouse) hover(request->pos());
        if (m_menu) m_menu->close();
        m_menu = NodeContextMenu::create(m_state, NodeContextMenu::menuTarget(m_state), m_canvas);
        if (m_menu) m_menu->popup(request->globalPos());
        return true;
    }
    default: break;
    }
    return false;
}

} // namespace tallymere
