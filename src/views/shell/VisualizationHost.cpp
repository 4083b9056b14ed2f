#include "views/shell/VisualizationHost.h"

#include "state/AppState.h"
#include "views/components/ShapePaint.h"
#include "views/shell/HoverReadout.h"
#include "views/shell/VisualizationFactory.h"

#include <QPainter>
#include <QResizeEvent>

namespace tallymere {

VisualizationHost::VisualizationHost(AppState& state, QWidget* parent) : ThemedWidget(parent), m_state(state) {
    m_readout = new HoverReadout(this);
    m_readout->hide();
    makeView();
    connect(&m_state, &AppState::vizChanged, this, [this] {
        makeView();
        refreshReadout();
    });
    for (auto signal : {&AppState::hoveredChanged, &AppState::useAllocatedSizeChanged, &AppState::displayRootChanged})
        connect(&m_state, signal, this, &VisualizationHost::refreshReadout);
    refreshReadout();
}

bool VisualizationHost::wantsHoverReadout(VizMode mode) {
    switch (mode) {
    case VizMode::treemap:
    case VizMode::sunburst:
    case VizMode::icicle:
    case VizMode::pack:
    case VizMode::mindmap: return true;
    case VizMode::folders:
    case VizMode::table:
    case VizMode::bars:
    case VizMode::calendar: return false;
    }
    return false;
}

void VisualizationHost::makeView() {
    if (m_view) {
        // The old view may be the one whose event led here: let it finish before it goes.
        m_view->hide();
        m_view->setParent(nullptr);
        m_view->deleteLater();
    }
    m_view = makeVisualization(m_state.viz(), m_state, this);
    m_view->setGeometry(rect());
    m_view->show();
    m_readout->raise();
}

void VisualizationHost::refreshReadout() {
    const AppState::NodePtr& node = m_state.hovered();
    if (!wantsHoverReadout(m_state.viz()) || !node) {
        m_readout->hide();
        m_readout->setNode({}, false, 0, 0);
        return;
    }
    m_readout->setNode(node, m_state.useAllocatedSize(), m_state.share(node.get()),
                       std::max(0.0, width() - 2 * readoutInset));
    placeReadout();
    m_readout->show();
    m_readout->raise();
}

void VisualizationHost::placeReadout() {
    const QRectF card = m_readout->cardRect();
    m_readout->move(int(std::lround(readoutInset - card.left())),
                    int(std::lround(height() - readoutInset - card.bottom())));
}

void VisualizationHost::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    if (m_view) m_view->setGeometry(rect());
    if (m_readout->isVisible()) refreshReadout();
}

void VisualizationHost::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ShapePaint::withOpacity(theme().background, 0.5));
}

} // namespace tallymere
