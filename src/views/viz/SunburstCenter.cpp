#include "views/viz/SunburstCenter.h"

#include "base/PathText.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr double spacing = 2;
constexpr double symbolSize = 9;
constexpr double buttonRim = 5;
constexpr double buttonGap = 2;

QFont nameFont() { return Typography::font(12, QFont::DemiBold); }
QFont sizeFont() { return Typography::font(15, QFont::Bold); }

double buttonDiameter() {
    const QSizeF image = SymbolImage::size(symbolSize);
    return std::max(image.width(), image.height()) + 2 * buttonRim;
}

} // namespace

SunburstCenter::SunburstCenter(AppState& state, QWidget* parent) : ThemedWidget(parent), m_state(state) {
    setAttribute(Qt::WA_NoSystemBackground);
    // Moves over the readout are passed on to the rings, which keep hover current under it.
    setMouseTracking(true);
    for (auto signal : {&AppState::hoveredChanged, &AppState::focusChanged, &AppState::displayRootChanged,
                        &AppState::useAllocatedSizeChanged})
        connect(&m_state, signal, this, &SunburstCenter::refresh);
    // The first focus below the top shows the up button: loading the symbol font then, several
    // milliseconds, would fall on that focus change's frame.
    SymbolImage::font();
    refresh();
}

QString SunburstCenter::displayName(const FileNode& node) {
    if (node.parent) return TextDraw::oneLine(node.name());
    const std::string path = node.path();
    if (path == "/") return QStringLiteral("Macintosh HD");
    return TextDraw::oneLine(PathText::lastComponent(path));
}

void SunburstCenter::refresh() {
    const AppState::NodePtr& subject =
        m_state.hovered() ? m_state.hovered() : m_state.focus() ? m_state.focus() : m_state.displayRoot();
    m_name = subject ? displayName(*subject) : QString();
    m_size = subject ? DisplayText::sizeText(subject->bytes(m_state.useAllocatedSize())) : QString();
    m_upButton = m_state.focus() && m_state.focus()->parent;
    setAttribute(Qt::WA_TransparentForMouseEvents, !m_upButton);

    double height = 0;
    if (subject) height += QFontMetricsF(nameFont()).height() + spacing + QFontMetricsF(sizeFont()).height();
    if (m_upButton) height += (subject ? spacing : 0) + buttonGap + buttonDiameter();
    // The name is the top line of the readout, centred on the disc: its room is the disc's chord at
    // the line's top edge, less a little space from the rim.
    m_nameWidth = maxNameWidth;
    if (m_discRadius > 0) {
        const double fromCentre = height / 2, rim = m_discRadius - 3;
        m_nameWidth = rim > fromCentre ? std::min(maxNameWidth, 2 * std::sqrt(rim * rim - fromCentre * fromCentre)) : 0;
    }
    const double nameWidth = subject ? std::min(m_nameWidth, TextDraw::width(m_name, {nameFont(), {}})) : 0;
    const double sizeWidth = subject ? QFontMetricsF(sizeFont()).horizontalAdvance(m_size) : 0;
    const double width = std::max({nameWidth, sizeWidth, m_upButton ? buttonDiameter() : 0.0});
    resize(int(std::ceil(width)) + 2, int(std::ceil(height)));
    centerOn(m_center);
    update();
}

void SunburstCenter::setDiscRadius(double radius) {
    if (radius == m_discRadius) return;
    m_discRadius = radius;
    refresh();
}

void SunburstCenter::centerOn(QPointF point) {
    m_center = point;
    move(int(std::lround(point.x() - width() / 2.0)), int(std::lround(point.y() - height() / 2.0)));
}

QRectF SunburstCenter::upButtonRect() const {
    if (!m_upButton) return {};
    const double d = buttonDiameter();
    return {(width() - d) / 2, height() - d, d, d};
}

void SunburstCenter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const Theme& t = theme();
    double y = 0;
    if (!m_name.isEmpty() || !m_size.isEmpty()) {
        TextDraw::Style name{nameFont(), t.text};
        name.alignment = Qt::AlignHCenter | Qt::AlignTop;
        const double nameHeight = QFontMetricsF(nameFont()).height();
        if (m_nameWidth > 0)
            TextDraw::draw(painter, QRectF((width() - m_nameWidth) / 2, y, m_nameWidth, nameHeight), m_name, name);
        y += nameHeight + spacing;
        TextDraw::Style size{sizeFont(), t.accent};
        size.alignment = Qt::AlignHCenter | Qt::AlignTop;
        // The size is never cut: the widget is as wide as it.
        TextDraw::draw(painter, QRectF(-200, y, width() + 400, QFontMetricsF(sizeFont()).height()), m_size, size);
    }
    if (m_upButton) {
        const QRectF circle = upButtonRect();
        painter.setOpacity(m_pressed ? 0.7 : 1.0);
        painter.setPen(Qt::NoPen);
        painter.setBrush(t.surfaceRaised);
        painter.drawEllipse(circle);
        SymbolImage::draw(painter, circle, "arrow.up", symbolSize, QFont::Bold, t.textSecondary);
    }
}

void SunburstCenter::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton && upButtonRect().contains(event->position());
    update();
    // Off the button the press belongs to the rings below: it selects what is hovered there.
    event->setAccepted(m_pressed);
}

void SunburstCenter::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = m_pressed;
    const bool act = m_pressed && upButtonRect().contains(event->position());
    m_pressed = false;
    update();
    event->setAccepted(wasPressed);
    if (act) m_state.navigateUp();
}

} // namespace tallymere
