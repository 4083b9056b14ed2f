#include "views/shell/inspector/InspectorMiniBar.h"

#include "style/DisplayText.h"
#include "style/KeptFill.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/KeptText.h"
#include "views/components/TextDraw.h"
#include "views/shell/inspector/InspectorModel.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double dot = 6;
constexpr std::uint64_t dotKind = 0xD09ull << 32;
constexpr double gap = 5;
constexpr double lineGap = 2;
QFont nameFont() { return Typography::font(10.5, QFont::Normal); }
QFont sizeFont() { return Typography::font(10, QFont::DemiBold); }
} // namespace

InspectorMiniBar::InspectorMiniBar(QWidget* parent) : ClickableWidget({}, parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    // The row draws no shape of its own: the ring goes round it, in the panel's padding.
    FocusRing::drawOutside(this, 4, 6);
}

void InspectorMiniBar::setChild(AppState::NodePtr child, std::int64_t childSize, std::int64_t parentSize) {
    // The same row again (a refresh for another reason) repaints nothing.
    if (child == m_child && childSize == m_childSize && parentSize == m_parentSize) return;
    m_child = std::move(child);
    m_childSize = childSize;
    m_parentSize = parentSize;
    m_name = TextDraw::oneLine(m_child->name());
    m_size = DisplayText::sizeText(childSize);
    update();
}

void InspectorMiniBar::clear() {
    if (!m_child) return;
    m_child.reset();
    m_childSize = m_parentSize = 0;
    m_name.clear();
    m_size.clear();
    update();
}

double InspectorMiniBar::fraction() const { return InspectorModel::fraction(m_childSize, m_parentSize); }

double InspectorMiniBar::textHeight() const {
    return std::max(QFontMetricsF(nameFont()).height(), QFontMetricsF(sizeFont()).height());
}

QRectF InspectorMiniBar::barRect() const {
    const double top = textHeight() + lineGap;
    return {0, top, std::max(width() * fraction(), minimumBar), barHeight};
}

QSize InspectorMiniBar::sizeHint() const { return {200, int(std::ceil(textHeight() + lineGap + barHeight))}; }
QSize InspectorMiniBar::minimumSizeHint() const { return {40, sizeHint().height()}; }

void InspectorMiniBar::paintEvent(QPaintEvent*) {
    if (!m_child) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isPressed()) painter.setOpacity(pressedOpacity);
    const Theme& t = theme();
    const QColor color = t.nodeColor(*m_child, 1, false);
    const double line = textHeight();

    // The dot is the same small shape on every row: kept as a picture, copied from then on.
    const QRectF dotRect(0, (line - dot) / 2, dot, dot);
    KeptFill::paint(painter, {dotKind, dot, 0, 0, 0, color.rgba64()}, dotRect.topLeft(), dotRect.adjusted(-1, -1, 1, 1),
                    [&](QPainter& p) {
                        p.setRenderHint(QPainter::Antialiasing, true);
                        p.setPen(Qt::NoPen);
                        p.setBrush(color);
                        p.drawEllipse(dotRect);
                    });

    const double sizeWidth = KeptText::advance(sizeFont(), m_size);
    painter.setFont(sizeFont());
    painter.setPen(t.textSecondary);
    KeptText::draw(painter, QRectF(width() - sizeWidth - 1, 0, sizeWidth + 1, line), Qt::AlignRight | Qt::AlignVCenter,
                     m_size);

    // The name takes what the size leaves, keeping at least 4 between them.
    const double nameLeft = dot + gap;
    const double room = std::max(width() - sizeWidth - 4 - gap - nameLeft, 0.0);
    TextDraw::Style name{nameFont(), t.textSecondary};
    name.truncation = TextDraw::Truncation::middle;
    TextDraw::draw(painter, QRectF(nameLeft, 0, room, line), m_name, name);

    const QRectF track(0, line + lineGap, width(), barHeight);
    ShapePaint::fillRounded(painter, track, ShapePaint::capsuleRadius(track), ShapePaint::withOpacity(t.stroke, 0.6));
    const QRectF bar = barRect();
    ShapePaint::fillRounded(painter, bar, ShapePaint::capsuleRadius(bar), color);
}

} // namespace tallymere
