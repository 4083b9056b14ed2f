#include "views/shell/VisualizationHost.h"

#include "state/AppState.h"
#include "style/Motion.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/KeyboardHome.h"
#include "views/explore/agemap/AgeMapStore.h"
#include "views/shell/HoverReadout.h"
#include "views/shell/VisualizationFactory.h"
#include "views/viz/PackView.h"

#include <QDateTime>
#include <QPainter>
#include <QResizeEvent>
#include <QVariantAnimation>

#include <cmath>

namespace tallymere {

VisualizationHost::VisualizationHost(AppState& state, QWidget* parent) : ThemedWidget(parent), m_state(state) {
    // The host paints every pixel it covers, so nothing beneath it is painted when a view repaints.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_readout = new HoverReadout(this);
    m_readout->hide();
    m_fade = new QVariantAnimation(this);
    m_fade->setEasingCurve(Motion::easeOut());
    connect(m_fade, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { m_readout->setOpacity(value.toDouble()); });
    connect(m_fade, &QVariantAnimation::finished, this, [this] {
        if (m_fade->endValue().toDouble() > 0) return;
        m_readout->hide();
        m_readout->setNode({}, false, 0, 0);
    });
    makeView();
    connect(&m_state, &AppState::vizChanged, this, [this] {
        makeView();
        refreshReadout();
    });
    for (auto signal : {&AppState::hoveredChanged, &AppState::useAllocatedSizeChanged, &AppState::displayRootChanged})
        connect(&m_state, signal, this, &VisualizationHost::refreshReadout);
    // A tree just displayed is what the Age Map shows first when it is opened: its walk, the
    // longest of all, is made ahead on a thread of idle priority (the Age Map on show walks it now).
    const auto prefetchAgeMap = [this] {
        if (m_state.viz() == VizMode::calendar) return;
        const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
        AgeMapStore::prefetchShown(m_state.displayRoot(), m_state.useAllocatedSize(), now);
    };
    connect(&m_state, &AppState::displayRootChanged, this, prefetchAgeMap);
    // The host is made once a tree is displayed.
    prefetchAgeMap();
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

void VisualizationHost::forgetKept() {
    AgeMapStore::forget();
    PackView::forgetKeptGroups();
}

void VisualizationHost::makeView() {
    if (m_view) {
        // The old view may be the one whose event led here: let it finish before it goes.
        KeyboardHome::takeBackFrom(m_view);
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
    if (!wantsHoverReadout(m_state.viz())) {
        // A list shows no readout at all: it goes at once, without a fade.
        m_fade->stop();
        m_readout->hide();
        m_readout->setNode({}, false, 0, 0);
        return;
    }
    if (!node) {
        // The card keeps its last node while it fades away.
        if (m_readout->isVisible()) fadeReadout(0);
        return;
    }
    const bool arriving = m_readout->isHidden() || m_fade->endValue().toDouble() == 0;
    m_readout->setNode(node, m_state.useAllocatedSize(), m_state.share(node.get()),
                       std::max(0.0, width() - 2 * readoutInset));
    placeReadout();
    if (m_readout->isHidden()) m_readout->setOpacity(0);
    m_readout->show();
    m_readout->raise();
    // Moving from node to node changes the texts in place; only coming back fades.
    if (arriving) fadeReadout(1);
}

void VisualizationHost::fadeReadout(double to) {
    // From wherever a fade in the other direction left it, at the same pace.
    const double from = m_readout->opacity();
    m_fade->stop();
    m_fade->setStartValue(from);
    m_fade->setEndValue(to);
    m_fade->setDuration(std::max(1, int(std::lround(readoutFadeMs * std::abs(to - from)))));
    m_fade->start();
}

void VisualizationHost::placeReadout() {
    const QRectF card = m_readout->cardRect();
    m_readout->move(int(std::lround(readoutInset - card.left())),
                    int(std::lround(height() - readoutInset - card.bottom())));
}

void VisualizationHost::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    if (m_view) m_view->setGeometry(rect());
    if (m_readout->isVisible() && m_state.hovered()) refreshReadout();
    else if (m_readout->isVisible()) placeReadout();
}

void VisualizationHost::paintEvent(QPaintEvent*) {
    // The workspace's background, opaque: the same colour a wash of it gave over that background.
    QPainter painter(this);
    painter.fillRect(rect(), theme().background);
}

} // namespace tallymere
