#include "views/explore/folders/FoldersView.h"

#include "views/explore/folders/FolderPage.h"
#include "views/components/controls/ListScroll.h"

#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tallymere {

FoldersView::FoldersView(AppState& state, QWidget* parent) : FoldersView(state, defaultLimit, defaultLimit, parent) {}

FoldersView::FoldersView(AppState& state, int maxFolders, int maxFiles, QWidget* parent)
    : ThemedWidget(parent), m_scroll(new QScrollArea(this)), m_page(new FolderPage(state, maxFolders, maxFiles)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    m_scroll->setFrameShape(QFrame::NoFrame);
    ListScroll::style(m_scroll);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The page lays itself out for the viewport's width; its height follows from that.
    m_scroll->setWidgetResizable(false);
    m_scroll->setWidget(m_page);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_page->setAutoFillBackground(false);
    m_scroll->viewport()->installEventFilter(this);
    connect(m_page, &FolderPage::folderChanged, this, [this] { m_scroll->verticalScrollBar()->setValue(0); });
}

bool FoldersView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize)
        m_page->setPageWidth(m_scroll->viewport()->width());
    return ThemedWidget::eventFilter(watched, event);
}

} // namespace tallymere
