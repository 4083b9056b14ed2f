#include "views/explore/ListScroll.h"

#include <QScrollArea>
#include <QScrollBar>

namespace tallymere::ListScroll {

namespace {

constexpr int barWidth = 8;

// Viewport margins are only open to subclasses.
class ListScrollArea : public QScrollArea {
public:
    ListScrollArea(Bar bar, QWidget* parent) : QScrollArea(parent) {
        if (bar == Bar::overInset) setViewportMargins(0, 0, -barWidth, 0);
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
