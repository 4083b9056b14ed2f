#include "views/explore/ListScroll.h"

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>

namespace tallymere::ListScroll {

namespace {

constexpr int barWidth = 8;

// Viewport margins are only open to subclasses. Floating over the inset, the bar gives its strip
// back to the viewport while it shows; while it is hidden there is no strip to give, and a margin
// then would make the content wider than the area by the bar's width.
class ListScrollArea : public QScrollArea {
public:
    ListScrollArea(Bar bar, QWidget* parent) : QScrollArea(parent) {
        if (bar == Bar::overInset) verticalScrollBar()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == verticalScrollBar() && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
            const int right = event->type() == QEvent::Show ? -barWidth : 0;
            if (viewportMargins().right() != right) setViewportMargins(0, 0, right, 0);
        }
        return QScrollArea::eventFilter(watched, event);
    }
};

} // namespace

QScrollArea* make(QWidget* content, QWidget* parent, Bar bar) {
    auto* area = new ListScrollArea(bar, parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->setAutoFillBackground(false);
    area->viewport()->setAutoFillBackground(false);
    area->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    area->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px 1px 2px 0; }"
        "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 110); border-radius: 3px; min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    area->setWidget(content);
    content->setAutoFillBackground(false);
    return area;
}

} // namespace tallymere::ListScroll
