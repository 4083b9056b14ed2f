#include "views/shell/ToolTabs.h"

#include "state/AppState.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/ThemedWidget.h"
#include "views/tools/applications/ApplicationsView.h"
#include "views/tools/duplicates/DuplicatesView.h"
#include "views/tools/monitor/MonitorView.h"
#include "views/tools/snapshots/SnapshotsView.h"

#include <QFontMetricsF>
#include <QPainter>

namespace tallymere {

namespace {

// The pane of a tool whose view is not part of this build: the tab's symbol and title, quietly.
class ToolPlace : public ThemedWidget {
public:
    ToolPlace(WorkspaceTab tab, QWidget* parent) : ThemedWidget(parent), m_tab(tab) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QFont font = Typography::font(15, QFont::DemiBold);
        const QFontMetricsF metrics(font);
        const QSizeF symbol = SymbolImage::size(28);
        const QPointF centre = QRectF(rect()).center();
        SymbolImage::draw(painter, QRectF(QPointF(centre.x() - symbol.width() / 2, centre.y() - symbol.height() - 4), symbol),
                          WorkspaceTabs::symbol(m_tab), 28, QFont::Normal, theme().textTertiary);
        painter.setFont(font);
        painter.setPen(theme().textTertiary);
        painter.drawText(QRectF(0, centre.y() + 4, width(), metrics.height()), Qt::AlignHCenter | Qt::AlignTop,
                         QString::fromLatin1(WorkspaceTabs::title(m_tab).data()));
    }

private:
    WorkspaceTab m_tab;
};

} // namespace

QWidget* makeToolTab(WorkspaceTab tab, AppState& state, QWidget* parent) {
    switch (tab) {
    case WorkspaceTab::explore: return new ThemedWidget(parent);
    case WorkspaceTab::duplicates: return new DuplicatesView(state, parent);
    case WorkspaceTab::monitor: return new MonitorView(state, parent);
    case WorkspaceTab::snapshots: return new SnapshotsView(state, parent);
    case WorkspaceTab::apps: return new ApplicationsView(state, parent);
    }
    return new ThemedWidget(parent);
}

} // namespace tallymere
