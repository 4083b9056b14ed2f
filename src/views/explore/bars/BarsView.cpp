#include "views/explore/bars/BarsView.h"

#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/FocusChain.h"
#include "views/components/TextDraw.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/ListScroll.h"
#include "views/explore/bars/BarsList.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tallymere {

namespace {

QFont buttonFont() { return Typography::font(11.5, QFont::DemiBold); }
QFont countFont() { return Typography::font(10.5, QFont::Normal); }

QString scopeTitle(TopSizesRanking::Scope scope) {
    const std::string_view title = TopSizesRanking::title(scope);
    return QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
}

std::size_t indexOf(TopSizesRanking::Scope scope) { return static_cast<std::size_t>(scope); }

} // namespace

double BarsView::headerHeight() {
    const double button = QFontMetricsF(buttonFont()).height() + 2 * buttonInsetY;
    return std::ceil(button + 2 * switcherPadding + 2 * headerInsetY);
}

BarsView::BarsView(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_list(new BarsList(state)), m_scroll(ListScroll::make(m_list, this, ListScroll::Bar::overInset)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, int(headerHeight()), 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_scroll);
    // The scope switcher is one stop of Tab walked by the arrows, as the colour modes are: Tab and
    // a click give it the keyboard, and the ring round its capsule shows only for the keyboard.
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow(this);

    for (auto signal : {&AppState::focusChanged, &AppState::displayRootChanged, &AppState::useAllocatedSizeChanged})
        connect(&m_state, signal, this, &BarsView::rebuild);
    layoutHeader();
    rebuild();
}

const std::vector<const FileNode*>& BarsView::rows() const { return m_list->rows(); }

void BarsView::setScope(Scope scope) {
    if (scope == m_scope) return;
    m_scope = scope;
    rebuild();
    update();
}

void BarsView::rebuild() {
    AppState::NodePtr shown = m_state.focus() ? m_state.focus() : m_state.displayRoot();
    std::vector<const FileNode*> rows;
    if (shown) rows = TopSizesRanking::rows(*shown, m_scope, m_state.useAllocatedSize());
    const QString countBefore = countText();
    m_list->setRows(std::move(shown), std::move(rows));
    // The header shows the rows only by their number: a new focus with as many rows leaves it be.
    if (countText() != countBefore) update(QRect(0, 0, width(), int(headerHeight())));
}

QString BarsView::countText() const { return QString::number(m_list->rows().size()) + QStringLiteral(" shown"); }

QRectF BarsView::scopeButtonRect(Scope scope) const { return m_buttons[indexOf(scope)]; }

void BarsView::layoutHeader() {
    const QFontMetricsF metrics(buttonFont());
    const double buttonHeight = metrics.height() + 2 * buttonInsetY;
    // In a narrow view the buttons give up some of their side padding, so the switcher and the
    // longest count ("150 shown") both stay whole on the header's line.
    double titles = 0;
    for (Scope scope : TopSizesRanking::scopes) titles += std::ceil(metrics.horizontalAdvance(scopeTitle(scope)));
    const double count = std::ceil(QFontMetricsF(countFont()).horizontalAdvance(QStringLiteral("150 shown")));
    const double buttons = double(std::size(TopSizesRanking::scopes));
    const double room = width() - 2 * headerInsetX - countSpacing - count - 2 * switcherPadding -
                        (buttons - 1) * buttonSpacing - titles;
    const double inset = std::clamp(room / (2 * buttons), leastButtonInsetX, buttonInsetX);
    double x = headerInsetX + switcherPadding;
    const double top = headerInsetY + switcherPadding;
    for (Scope scope : TopSizesRanking::scopes) {
        const double w = std::ceil(metrics.horizontalAdvance(scopeTitle(scope))) + 2 * inset;
        m_buttons[indexOf(scope)] = QRectF(x, top, w, buttonHeight);
        x += w + buttonSpacing;
    }
    m_switcher = QRectF(headerInsetX, headerInsetY, x - buttonSpacing + switcherPadding - headerInsetX,
                        buttonHeight + 2 * switcherPadding);
}

void BarsView::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    layoutHeader();
}

void BarsView::paintEvent(QPaintEvent* event) {
    // Under the rows the view draws nothing: the list repainting there reaches no header.
    if (!event->rect().intersects(QRect(0, 0, width(), int(std::ceil(headerHeight()))))) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Theme& colors = theme();

    const double capsule = ShapePaint::capsuleRadius(m_switcher);
    ShapePaint::fillRounded(painter, m_switcher, capsule, colors.surface);
    ShapePaint::strokeInside(painter, m_switcher, capsule, colors.stroke);
    for (Scope scope : TopSizesRanking::scopes) {
        const QRectF button = scopeButtonRect(scope);
        const bool current = scope == m_scope;
        if (current) ShapePaint::fillRounded(painter, button, ShapePaint::capsuleRadius(button), colors.accent);
        TextDraw::draw(painter, button, scopeTitle(scope),
                       {.font = buttonFont(),
                        .color = current ? colors.onAccent() : colors.textSecondary,
                        .alignment = Qt::AlignCenter});
    }
    if (FocusRing::shown(this)) FocusRing::paint(painter, m_switcher, capsule, colors);

    // The row count at the right end, centred on the switcher's line.
    const double countLeft = m_switcher.right() + countSpacing;
    const QRectF countBox(countLeft, m_switcher.top(), std::max(width() - headerInsetX - countLeft, 0.0),
                          m_switcher.height());
    TextDraw::draw(painter, countBox, countText(),
                   {.font = countFont(), .color = colors.textTertiary, .alignment = Qt::AlignRight | Qt::AlignVCenter});
}

void BarsView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        for (Scope scope : TopSizesRanking::scopes) {
            if (scopeButtonRect(scope).contains(event->position())) {
                setScope(scope);
                return;
            }
        }
    }
    ThemedWidget::mousePressEvent(event);
}

void BarsView::keyPressEvent(QKeyEvent* event) {
    const int current = int(indexOf(m_scope));
    const int index = FocusChain::segmentFor(event->key(), current, int(std::size(TopSizesRanking::scopes)));
    if (index < 0 || (event->modifiers() & ~Qt::KeypadModifier)) return ThemedWidget::keyPressEvent(event);
    setScope(TopSizesRanking::scopes[index]);
    event->accept();
}

} // namespace tallymere
