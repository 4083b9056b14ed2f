#include "views/shell/screens/DepthSlider.h"

#include "state/AppState.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/controls/SliderKeys.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double spacing = 6;
constexpr double symbolSize = 10;
constexpr double numberWidth = 14;
constexpr double trackHeight = 3;
constexpr double knobSize = 12;

QFont numberFont() { return Typography::font(10, QFont::DemiBold); }

} // namespace

DepthSlider::DepthSlider(AppState& state, QWidget* parent) : ThemedWidget(parent), m_state(state) {
    setToolTip(QStringLiteral("How many folder levels to draw"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Tab and a click give it the keyboard. The slider has no outline of its own, so the ring goes
    // round it, in the room of the row it sits in.
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow(this);
    FocusRing::drawOutside(this, 4, 6);
    connect(&m_state, &AppState::treemapDepthChanged, this, qOverload<>(&QWidget::update));
}

QSize DepthSlider::sizeHint() const {
    const QSizeF symbol = SymbolImage::size(symbolSize);
    const double width = symbol.width() + spacing + trackWidth + spacing + numberWidth;
    const double height = std::max({symbol.height(), knobSize + 2, QFontMetricsF(numberFont()).height()});
    return {int(std::ceil(width)), int(std::ceil(height))};
}

QRectF DepthSlider::trackRect() const {
    const double left = SymbolImage::size(symbolSize).width() + spacing;
    return QRectF(left, height() / 2.0 - trackHeight / 2, trackWidth, trackHeight);
}

QRectF DepthSlider::knobRect() const {
    const QRectF track = trackRect();
    const double depth = std::clamp(m_state.treemapDepth(), double(minimumDepth), double(maximumDepth));
    const double travel = track.width() - knobSize;
    const double x = track.left() + travel * (depth - minimumDepth) / (maximumDepth - minimumDepth);
    return QRectF(x, height() / 2.0 - knobSize / 2, knobSize, knobSize);
}

QString DepthSlider::depthText() const {
    return QString::number(static_cast<long long>(std::trunc(m_state.treemapDepth())));
}

int DepthSlider::depthAt(double x) const {
    const QRectF track = trackRect();
    const double travel = track.width() - knobSize;
    const double fraction = std::clamp((x - track.left() - knobSize / 2) / travel, 0.0, 1.0);
    return minimumDepth + static_cast<int>(std::lround(fraction * (maximumDepth - minimumDepth)));
}

void DepthSlider::write(double x) {
    const int depth = depthAt(x);
    if (double(depth) != m_state.treemapDepth()) m_state.setTreemapDepth(depth);
}

void DepthSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Theme& t = theme();
    const QSizeF symbol = SymbolImage::size(symbolSize);
    SymbolImage::draw(painter, QRectF(QPointF(0, height() / 2.0 - symbol.height() / 2), symbol),
                      "square.stack.3d.down.right", symbolSize, QFont::Normal, t.textTertiary);

    const QRectF track = trackRect();
    const QRectF knob = knobRect();
    ShapePaint::fillRounded(painter, track, trackHeight / 2, t.surfaceRaised);
    ShapePaint::strokeInside(painter, track, trackHeight / 2, t.stroke);
    ShapePaint::fillRounded(painter, QRectF(track.left(), track.top(), knob.center().x() - track.left(), track.height()),
                            trackHeight / 2, t.accent);
    ShapePaint::fillRounded(painter, knob.translated(0, 0.5), knobSize / 2, ShapePaint::withOpacity(t.text, 0.12));
    ShapePaint::fillRounded(painter, knob, knobSize / 2, t.isDark ? t.textSecondary : QColor(255, 255, 255));
    ShapePaint::strokeInside(painter, knob, knobSize / 2, t.stroke);

    // Digits of one width, so the number does not shift as it changes.
    TextDraw::Style style{numberFont(), t.textSecondary, Qt::AlignCenter};
    style.monospacedDigits = true;
    TextDraw::draw(painter, QRectF(track.right() + spacing, 0, numberWidth, height()), depthText(), style);
}

void DepthSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QRectF track = trackRect().adjusted(-2, -(knobSize / 2), 2, knobSize / 2);
    if (!track.contains(event->position()) && !knobRect().contains(event->position())) return;
    m_dragging = true;
    write(event->position().x());
    event->accept();
}

void DepthSlider::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging) write(event->position().x());
}

void DepthSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (m_dragging) write(event->position().x());
    m_dragging = false;
}

void DepthSlider::keyPressEvent(QKeyEvent* event) {
    const int depth = std::clamp(int(std::trunc(m_state.treemapDepth())), minimumDepth, maximumDepth);
    const auto target = SliderKeys::target(event->key(), depth, minimumDepth, maximumDepth, {.small = 1, .page = 0});
    if (!target) return ThemedWidget::keyPressEvent(event);
    if (*target != m_state.treemapDepth()) m_state.setTreemapDepth(*target);
    event->accept();
}

} // namespace tallymere
