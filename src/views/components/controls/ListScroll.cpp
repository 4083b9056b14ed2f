#include "views/components/controls/ListScroll.h"

#include "views/components/controls/ThemedScrollBar.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>

namespace tallymere::ListScroll {

namespace {

// Viewport margins are only open to subclasses. Floating over the inset, the bar gives its strip
// back to the viewport while it shows; while it is hidden there is no strip to give, and a margin
// then would make the content wider than the area by the bar's width.
class ListScrollArea : public QScrollArea {
public:
    ListScrollArea(Bar bar, QWidget* parent) : QScrollArea(parent) {
        ThemedScrollBar::install(this);
        if (bar == Bar::overInset) verticalScrollBar()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == verticalScrollBar() && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
            const int right = event->type() == QEvent::Show ? -ThemedScrollBar::thickness : 0;
            if (viewportMargins().right() != right) setViewportMargins(0, 0, right, 0);
        }
        return QScrollArea::eventFilter(watched, event);
    }
};

// Content scrolled under a still pointer moves without the pointer moving, so nothing under it
// learns that it is now hovered, or no longer: the row scrolled away would stay hovered, in the
// store too. The window is handed a move of the pointer to where it rests, as a real move would
// come, unless a button is held (a drag of the bar has the pointer) or another window lies there.
void hoverWhatLiesUnderThePointer(QAbstractScrollArea* area) {
    if (QGuiApplication::mouseButtons() != Qt::NoButton) return;
    QWidget* viewport = area->viewport();
    QWindow* window = viewport->window()->windowHandle();
    const QPoint global = QCursor::pos();
    if (!window || !viewport->isVisible() || QGuiApplication::topLevelAt(global) != window) return;
    if (!viewport->rect().contains(viewport->mapFromGlobal(global))) return;
    QCoreApplication::postEvent(window, new QMouseEvent(QEvent::MouseMove, QPointF(window->mapFromGlobal(global)),
                                                        QPointF(global), Qt::NoButton, Qt::NoButton,
                                                        QGuiApplication::keyboardModifiers()));
}

} // namespace

void style(QScrollArea* area) {
    ThemedScrollBar::install(area);
    for (QScrollBar* bar : {area->verticalScrollBar(), area->horizontalScrollBar()})
        QObject::connect(bar, &QScrollBar::valueChanged, area, [area] { hoverWhatLiesUnderThePointer(area); });
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::ClickFocus);
    area->setAutoFillBackground(false);
    area->viewport()->setAutoFillBackground(false);
    if (QWidget* content = area->widget()) content->setAutoFillBackground(false);
}

QScrollArea* make(QWidget* content, QWidget* parent, Bar bar) {
    auto* area = new ListScrollArea(bar, parent);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(bar == Bar::hidden ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    if (content) area->setWidget(content);
    style(area);
    return area;
}

} // namespace tallymere::ListScroll
