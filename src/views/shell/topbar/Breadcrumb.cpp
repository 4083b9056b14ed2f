#include "views/shell/topbar/Breadcrumb.h"

#include "platform/UserFolders.h"
#include "state/ScanTarget.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QToolTip>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace tallymere {

namespace {

constexpr double spacing = 3;
constexpr double backSize = 22, backRadius = 7, backSymbol = 11;
constexpr double crumbSpacing = 2, crumbPadX = 5, crumbPadY = 3, crumbRadius = 6;
constexpr double separatorSymbol = 8;

QFont crumbFont(bool last) { return Typography::font(11.5, last ? QFont::DemiBold : QFont::Normal); }
double separatorWidth() { return SymbolImage::size(separatorSymbol).width(); }

} // namespace

Breadcrumb::Breadcrumb(AppState& state, QWidget* parent) : ThemedWidget(parent), m_state(state) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    for (auto signal : {&AppState::focusChanged, &AppState::displayRootChanged})
        connect(&m_state, signal, this, &Breadcrumb::refresh);
    refresh();
}

QString Breadcrumb::rootLabel(const FileNode& node) {
    const std::string path = node.path();
    if (path == "/") return QStringLiteral("Macintosh HD");
    if (path == UserFolders::home()) return QStringLiteral("Home");
    return TextDraw::oneLine(QString::fromStdString(lastPathComponentText(path)));
}

void Breadcrumb::refresh() {
    m_crumbs.clear();
    const std::vector<AppState::NodePtr> chain = m_state.focusChain();
    for (std::size_t i = 0; i < chain.size(); ++i) {
        Crumb crumb;
        crumb.node = chain[i];
        crumb.last = i + 1 == chain.size();
        crumb.title = i == 0 ? rootLabel(*chain[i]) : TextDraw::oneLine(chain[i]->name());
        crumb.width = std::ceil(QFontMetricsF(crumbFont(crumb.last)).horizontalAdvance(crumb.title) + 2 * crumbPadX);
        m_crumbs.push_back(std::move(crumb));
    }
    updateGeometry();
    clampScroll();
    update();
}

bool Breadcrumb::canGoBack() const {
    const AppState::NodePtr& focus = m_state.focus();
    return focus && focus->parent;
}

QStringList Breadcrumb::crumbTitles() const {
    QStringList titles;
    for (const Crumb& crumb : m_crumbs) titles << crumb.title;
    return titles;
}

double Breadcrumb::contentWidth() const {
    double width = 0;
    for (std::size_t i = 0; i < m_crumbs.size(); ++i) {
        if (i > 0) width += crumbSpacing + separatorWidth() + crumbSpacing;
        width += m_crumbs[i].width;
    }
    return width;
}

double Breadcrumb::idealWidth() const { return std::min(contentWidth(), maxStripWidth); }

QSize Breadcrumb::sizeHint() const {
    return {int(std::ceil(backSize + spacing + idealWidth())), int(backSize)};
}

QSize Breadcrumb::minimumSizeHint() const { return {int(backSize), int(backSize)}; }

QRectF Breadcrumb::stripRect() const {
    const double left = backSize + spacing;
    return QRectF(left, 0, std::max(0.0, std::min(width() - left, maxStripWidth)), height());
}

std::vector<QRectF> Breadcrumb::crumbRects() const {
    std::vector<QRectF> rects;
    const QRectF strip = stripRect();
    const double crumbHeight = std::ceil(QFontMetricsF(crumbFont(true)).height() + 2 * crumbPadY);
    double x = strip.left() - m_scroll;
    for (std::size_t i = 0; i < m_crumbs.size(); ++i) {
        if (i > 0) x += crumbSpacing + separatorWidth() + crumbSpacing;
        rects.emplace_back(x, height() / 2.0 - crumbHeight / 2, m_crumbs[i].width, crumbHeight);
        x += m_crumbs[i].width;
    }
    return rects;
}

void Breadcrumb::clampScroll() {
    m_scroll = std::clamp(m_scroll, 0.0, std::max(0.0, contentWidth() - stripRect().width()));
}

void Breadcrumb::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    m_back = QRectF(0, height() / 2.0 - backSize / 2, backSize, backSize);
    clampScroll();
}

int Breadcrumb::crumbAt(QPointF point) const {
    if (!stripRect().contains(point)) return -2;
    const std::vector<QRectF> rects = crumbRects();
    for (std::size_t i = 0; i < rects.size(); ++i)
        if (rects[i].contains(point)) return int(i);
    return -2;
}

void Breadcrumb::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Theme& t = theme();

    painter.save();
    painter.setOpacity(canGoBack() ? (m_pressed == -1 ? 0.7 : 1.0) : 0.35);
    ShapePaint::fillRounded(painter, m_back, backRadius, t.surface);
    ShapePaint::strokeInside(painter, m_back, backRadius, t.stroke);
    SymbolImage::draw(painter, m_back, "chevron.left", backSymbol, QFont::Bold, t.textSecondary);
    painter.restore();

    const QRectF strip = stripRect();
    painter.setClipRect(strip);
    const std::vector<QRectF> rects = crumbRects();
    const QSizeF separator = SymbolImage::size(separatorSymbol);
    for (std::size_t i = 0; i < m_crumbs.size(); ++i) {
        const Crumb& crumb = m_crumbs[i];
        const QRectF& r = rects[i];
        if (i > 0) {
            const QRectF chevron(QPointF(r.left() - crumbSpacing - separator.width(), height() / 2.0 - separator.height() / 2),
                                 separator);
            SymbolImage::draw(painter, chevron, "chevron.right", separatorSymbol, QFont::Bold,
                              ShapePaint::withOpacity(t.textTertiary, 0.7));
        }
        if (crumb.last) ShapePaint::fillRounded(painter, r, crumbRadius, t.surfaceRaised);
        painter.save();
        if (m_pressed == int(i)) painter.setOpacity(0.7);
        painter.setFont(crumbFont(crumb.last));
        painter.setPen(crumb.last ? t.text : t.textSecondary);
        painter.drawText(r, Qt::AlignCenter, crumb.title);
        painter.restore();
    }
}

bool Breadcrumb::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (m_back.contains(help->pos())) QToolTip::showText(help->globalPos(), QStringLiteral("Back to parent folder"), this);
        else QToolTip::hideText();
        return true;
    }
    return ThemedWidget::event(event);
}

void Breadcrumb::mousePressEvent(QMouseEvent* event) {
    m_pressed = -2;
    if (event->button() == Qt::LeftButton) {
        if (m_back.contains(event->position()) && canGoBack()) m_pressed = -1;
        else m_pressed = crumbAt(event->position());
    }
    update();
    event->accept();
}

void Breadcrumb::mouseReleaseEvent(QMouseEvent* event) {
    const int pressed = m_pressed;
    m_pressed = -2;
    update();
    if (pressed == -1 && m_back.contains(event->position())) {
        m_state.navigateUp();
    } else if (pressed >= 0 && crumbAt(event->position()) == pressed && std::size_t(pressed) < m_crumbs.size()) {
        // Holding the node keeps it alive even if the click changes the chain.
        AppState::NodePtr node = m_crumbs[std::size_t(pressed)].node;
        m_state.setFocus(std::move(node));
    }
}

void Breadcrumb::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const double step = (delta.x() != 0 ? delta.x() : delta.y()) / 120.0 * 40;
    m_scroll -= step;
    clampScroll();
    update();
    event->accept();
}

} // namespace tallymere
