#include "views/components/controls/SegmentedRail.h"

#include "style/Typography.h"
#include "style/Motion.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/canvas/ShapePaint.h"
#include "style/SymbolImage.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {
constexpr double contentSpacing = 5;
constexpr double openPadding = 10;
constexpr double closedPadding = 7;
constexpr double verticalPadding = 6;
constexpr double pressedOpacity = 0.7;

double lerp(double a, double b, double t) { return a + (b - a) * t; }

QRectF lerp(const QRectF& a, const QRectF& b, double t) {
    return QRectF(lerp(a.x(), b.x(), t), lerp(a.y(), b.y(), t), lerp(a.width(), b.width(), t),
                  lerp(a.height(), b.height(), t));
}
} // namespace

SegmentedRail::SegmentedRail(QWidget* parent) : SegmentedRail({}, QString(), parent) {}

SegmentedRail::SegmentedRail(std::vector<RailItem> items, const QString& selection, QWidget* parent)
    : ThemedWidget(parent), m_items(std::move(items)), m_selection(selection), m_animation(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
    // Ringed while the keyboard brought it there or walks it, not after a click.
    FocusRing::follow(this);
    m_from = m_to = selectedIndex();
    m_animation->setObjectName(QStringLiteral("railAnimation"));
    m_animation->setDuration(Motion::springDurationMs);
    m_animation->setEasingCurve(Motion::spring());
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_progress = value.toDouble();
        relayout();
    });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        m_progress = 1;
        m_from = m_to;
        relayout();
    });
}

QFont SegmentedRail::titleFont() { return Typography::font(11.5, QFont::DemiBold); }

void SegmentedRail::setItems(std::vector<RailItem> items) {
    m_animation->stop();
    m_items = std::move(items);
    m_titleWidths.clear();
    m_from = m_to = selectedIndex();
    m_progress = 1;
    relayout();
}

void SegmentedRail::setSelection(const QString& id) {
    // The caller echoing the value a click just wrote must not cut the glide short.
    if (id == m_selection) return;
    m_animation->stop();
    m_selection = id;
    m_from = m_to = selectedIndex();
    m_progress = 1;
    relayout();
}

int SegmentedRail::selectedIndex() const {
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].id == m_selection) return int(i);
    return -1;
}

double SegmentedRail::openness(int index) const {
    if (index == m_to && index == m_from) return 1;
    if (index == m_to) return m_progress;
    if (index == m_from) return 1 - m_progress;
    return 0;
}

void SegmentedRail::measureTitles() const {
    if (m_titleWidths.size() == m_items.size() && m_titleHeight > 0) return;
    const QFontMetricsF metrics(titleFont());
    m_titleWidths.clear();
    for (const RailItem& item : m_items) m_titleWidths.push_back(std::ceil(metrics.horizontalAdvance(item.title)));
    m_titleHeight = metrics.height();
}

double SegmentedRail::segmentWidth(int index) const {
    measureTitles();
    const double icon = SymbolImage::size(symbolSize).width();
    const double title = contentSpacing + m_titleWidths[std::size_t(index)];
    const double open = openness(index);
    return icon + 2 * lerp(closedPadding, openPadding, open) + title * std::max(open, 0.0);
}

double SegmentedRail::contentHeight() const {
    if (m_items.empty()) return 0;
    const double icon = SymbolImage::size(symbolSize).height();
    if (m_to < 0 && m_from < 0) return icon;
    measureTitles();
    return std::max(icon, m_titleHeight);
}

std::vector<QRectF> SegmentedRail::segmentRects() const {
    std::vector<QRectF> rects;
    const double height = contentHeight() + 2 * verticalPadding;
    double x = railPadding;
    for (int i = 0; i < int(m_items.size()); ++i) {
        const double width = segmentWidth(i);
        rects.emplace_back(x, railPadding, width, height);
        x += width + segmentSpacing;
    }
    return rects;
}

QRectF SegmentedRail::capsuleRect() const {
    const std::vector<QRectF> rects = segmentRects();
    if (m_to < 0) return {};
    const QRectF target = rects[std::size_t(m_to)];
    if (m_from < 0 || m_from == m_to) return target;
    return lerp(rects[std::size_t(m_from)], target, m_progress);
}

int SegmentedRail::segmentAt(const QPointF& point) const {
    const std::vector<QRectF> rects = segmentRects();
    for (std::size_t i = 0; i < rects.size(); ++i)
        if (rects[i].contains(point)) return int(i);
    return -1;
}

QSize SegmentedRail::sizeHint() const {
    double width = 2 * railPadding;
    for (int i = 0; i < int(m_items.size()); ++i) width += segmentWidth(i) + (i > 0 ? segmentSpacing : 0);
    const double height = 2 * railPadding + (m_items.empty() ? 0 : contentHeight() + 2 * verticalPadding);
    return {int(std::ceil(width)), int(std::ceil(height))};
}

void SegmentedRail::relayout() {
    updateGeometry();
    // A fixed-size widget without a layout above it (a rail shown on its own) follows its hint.
    if (!parentWidget() || !parentWidget()->layout()) resize(sizeHint());
    update();
}

bool SegmentedRail::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = segmentAt(help->pos());
        if (index >= 0) QToolTip::showText(help->globalPos(), m_items[std::size_t(index)].title, this);
        else QToolTip::hideText();
        return true;
    }
    return ThemedWidget::event(event);
}

void SegmentedRail::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Theme& t = theme();
    const QRectF area(QPointF(0, 0), QSizeF(sizeHint()));
    const double railRadius = ShapePaint::capsuleRadius(area);
    ShapePaint::fillRounded(painter, area, railRadius, t.surface);
    ShapePaint::strokeInside(painter, area, railRadius, t.stroke);
    if (FocusRing::shown(this)) FocusRing::paint(painter, area, railRadius, t);

    const QRectF capsule = capsuleRect();
    if (!capsule.isEmpty()) {
        // A capsule arriving from no previous selection fades in instead of gliding.
        const double opacity = m_from < 0 && m_to >= 0 ? std::clamp(m_progress, 0.0, 1.0) : 1.0;
        ShapePaint::fillRounded(painter, capsule, ShapePaint::capsuleRadius(capsule),
                                ShapePaint::withOpacity(t.accent, opacity));
    }

    const QFont font = titleFont();
    const QSizeF icon = SymbolImage::size(symbolSize);
    const std::vector<QRectF> rects = segmentRects();
    for (int i = 0; i < int(rects.size()); ++i) {
        const RailItem& item = m_items[std::size_t(i)];
        const QRectF& r = rects[std::size_t(i)];
        const double open = std::clamp(openness(i), 0.0, 1.0);
        const QColor ink = ColorRules::mix(t.textSecondary, t.onAccent(), open);
        painter.save();
        painter.setClipRect(r);
        if (i == m_pressed) painter.setOpacity(pressedOpacity);
        const double left = r.left() + lerp(closedPadding, openPadding, openness(i));
        SymbolImage::draw(painter, QRectF(QPointF(left, r.center().y() - icon.height() / 2), icon), item.symbol,
                          symbolSize, QFont::DemiBold, ink);
        if (open > 0) {
            painter.setOpacity(painter.opacity() * open);
            painter.setFont(font);
            painter.setPen(ink);
            const double x = left + icon.width() + contentSpacing;
            painter.drawText(QRectF(x, r.top(), r.right() - x + 40, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
                             item.title);
        }
        painter.restore();
    }
}

void SegmentedRail::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mousePressEvent(event);
    m_pressed = segmentAt(event->position());
    update();
}

void SegmentedRail::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return ThemedWidget::mouseReleaseEvent(event);
    const int pressed = m_pressed;
    m_pressed = -1;
    update();
    if (pressed < 0 || segmentAt(event->position()) != pressed) return;
    choose(pressed);
}

void SegmentedRail::keyPressEvent(QKeyEvent* event) {
    const int last = int(m_items.size()) - 1;
    const int current = selectedIndex();
    int index = -1;
    switch (event->key()) {
    case Qt::Key_Left: index = current < 0 ? 0 : std::max(current - 1, 0); break;
    case Qt::Key_Right: index = current < 0 ? 0 : std::min(current + 1, last); break;
    case Qt::Key_Home: index = 0; break;
    case Qt::Key_End: index = last; break;
    default: return ThemedWidget::keyPressEvent(event);
    }
    // At either end the arrows stay where they are rather than wrap round.
    if (index >= 0 && index != current) choose(index);
    event->accept();
}

void SegmentedRail::focusInEvent(QFocusEvent* event) {
    ThemedWidget::focusInEvent(event);
    update();
}

void SegmentedRail::focusOutEvent(QFocusEvent* event) {
    ThemedWidget::focusOutEvent(event);
    update();
}

void SegmentedRail::choose(int index) {
    const QString id = m_items[std::size_t(index)].id;
    if (index != selectedIndex()) {
        // Glide from wherever the capsule is drawn now, mid-flight included.
        m_from = m_progress < 0.5 && m_from >= 0 ? m_from : m_to;
        m_to = index;
        m_selection = id;
        m_progress = 0;
        m_animation->stop();
        m_animation->start();
        relayout();
    }
    emit selectionWritten(id);
}

} // namespace tallymere
