#include "views/shell/topbar/Breadcrumb.h"

#include "platform/UserFolders.h"
#include "state/ScanTarget.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/FocusChain.h"
#include "views/components/KeptText.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/KeyStop.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLinearGradient>
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

Breadcrumb::Breadcrumb(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_backStop(new KeyStop([this] {
          if (canGoBack()) m_state.navigateUp();
      }, this, parent)),
      m_crumbStop(new KeyStop([this] {
          // Holding the node keeps it alive while the chain changes.
          if (m_cursor < m_crumbs.size()) m_state.setFocus(AppState::NodePtr(m_crumbs[m_cursor].node));
      }, this, parent)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_backStop->setObjectName(QStringLiteral("back"));
    m_crumbStop->setObjectName(QStringLiteral("crumbs"));
    m_crumbStop->setKeyHandler([this](QKeyEvent* event) { return crumbKey(event); });
    for (auto signal : {&AppState::focusChanged, &AppState::displayRootChanged})
        connect(&m_state, signal, this, &Breadcrumb::refresh);
    refresh();
}

QString Breadcrumb::rootLabel(const FileNode& node) {
    const std::string path = node.path();
    if (path == "/") return QStringLiteral("Macintosh HD");
    if (UserFolders::isHome(path)) return QStringLiteral("Home");
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
        crumb.width = std::ceil(KeptText::advance(crumbFont(crumb.last), crumb.title) + 2 * crumbPadX);
        m_crumbs.push_back(std::move(crumb));
    }
    updateGeometry();
    m_atEnd = true;
    clampScroll();
    // At the top of the tree there is nowhere to go back to, and Tab passes the button over.
    m_backStop->setEnabled(canGoBack());
    m_cursor = m_crumbs.empty() ? 0 : m_crumbs.size() - 1;
    placeCrumbStop();
    update();
}

bool Breadcrumb::crumbKey(QKeyEvent* event) {
    const int to = FocusChain::segmentFor(event->key(), int(m_cursor), int(m_crumbs.size()));
    if (to < 0 || (event->modifiers() & ~Qt::KeypadModifier)) return false;
    m_cursor = std::size_t(to);
    // The crumb comes whole into the strip, the last one by keeping the strip at its end.
    const QRectF strip = stripRect();
    const QRectF crumb = crumbRects()[m_cursor];
    if (crumb.left() < strip.left()) m_scroll -= strip.left() - crumb.left();
    else if (crumb.right() > strip.right()) m_scroll += crumb.right() - strip.right();
    m_atEnd = m_cursor + 1 == m_crumbs.size() || m_scroll >= maxScroll() - 0.5;
    clampScroll();
    placeCrumbStop();
    update();
    return true;
}

void Breadcrumb::placeCrumbStop() {
    const std::vector<QRectF> rects = crumbRects();
    const QRectF crumb = m_cursor < rects.size() ? rects[m_cursor].intersected(stripRect()) : QRectF();
    m_crumbStop->place(crumb, crumbRadius);
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

QString Breadcrumb::shownTitle(std::size_t index) const {
    if (index >= m_crumbs.size()) return {};
    const Crumb& crumb = m_crumbs[index];
    const double room = crumbWidth(index) - 2 * crumbPadX;
    if (crumb.width - 2 * crumbPadX <= room) return crumb.title;
    const TextDraw::Style style{.font = crumbFont(crumb.last), .truncation = TextDraw::Truncation::middle};
    const TextDraw::Fitted fitted = TextDraw::fit(crumb.title, style, room);
    return fitted.lines.isEmpty() ? QString() : fitted.lines.front();
}

double Breadcrumb::crumbWidth(std::size_t index) const {
    const Crumb& crumb = m_crumbs[index];
    return crumb.last ? std::min(crumb.width, std::floor(stripRect().width())) : crumb.width;
}

double Breadcrumb::contentWidth(bool laidOut) const {
    double width = 0;
    for (std::size_t i = 0; i < m_crumbs.size(); ++i) {
        if (i > 0) width += crumbSpacing + separatorWidth() + crumbSpacing;
        width += laidOut ? crumbWidth(i) : m_crumbs[i].width;
    }
    return width;
}

// The natural widths: the strip asks for room for the whole chain, never for what it could shorten.
double Breadcrumb::idealWidth() const { return std::min(contentWidth(false), maxStripWidth); }

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
        rects.emplace_back(x, height() / 2.0 - crumbHeight / 2, crumbWidth(i), crumbHeight);
        x += crumbWidth(i);
    }
    return rects;
}

double Breadcrumb::maxScroll() const { return std::max(0.0, contentWidth() - stripRect().width()); }

void Breadcrumb::clampScroll() { m_scroll = m_atEnd ? maxScroll() : std::clamp(m_scroll, 0.0, maxScroll()); }

void Breadcrumb::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    m_back = QRectF(0, height() / 2.0 - backSize / 2, backSize, backSize);
    m_backStop->place(m_back, backRadius, 0);
    clampScroll();
    placeCrumbStop();
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

    // The crumbs go through a layer of the strip's size, whose edges are faded where a crumb runs
    // past them, so a cut name thins out instead of stopping mid-letter on any ground.
    const QRectF strip = stripRect();
    if (strip.width() < 1 || m_crumbs.empty()) return;
    const qreal ratio = devicePixelRatioF();
    // Every device pixel the strip touches, the last one too where it ends inside a pixel (at 125%,
    // 150% or 175% display scaling). The layer is laid from the pixel nearest the strip's start: one
    // rounded to the nearest pixel could end a pixel short of the strip, leaving the bar's ground
    // where the crumb that reaches the strip's end has its edge.
    QImage layer(QSize(int(std::ceil(strip.width() * ratio - 1e-6)), int(std::ceil(strip.height() * ratio - 1e-6))),
                 QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    QPainter crumbs(&layer);
    crumbs.setRenderHint(QPainter::Antialiasing);
    crumbs.setRenderHint(QPainter::TextAntialiasing);
    crumbs.translate(-strip.topLeft());
    const std::vector<QRectF> rects = crumbRects();
    const QSizeF separator = SymbolImage::size(separatorSymbol);
    for (std::size_t i = 0; i < m_crumbs.size(); ++i) {
        const Crumb& crumb = m_crumbs[i];
        const QRectF& r = rects[i];
        if (r.right() < strip.left() - separator.width() - crumbSpacing || r.left() > strip.right()) continue;
        if (i > 0) {
            const QRectF chevron(QPointF(r.left() - crumbSpacing - separator.width(), height() / 2.0 - separator.height() / 2),
                                 separator);
            SymbolImage::draw(crumbs, chevron, "chevron.right", separatorSymbol, QFont::Bold,
                              ShapePaint::withOpacity(t.textTertiary, 0.7));
        }
        if (crumb.last) ShapePaint::fillRounded(crumbs, r, crumbRadius, t.surfaceRaised);
        crumbs.save();
        if (m_pressed == int(i)) crumbs.setOpacity(0.7);
        crumbs.setFont(crumbFont(crumb.last));
        crumbs.setPen(crumb.last ? t.text : t.textSecondary);
        KeptText::draw(crumbs, r, Qt::AlignCenter, shownTitle(i));
        crumbs.restore();
    }
    // Each edge fades over the crumb it cuts, never further, so a whole crumb beside it keeps its ink.
    crumbs.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    double left = 0, right = 0;
    for (const QRectF& r : rects) {
        if (r.left() < strip.left() - 0.5 && r.right() > strip.left()) left = std::min(fadeWidth, r.right() - strip.left());
        if (r.right() > strip.right() + 0.5 && r.left() < strip.right()) right = std::min(fadeWidth, strip.right() - r.left());
    }
    if (left > 0) {
        QLinearGradient fade(strip.left(), 0, strip.left() + left, 0);
        fade.setColorAt(0, Qt::transparent);
        fade.setColorAt(1, Qt::black);
        crumbs.fillRect(QRectF(strip.left(), strip.top(), left, strip.height()), fade);
    }
    if (right > 0) {
        QLinearGradient fade(strip.right() - right, 0, strip.right(), 0);
        fade.setColorAt(0, Qt::black);
        fade.setColorAt(1, Qt::transparent);
        crumbs.fillRect(QRectF(strip.right() - right, strip.top(), right, strip.height()), fade);
    }
    crumbs.end();
    painter.drawImage(strip.topLeft(), layer);
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
    m_scroll = std::clamp(m_scroll - step, 0.0, maxScroll());
    m_atEnd = m_scroll >= maxScroll() - 0.5;
    clampScroll();
    placeCrumbStop();
    update();
    event->accept();
}

} // namespace tallymere
