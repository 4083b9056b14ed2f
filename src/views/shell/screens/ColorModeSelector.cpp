#include "views/shell/screens/ColorModeSelector.h"

#include "state/AppState.h"
#include "style/Motion.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/FocusChain.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace tallymere {

namespace {

constexpr double trayPadding = 2.5, traySpacing = 2, trayRadius = 8;
constexpr double buttonPadX = 7, buttonPadY = 4.5, buttonRadius = 6;
constexpr double symbolSize = 9.5, contentSpacing = 4;
constexpr int durationMs = 180;

QFont titleFont() { return Typography::font(10.5, QFont::DemiBold); }
QString titleOf(ColorMode mode) { return QString::fromLatin1(ColorModes::title(mode).data()); }
int indexOf(ColorMode mode) { return static_cast<int>(mode); }

} // namespace

ColorModeSelector::ColorModeSelector(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state), m_from(state.colorMode()), m_to(state.colorMode()),
      m_animation(new QVariantAnimation(this)) {
    setToolTip(QStringLiteral("What the colours mean"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Tab and a click give it the keyboard; the ring shows only for the keyboard.
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow(this);
    const QFontMetricsF metrics(titleFont());
    for (ColorMode mode : ColorModes::all)
        m_buttonWidths.push_back(std::ceil(2 * buttonPadX + SymbolImage::size(symbolSize).width() + contentSpacing +
                                           metrics.horizontalAdvance(titleOf(mode))));
    m_buttonHeight = std::ceil(2 * buttonPadY + std::max(SymbolImage::size(symbolSize).height(), metrics.height()));
    m_animation->setDuration(durationMs);
    m_animation->setEasingCurve(Motion::easeOut());
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_progress = value.toDouble();
        update();
    });
    connect(&m_state, &AppState::colorModeChanged, this, &ColorModeSelector::follow);
}

void ColorModeSelector::follow() {
    const ColorMode mode = m_state.colorMode();
    if (mode == m_to) return;
    m_from = m_to;
    m_to = mode;
    m_progress = 0;
    m_animation->stop();
    m_animation->start();
}

void ColorModeSelector::finishAnimation() {
    m_animation->stop();
    m_progress = 1;
    update();
}

double ColorModeSelector::lit(ColorMode mode) const {
    if (m_from == m_to) return mode == m_to ? 1.0 : 0.0;
    if (mode == m_to) return m_progress;
    if (mode == m_from) return 1.0 - m_progress;
    return 0.0;
}

double ColorModeSelector::buttonWidth(ColorMode mode) const { return m_buttonWidths[std::size_t(indexOf(mode))]; }

double ColorModeSelector::buttonHeight() const { return m_buttonHeight; }

QRectF ColorModeSelector::buttonRect(ColorMode mode) const {
    double x = trayPadding;
    for (ColorMode m : ColorModes::all) {
        if (m == mode) return QRectF(x, trayPadding, buttonWidth(m), buttonHeight());
        x += buttonWidth(m) + traySpacing;
    }
    return {};
}

QSize ColorModeSelector::sizeHint() const {
    const QRectF last = buttonRect(ColorModes::all.back());
    return {int(std::ceil(last.right() + trayPadding)), int(std::ceil(buttonHeight() + 2 * trayPadding))};
}

void ColorModeSelector::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Theme& t = theme();
    const QRectF tray(QPointF(0, 0), QSizeF(sizeHint()));
    ShapePaint::fillRounded(painter, tray, trayRadius, ShapePaint::withOpacity(t.background, 0.55));
    ShapePaint::strokeInside(painter, tray, trayRadius, ShapePaint::withOpacity(t.stroke, 0.7));
    if (FocusRing::shown(this)) FocusRing::paint(painter, tray, trayRadius, t);
    const QSizeF symbol = SymbolImage::size(symbolSize);
    const QFontMetricsF metrics(titleFont());
    for (ColorMode mode : ColorModes::all) {
        const QRectF r = buttonRect(mode);
        const double on = lit(mode);
        ShapePaint::fillRounded(painter, r, buttonRadius, ShapePaint::withOpacity(t.accent, 0.18 * on));
        const QColor ink = ColorRules::mix(t.textTertiary, t.accent, on);
        painter.save();
        if (m_pressed == indexOf(mode)) painter.setOpacity(0.7);
        const QRectF icon(QPointF(r.left() + buttonPadX, r.center().y() - symbol.height() / 2), symbol);
        SymbolImage::draw(painter, icon, ColorModes::symbol(mode), symbolSize, QFont::DemiBold, ink);
        painter.setFont(titleFont());
        painter.setPen(ink);
        painter.drawText(QRectF(icon.right() + contentSpacing, r.top(), metrics.horizontalAdvance(titleOf(mode)) + 1,
                                r.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, titleOf(mode));
        painter.restore();
    }
}

void ColorModeSelector::mousePressEvent(QMouseEvent* event) {
    m_pressed = -1;
    if (event->button() == Qt::LeftButton)
        for (ColorMode mode : ColorModes::all)
            if (buttonRect(mode).contains(event->position())) m_pressed = indexOf(mode);
    update();
    event->accept();
}

void ColorModeSelector::mouseReleaseEvent(QMouseEvent* event) {
    const int pressed = m_pressed;
    m_pressed = -1;
    update();
    if (pressed < 0) return;
    const ColorMode mode = ColorModes::all[std::size_t(pressed)];
    if (buttonRect(mode).contains(event->position())) m_state.setColorMode(mode);
}

void ColorModeSelector::keyPressEvent(QKeyEvent* event) {
    const int current = indexOf(m_state.colorMode());
    const int index = FocusChain::segmentFor(event->key(), current, int(ColorModes::all.size()));
    if (index < 0 || (event->modifiers() & ~Qt::KeypadModifier)) return ThemedWidget::keyPressEvent(event);
    if (index != current) m_state.setColorMode(ColorModes::all[std::size_t(index)]);
    event->accept();
}

} // namespace tallymere
