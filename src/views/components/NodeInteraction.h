#pragma once
#include "state/AppState.h"

#include <QMenu>
#include <QObject>
#include <QPointF>
#include <QPointer>

#include <functional>

class QWidget;

namespace tallymere {

// Turns pointer input over a canvas into changes of the store. It draws nothing: the canvas hands
// it a hit test from a point in the canvas widget's coordinates to the node drawn there (null for
// none). Nodes from the hit test must belong to a tree the store holds (the canvases lay out the
// focus or the displayed tree); they are turned into held pointers with AppState::retain.
//
// - Moving the pointer writes AppState::hovered only when the hit node changes by identity;
//   leaving the canvas clears it.
// - A left press selects the hovered node (none clears the selection): the first click selects.
// - A double click acts on the hovered node, else the selection: a folder or package with children
//   is drilled into, anything else is revealed in the file manager.
// - A context-menu request opens NodeContextMenu for the hovered node, else the selection; with
//   neither there is no menu.
//
// Installed on the canvas as an event filter and owned by it; the canvas gets mouse tracking.
class NodeInteraction : public QObject {
    Q_OBJECT
public:
    using HitTest = std::function<const FileNode*(QPointF)>;

    NodeInteraction(AppState& state, QWidget* canvas, HitTest hitTest);

    // Keeps pointer input within the canvas rectangle shrunk by `margin` on every edge: over the
    // margin nothing is hovered, and clicks and menu requests there do nothing.
    void setMargin(double margin) { m_margin = margin; }

    // The context menu opened last while it is still open; null otherwise.
    QMenu* openMenu() const { return m_menu; }

    // What a double click does to `node`: a folder or package with children is drilled into,
    // anything else revealed in the file manager. Null does nothing.
    static void open(AppState& state, const AppState::NodePtr& node);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void hover(QPointF at);
    void doubleClick();
    bool inMargin(QPointF at) const;

    AppState& m_state;
    QWidget* m_canvas;
    HitTest m_hitTest;
    QPointer<QMenu> m_menu;
    double m_margin = 0;
};

} // namespace tallymere
