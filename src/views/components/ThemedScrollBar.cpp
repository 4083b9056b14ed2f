#include "views/components/ThemedScrollBar.h"

#include "views/components/ShapePaint.h"
#include "views/components/ThemedWidget.h"

#include <QAbstractScrollArea>
#include <QEvent>

namespace tallymere {

ThemedScrollBar::ThemedScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {
    if (auto inherited = ThemedWidget::inheritedTheme(parent)) m_theme = *inherited;
    restyle();
}

QColor ThemedScrollBar::handleColor(const Theme& theme) {
    return ShapePaint::withOpacity(theme.textTertiary, handleOpacity);
}

void ThemedScrollBar::setTheme(const Theme& theme) {
    const bool changed = theme.id != m_theme.id;
    m_theme = theme;
    if (changed) restyle();
}

void ThemedScrollBar::restyle() {
    // A style sheet on the bar alone (it has no children): the style then measures the handle it
    // draws, so dragging, paging and the wheel work as with any bar.
    const bool vertical = orientation() == Qt::Vertical;
    const QString sheet =
        vertical ? QStringLiteral("QScrollBar:vertical { background: transparent; width: %1px; margin: 2px 0; }"
                                  "QScrollBar::handle:vertical { background: %2; border-radius: 3px;"
                                  " min-height: 24px; margin: 0 1px; }"
                                  "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
                                  "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical"
                                  " { background: transparent; }")
                 : QStringLiteral("QScrollBar:horizontal { background: transparent; height: %1px; margin: 0 2px; }"
                                  "QScrollBar::handle:horizontal { background: %2; border-radius: 3px;"
                                  " min-width: 24px; margin: 1px 0; }"
                                  "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; }"
                                  "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal"
                                  " { background: transparent; }");
    setStyleSheet(sheet.arg(thickness).arg(handleColor(m_theme).name(QColor::HexArgb)));
}

bool ThemedScrollBar::event(QEvent* event) {
    // As with ThemedWidget: a bar placed into its area, or shown there, looks up the theme again.
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show) {
        if (auto inherited = ThemedWidget::inheritedTheme(parentWidget())) setTheme(*inherited);
    }
    return QScrollBar::event(event);
}

void ThemedScrollBar::install(QAbstractScrollArea* area) {
    if (!qobject_cast<ThemedScrollBar*>(area->verticalScrollBar()))
        area->setVerticalScrollBar(new ThemedScrollBar(Qt::Vertical, area));
    if (!qobject_cast<ThemedScrollBar*>(area->horizontalScrollBar()))
        area->setHorizontalScrollBar(new ThemedScrollBar(Qt::Horizontal, area));
}

} // namespace tallymere
