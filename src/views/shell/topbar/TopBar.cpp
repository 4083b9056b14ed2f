#include "views/shell/topbar/TopBar.h"

#include "state/AppState.h"
#include "style/Motion.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/FocusChain.h"
#include "views/components/KeptText.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/IconToggle.h"
#include "views/components/controls/KeyStop.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/shell/topbar/Breadcrumb.h"
#include "views/shell/topbar/FilterField.h"
#include "views/shell/topbar/ThemeMenuButton.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace tallymere {

namespace {

constexpr double paddingX = 14, paddingY = 9, spacing = 12, trailingSpacing = 8;
constexpr double tabSpacing = 2, tabPadX = 9, tabPadY = 5.5, tabContentSpacing = 5, tabSymbolSize = 11;
constexpr int tabAnimationMs = 160;

QFont tabFont() { return Typography::font(11.5, QFont::DemiBold); }
QString tabTitle(WorkspaceTab tab) { return QString::fromLatin1(WorkspaceTabs::title(tab).data()); }
int indexOf(WorkspaceTab tab) { return static_cast<int>(tab); }

double tabHeight() {
    return std::ceil(2 * tabPadY + std::max(SymbolImage::size(tabSymbolSize).height(), QFontMetricsF(tabFont()).height()));
}

} // namespace

TopBar::TopBar(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_fromTab(state.tab()), m_toTab(state.tab()),
      m_tabAnimation(new QVariantAnimation(this)), m_tabStop(new KeyStop({}, this)),
      m_breadcrumb(new Breadcrumb(state, this)),
      m_filter(new FilterField(state, this)),
      m_labels(new IconToggle("textformat.size.smaller", QStringLiteral("Show labels"), state.showLabels(),
                              [this] { m_state.setShowLabels(!m_state.showLabels()); }, this)),
      m_sizeMode(new IconToggle("internaldrive.fill", QString(), state.useAllocatedSize(),
                                [this] { m_state.setUseAllocatedSize(!m_state.useAllocatedSize()); }, this)),
      m_themeMenu(new ThemeMenuButton(state, this)),
      m_inspector(new IconToggle("sidebar.right", QStringLiteral("Toggle inspector"), true,
                                 [this] { emit inspectorToggled(); }, this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // It fills itself with the background: the window need not paint beneath it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_tabAnimation->setDuration(tabAnimationMs);
    m_tabAnimation->setEasingCurve(Motion::easeOut());
    m_tabAnimation->setStartValue(0.0);
    m_tabAnimation->setEndValue(1.0);
    connect(m_tabAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_tabProgress = value.toDouble();
        update();
    });
    m_tabStop->setObjectName(QStringLiteral("tabs"));
    m_tabStop->setKeyHandler([this](QKeyEvent* event) { return tabKey(event); });
    connect(&m_state, &AppState::tabChanged, this, &TopBar::followTab);
    for (auto signal : {&AppState::tabChanged, &AppState::showLabelsChanged, &AppState::useAllocatedSizeChanged,
                        &AppState::displayRootChanged, &AppState::focusChanged})
        connect(&m_state, signal, this, &TopBar::refresh);
    refresh();
}

void TopBar::setInspectorShown(bool shown) { m_inspector->setOn(shown); }

void TopBar::followTab() {
    const WorkspaceTab tab = m_state.tab();
    if (tab == m_toTab) return;
    m_fromTab = m_toTab;
    m_toTab = tab;
    m_tabProgress = 0;
    m_tabAnimation->stop();
    m_tabAnimation->start();
}

void TopBar::finishAnimations() {
    m_tabAnimation->stop();
    m_tabProgress = 1;
    update();
}

double TopBar::tabLit(WorkspaceTab tab) const {
    if (m_fromTab == m_toTab) return tab == m_toTab ? 1.0 : 0.0;
    if (tab == m_toTab) return m_tabProgress;
    if (tab == m_fromTab) return 1.0 - m_tabProgress;
    return 0.0;
}

QRectF TopBar::tabRect(WorkspaceTab tab) const {
    const std::size_t i = std::size_t(indexOf(tab));
    return i < m_tabRects.size() ? m_tabRects[i] : QRectF();
}

void TopBar::refresh() {
    const WorkspaceTab tab = m_state.tab();
    const bool explore = tab == WorkspaceTab::explore;
    m_breadcrumb->setVisible(explore && m_state.displayRoot());
    m_filter->setVisible(explore);
    m_labels->setVisible(explore);
    m_sizeMode->setVisible(explore);
    m_inspector->setVisible(explore || tab == WorkspaceTab::duplicates);
    m_labels->setOn(m_state.showLabels());
    const bool allocated = m_state.useAllocatedSize();
    m_sizeMode->setOn(allocated);
    m_sizeMode->setSymbol(allocated ? "internaldrive.fill" : "doc.fill");
    m_sizeMode->setHelp(allocated ? QStringLiteral("Showing size on disk") : QStringLiteral("Showing logical size"));
    relayout();
}

QSize TopBar::sizeHint() const {
    const double content = std::max({tabHeight(), double(IconToggle::frameHeight), double(m_themeMenu->sizeHint().height())});
    return {800, int(std::ceil(content + 2 * paddingY))};
}

void TopBar::relayout() {
    const double middle = height() / 2.0;
    const std::vector<QRectF> tabsBefore = std::move(m_tabRects);
    const QRectF dividerBefore = m_divider;
    m_tabRects.clear();
    const double symbolWidth = SymbolImage::size(tabSymbolSize).width();
    double x = paddingX;
    for (WorkspaceTab tab : WorkspaceTabs::all) {
        const double w = std::ceil(2 * tabPadX + symbolWidth + tabContentSpacing + KeptText::advance(tabFont(), tabTitle(tab)));
        m_tabRects.emplace_back(x, middle - tabHeight() / 2, w, tabHeight());
        x += w + tabSpacing;
    }
    const QRectF tabs = m_tabRects.front().united(m_tabRects.back());
    m_tabStop->place(tabs, ShapePaint::capsuleRadius(tabs));

    // Trailing controls from the right edge inwards.
    double right = width() - paddingX;
    auto place = [&](QWidget* w) {
        if (!w->isVisibleTo(this)) return;
        const QSize size = w->sizeHint();
        right -= size.width();
        w->setGeometry(int(std::lround(right)), int(std::lround(middle - size.height() / 2.0)), size.width(), size.height());
        right -= trailingSpacing;
    };
    place(m_inspector);
    place(m_themeMenu);
    place(m_sizeMode);
    place(m_labels);
    right += trailingSpacing - spacing;
    place(m_filter);

    // The divider and the breadcrumb follow the tabs; the crumbs give way before the filter does.
    m_divider = QRectF();
    if (m_breadcrumb->isVisibleTo(this)) {
        x += spacing - tabSpacing;
        m_divider = QRectF(x, middle - 10, 1, 20);
        x += 1 + spacing;
        const double minimumGap = 8;
        const double room = right + trailingSpacing - spacing - minimumGap - spacing - x;
        const double width = std::max(0.0, std::min(double(m_breadcrumb->sizeHint().width()), room));
        const int height = m_breadcrumb->sizeHint().height();
        m_breadcrumb->setGeometry(int(std::lround(x)), int(std::lround(middle - height / 2.0)), int(width), height);
    }
    // The bar itself draws the tabs and the divider; its controls repaint themselves when they move.
    if (m_tabRects != tabsBefore || m_divider != dividerBefore) update();
}

bool TopBar::event(QEvent* event) {
    // The breadcrumb asks for room again whenever the focus chain changes.
    if (event->type() == QEvent::LayoutRequest) relayout();
    return ThemedWidget::event(event);
}

void TopBar::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    relayout();
}

void TopBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Theme& t = theme();
    // Whole device pixels: where the window ends inside a pixel (at 125%, 150% or 175% display
    // scaling) an anti-aliased fill would blend that last pixel with whatever the window held
    // there before, as nothing paints beneath the bar.
    painter.fillRect(rect(), t.background);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (!m_divider.isNull()) painter.fillRect(m_divider, t.stroke);

    const QSizeF symbol = SymbolImage::size(tabSymbolSize);
    painter.setFont(tabFont());
    for (WorkspaceTab tab : WorkspaceTabs::all) {
        const QRectF r = tabRect(tab);
        const double lit = tabLit(tab);
        ShapePaint::fillRounded(painter, r, ShapePaint::capsuleRadius(r), ShapePaint::withOpacity(t.accent, lit));
        const QColor ink = ColorRules::mix(t.textSecondary, t.onAccent(), lit);
        painter.save();
        if (m_pressedTab == indexOf(tab)) painter.setOpacity(0.7);
        const QRectF icon(QPointF(r.left() + tabPadX, r.center().y() - symbol.height() / 2), symbol);
        SymbolImage::draw(painter, icon, WorkspaceTabs::symbol(tab), tabSymbolSize, QFont::DemiBold, ink);
        painter.setPen(ink);
        KeptText::draw(painter, QRectF(icon.right() + tabContentSpacing, r.top(), r.right() - icon.right(), r.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, tabTitle(tab));
        painter.restore();
    }
}

void TopBar::mousePressEvent(QMouseEvent* event) {
    m_pressedTab = -1;
    if (event->button() == Qt::LeftButton)
        for (WorkspaceTab tab : WorkspaceTabs::all)
            if (tabRect(tab).contains(event->position())) m_pressedTab = indexOf(tab);
    if (m_pressedTab < 0) {
        // The bar's background belongs to the window, which moves on a press there.
        event->ignore();
        return;
    }
    // A click leaves the keyboard with the tabs, unringed, for the arrows to go on from there.
    m_tabStop->setFocus(Qt::MouseFocusReason);
    FocusRing::setShown(m_tabStop, false);
    update();
    event->accept();
}

bool TopBar::tabKey(QKeyEvent* event) {
    if (event->modifiers() & ~Qt::KeypadModifier) return false;
    const int current = indexOf(m_state.tab());
    const int index = FocusChain::segmentFor(event->key(), current, int(WorkspaceTabs::all.size()));
    if (index < 0) return false;
    if (index != current) m_state.setTab(WorkspaceTabs::all[std::size_t(index)]);
    return true;
}

void TopBar::mouseReleaseEvent(QMouseEvent* event) {
    const int pressed = m_pressedTab;
    m_pressedTab = -1;
    if (pressed < 0) return;
    update();
    const WorkspaceTab tab = WorkspaceTabs::all[std::size_t(pressed)];
    if (tabRect(tab).contains(event->position())) m_state.setTab(tab);
}

} // namespace tallymere
