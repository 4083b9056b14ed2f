#include "views/shell/sidebar/SidebarView.h"

#include "state/AppState.h"
#include "views/components/controls/ListScroll.h"
#include "views/shell/sidebar/SidebarCapacity.h"
#include "views/shell/sidebar/SidebarCurrentView.h"
#include "views/shell/sidebar/SidebarFileTypes.h"
#include "views/shell/sidebar/SidebarQuickWins.h"
#include "views/shell/sidebar/SidebarScanActions.h"

#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tallymere {

namespace {
constexpr int padding = 13;
constexpr int sectionSpacing = 16;
constexpr int bottomSpace = 8;
} // namespace

SidebarView::SidebarView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      // A column taller than the window scrolls by the wheel and the keyboard, with no bar.
      m_scroll(ListScroll::make(nullptr, this, ListScroll::Bar::hidden)) {
    // It fills itself with the background: the window need not paint beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(sectionSpacing);
    m_scan = new SidebarScanActions(state, content);
    m_capacity = new SidebarCapacity(state, content);
    m_treeSections = new QWidget(content);
    auto* treeColumn = new QVBoxLayout(m_treeSections);
    treeColumn->setContentsMargins(0, 0, 0, 0);
    treeColumn->setSpacing(sectionSpacing);
    m_current = new SidebarCurrentView(state, m_treeSections);
    m_quickWins = new SidebarQuickWins(state, m_treeSections);
    m_fileTypes = new SidebarFileTypes(state, m_treeSections);
    treeColumn->addWidget(m_current);
    treeColumn->addWidget(m_quickWins);
    treeColumn->addWidget(m_fileTypes);
    column->addWidget(m_scan);
    column->addWidget(m_capacity);
    column->addWidget(m_treeSections);
    // A flexible space, at least 8, closes the column.
    column->addItem(new QSpacerItem(0, bottomSpace, QSizePolicy::Minimum, QSizePolicy::Expanding));
    m_scroll->setWidget(content);
    // The column's own background shows through; the scroll area would paint the widget style's.
    content->setAutoFillBackground(false);

    auto follow = [this] { m_treeSections->setVisible(bool(m_state.displayRoot())); };
    connect(&m_state, &AppState::displayRootChanged, this, follow);
    follow();
}

void SidebarView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    m_scroll->setGeometry(rect());
}

void SidebarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), theme().background);
}

} // namespace tallymere
