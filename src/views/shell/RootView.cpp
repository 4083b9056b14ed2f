#include "views/shell/RootView.h"

#include "state/AppState.h"
#include "style/Motion.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/FocusChain.h"
#include "views/components/ThemedWidget.h"
#include "views/shell/BannerView.h"
#include "views/shell/cleanup/CleanupBar.h"
#include "views/shell/inspector/InspectorView.h"
#include "views/components/TextDraw.h"
#include "views/shell/sidebar/SidebarView.h"
#include "views/shell/topbar/TopBar.h"
#include "views/shell/WorkspaceView.h"

#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tallymere {

namespace {

constexpr int inspectorMs = 200;
constexpr int bannerMs = 250;
// The cleanup bar's spring: response 0.34 s, damping fraction 0.86; by 0.8 s it has settled.
constexpr double springResponse = 0.34;
constexpr double springDamping = 0.86;
constexpr int springMs = 800;

double springPosition(double seconds) {
    if (seconds <= 0) return 0.0;
    const double omega = 2.0 * std::numbers::pi / springResponse;
    const double decay = springDamping * omega;
    const double omegaD = omega * std::sqrt(1.0 - springDamping * springDamping);
    return 1.0 - std::exp(-decay * seconds) * (std::cos(omegaD * seconds) + decay / omegaD * std::sin(omegaD * seconds));
}

// Runs `animation` from `from` to `to`: its value walks 0 to 1 and `shape` bends that walk.
void run(QVariantAnimation* animation, double& value, double to, int ms) {
    animation->stop();
    animation->setProperty("from", value);
    animation->setProperty("to", to);
    animation->setDuration(ms);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    if (ms <= 0 || value == to) {
        value = to;
        return;
    }
    animation->start();
}

} // namespace

RootView::RootView(AppState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_topBar(new TopBar(state, this)), m_sidebar(new SidebarView(state, this)),
      m_column(new QWidget(this)), m_workspace(new WorkspaceView(state, m_column)), m_banner(new BannerView(m_column)),
      m_inspector(new InspectorView(state, this)), m_cleanupBar(new CleanupBar(state, this)),
      m_inspectorAnimation(new QVariantAnimation(this)), m_barAnimation(new QVariantAnimation(this)),
      m_bannerAnimation(new QVariantAnimation(this)) {
    setMinimumSize(minimumWidth, minimumHeight);
    // The window itself holds the keyboard when it opens, so the caret does not wait in the name
    // filter; it is no stop of Tab, which goes round the controls, each ringed when Tab reaches it.
    setFocusPolicy(Qt::ClickFocus);
    setFocus(Qt::OtherFocusReason);
    m_banner->hide();
    m_banner->setDismiss([this] { m_state.setBanner(std::nullopt); });
    // There is no settings page that grants read access here; the store explains what it takes.
    m_banner->setGrantAccess([this] { m_state.explainFullDiskAccess(); });

    auto bend = [this](QVariantAnimation* animation, double& value, auto shape) {
        connect(animation, &QVariantAnimation::valueChanged, this, [this, animation, &value, shape](const QVariant& v) {
            const double from = animation->property("from").toDouble(), to = animation->property("to").toDouble();
            value = from + (to - from) * shape(v.toDouble(), animation->duration());
            relayout();
        });
    };
    const QEasingCurve easeOut = Motion::easeOut();
    bend(m_inspectorAnimation, m_inspectorIn, [easeOut](double t, int) { return easeOut.valueForProgress(t); });
    bend(m_bannerAnimation, m_bannerIn, [easeOut](double t, int) { return easeOut.valueForProgress(t); });
    bend(m_barAnimation, m_barIn, [](double t, int ms) { return t >= 1 ? 1.0 : springPosition(t * ms / 1000.0); });
    connect(m_bannerAnimation, &QVariantAnimation::finished, this, [this] {
        if (!m_state.banner()) m_banner->hide();
    });

    connect(m_topBar, &TopBar::inspectorToggled, this, [this] { setShowInspector(!m_showInspector); });
    connect(&m_state, &AppState::themeIDChanged, this, &RootView::applyTheme);
    connect(&m_state, &AppState::tabChanged, this, [this] { followInspector(true); });
    connect(&m_state, &AppState::displayRootChanged, this, [this] { followInspector(false); });
    connect(&m_state, &AppState::queueChanged, this, &RootView::followQueue);
    connect(m_cleanupBar, &CleanupBar::heightChanged, this, &RootView::relayout);
    connect(&m_state, &AppState::bannerChanged, this, &RootView::followBanner);

    applyTheme();
    m_inspectorIn = m_showInspector && inspectorApplies() ? 1 : 0;
    m_barIn = m_state.queue().empty() ? 0 : 1;
    followBanner();
    finishAnimations();
}

void RootView::applyTheme() {
    m_theme = Theme::make(m_state.themeID());
    ThemedWidget::applyTheme(this, m_theme);
    update();
}

bool RootView::inspectorApplies() const {
    const WorkspaceTab tab = m_state.tab();
    return m_state.displayRoot() && (tab == WorkspaceTab::explore || tab == WorkspaceTab::duplicates);
}

void RootView::setShowInspector(bool show) {
    if (show == m_showInspector) return;
    m_showInspector = show;
    m_topBar->setInspectorShown(show);
    followInspector(true);
}

void RootView::followInspector(bool animated) {
    const double target = m_showInspector && inspectorApplies() ? 1 : 0;
    if (m_inspectorAnimation->state() == QAbstractAnimation::Running &&
        m_inspectorAnimation->property("to").toDouble() == target)
        return;
    run(m_inspectorAnimation, m_inspectorIn, target, animated ? inspectorMs : 0);
    relayout();
}

void RootView::followQueue() {
    const double target = m_state.queue().empty() ? 0 : 1;
    if (m_barAnimation->state() == QAbstractAnimation::Running) {
        if (m_barAnimation->property("to").toDouble() == target) return;
    } else if (m_barIn == target) {
        return;
    }
    run(m_barAnimation, m_barIn, target, springMs);
    relayout();
}

void RootView::followBanner() {
    const auto& banner = m_state.banner();
    if (banner) {
        // A replacement takes the place of the banner shown; only an arrival rises in.
        const bool arriving = m_banner->isHidden() || (m_bannerAnimation->state() == QAbstractAnimation::Running &&
                                                       m_bannerAnimation->property("to").toDouble() == 0);
        AppState::Banner shown = *banner;
        shown.title = TextDraw::oneLine(shown.title);
        if (shown.detail) shown.detail = TextDraw::oneLine(*shown.detail);
        m_banner->setBanner(shown);
        m_banner->show();
        m_banner->raise();
        if (arriving) run(m_bannerAnimation, m_bannerIn, 1, bannerMs);
    } else if (!m_banner->isHidden()) {
        run(m_bannerAnimation, m_bannerIn, 0, bannerMs);
        if (m_bannerIn == 0) m_banner->hide();
    }
    relayout();
}

void RootView::finishAnimations() {
    for (auto [animation, value] : {std::pair{m_inspectorAnimation, &m_inspectorIn}, {m_barAnimation, &m_barIn},
                                    {m_bannerAnimation, &m_bannerIn}}) {
        if (animation->state() != QAbstractAnimation::Running) continue;
        animation->stop();
        *value = animation->property("to").toDouble();
    }
    if (!m_state.banner()) m_banner->hide();
    m_workspace->finishAnimations();
    relayout();
}

QRect RootView::columnRect() const { return m_column->geometry(); }

QRect RootView::bannerRect() const {
    if (m_banner->isHidden()) return {};
    return m_banner->geometry().translated(m_column->pos());
}

void RootView::relayout() {
    const int w = width(), h = height();
    const int top = m_topBar->sizeHint().height();
    m_topBar->setGeometry(0, 0, w, top);
    const int rowTop = top + 1;

    const int barHeight = std::max(m_cleanupBar->sizeHint().height(), m_cleanupBar->minimumHeight());
    const int barSpace = int(std::lround((barHeight + 1) * std::max(m_barIn, 0.0)));
    const int rowBottom = h - barSpace;
    const int rowHeight = std::max(rowBottom - rowTop, 0);
    m_cleanupBar->setVisible(m_barIn > 0.001);
    m_cleanupBar->setGeometry(0, rowBottom + 1, w, barHeight);
    // The bar fades as it moves; at rest it draws without the cost of an effect.
    const double barOpacity = std::clamp(m_barIn, 0.0, 1.0);
    if (barOpacity > 0.001 && barOpacity < 0.999) {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_cleanupBar->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(m_cleanupBar);
            m_cleanupBar->setGraphicsEffect(effect);
        }
        effect->setOpacity(barOpacity);
    } else if (m_cleanupBar->graphicsEffect()) {
        m_cleanupBar->setGraphicsEffect(nullptr);
    }

    m_sidebar->setGeometry(0, rowTop, sidebarWidth, rowHeight);
    const int inspectorSpace = int(std::lround((inspectorWidth + 1) * std::clamp(m_inspectorIn, 0.0, 1.0)));
    const int columnLeft = sidebarWidth + 1;
    const int columnRight = w - inspectorSpace;
    m_column->setGeometry(columnLeft, rowTop, std::max(columnRight - columnLeft, 0), rowHeight);
    m_workspace->setGeometry(0, 0, m_column->width(), m_column->height());
    m_inspector->setVisible(m_inspectorIn > 0.001);
    // The inspector slides in from the trailing edge at its full width; the window clips the rest.
    m_inspector->setGeometry(columnRight + 1, rowTop, inspectorWidth, rowHeight);

    if (!m_banner->isHidden()) {
        const int cardWidth = std::min(int(BannerView::maxCardWidth), m_column->width());
        const int cardHeight = int(std::ceil(m_banner->cardHeight(cardWidth)));
        const int restingTop = m_column->height() - bannerMargin - cardHeight;
        // Arriving and leaving, the banner moves over the column's whole height and fades.
        const double travel = (1.0 - std::clamp(m_bannerIn, 0.0, 1.0)) * m_column->height();
        m_banner->setGeometry((m_column->width() - cardWidth) / 2, int(std::lround(restingTop + travel)), cardWidth,
                              cardHeight);
        m_banner->setOpacity(m_bannerIn);
    }
    update();
}

void RootView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void RootView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_theme.background);
    // The dividers are the one-pixel gaps between the panes.
    const QColor stroke = m_theme.stroke;
    const int top = m_topBar->height();
    painter.fillRect(QRect(0, top, width(), 1), stroke);
    const QRect column = m_column->geometry();
    painter.fillRect(QRect(sidebarWidth, column.top(), 1, column.height()), stroke);
    if (m_inspector->isVisible())
        painter.fillRect(QRectF(column.right() + 1, column.top(), 1, column.height()),
                         ShapePaint::withOpacity(stroke, std::clamp(m_inspectorIn, 0.0, 1.0)));
    if (m_cleanupBar->isVisible())
        painter.fillRect(QRectF(0, column.bottom() + 1, width(), 1),
                         ShapePaint::withOpacity(stroke, std::clamp(m_barIn, 0.0, 1.0)));
}

void RootView::mousePressEvent(QMouseEvent* event) {
    // Presses no pane took belong to the window, which moves on a press on its background.
    event->ignore();
}

void RootView::keyPressEvent(QKeyEvent* event) {
    // The context-menu key, or Shift+F10, opens the menu of the control holding the keyboard.
    const bool menuKey = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if ((menuKey || shiftF10) && FocusChain::openContextMenu()) return event->accept();
    QWidget::keyPressEvent(event);
}

bool RootView::focusNextPrevChild(bool next) { return FocusChain::step(this, next); }

} // namespace tallymere
