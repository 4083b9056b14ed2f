#include "views/components/controls/ListScroll.h"

#include "views/components/controls/ThemedScrollBar.h"

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>

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

} // namespace

void style(QScrollArea* area) {
    ThemedScrollBar::install(area);
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
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    if (content) area->setWidget(content);
    style(area);
    return area;
}

} // namespace tallymere::ListScroll
