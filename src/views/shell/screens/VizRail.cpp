#include "views/shell/screens/VizRail.h"

#include "state/AppState.h"
#include "style/Typography.h"
#include "views/components/controls/SegmentedRail.h"
#include "views/shell/screens/BusySpinner.h"
#include "views/shell/screens/ColorModeSelector.h"
#include "views/shell/screens/DepthSlider.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {

constexpr double paddingX = 18, paddingY = 10, spacing = 10;
// A small control-size wheel drawn at 0.7 of its size.
constexpr double spinnerDiameter = 16 * 0.7;

QFont captionFont() { return Typography::font(10.5, QFont::Normal); }
QString raw(VizMode mode) { return QString::fromLatin1(VizModes::rawValue(mode).data()); }

// The least room a caption keeps beside the rail: its first word and the ellipsis, so it never
// shrinks to a stub of letters.
double leastCaptionWidth(const QString& caption) {
    const qsizetype space = caption.indexOf(QLatin1Char(' '));
    const QString firstWord = space < 0 ? caption : caption.left(space);
    return std::ceil(QFontMetricsF(captionFont()).horizontalAdvance(firstWord + QChar(0x2026)));
}

} // namespace

QString VizRail::caption(VizMode mode) {
    switch (mode) {
    case VizMode::treemap: return QStringLiteral("Every file as a rectangle, sized by bytes");
    case VizMode::folders: return QStringLiteral("Browse folder by folder, sized as you go");
    case VizMode::sunburst: return QStringLiteral("Rings radiating out from the scan root");
    case VizMode::icicle: return QStringLiteral("Depth top to bottom, size left to right");
    case VizMode::pack: return QStringLiteral("Nested bubbles, one per folder");
    case VizMode::mindmap: return QStringLiteral("Branches from the root, sized by weight");
    case VizMode::bars: return QStringLiteral("The biggest items, ranked");
    case VizMode::calendar: return QStringLiteral("Where your bytes sit on a timeline");
    case VizMode::table: return QStringLiteral("Sortable columns, keyboard friendly");
    }
    return {};
}

bool VizRail::usesColor(VizMode mode) {
    return mode != VizMode::bars && mode != VizMode::calendar && mode != VizMode::table;
}

bool VizRail::usesDepth(VizMode mode) {
    return mode == VizMode::treemap || mode == VizMode::sunburst || mode == VizMode::icicle;
}

VizRail::VizRail(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_rail(new SegmentedRail(
          SegmentedRail::makeItems(
              VizModes::all, [](VizMode m) { return raw(m); }, [](VizMode m) { return VizModes::symbol(m); },
              [](VizMode m) { return QString::fromLatin1(VizModes::title(m).data()); }),
          raw(state.viz()), this)),
      m_spinner(new BusySpinner(spinnerDiameter, this)), m_colorModes(new ColorModeSelector(state, this)),
      m_depth(new DepthSlider(state, this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_rail, &SegmentedRail::selectionWritten, this, [this](const QString& id) {
        if (auto mode = VizModes::fromRaw(id.toStdString())) m_state.setViz(*mode);
    });
    connect(&m_state, &AppState::vizChanged, this, &VizRail::refresh);
    connect(&m_state, &AppState::isFilteringChanged, this, &VizRail::refresh);
    refresh();
}

void VizRail::refresh() {
    const VizMode mode = m_state.viz();
    const QFontMetricsF metrics(captionFont());
    m_captionHeight = metrics.height();
    m_captionWidth = std::ceil(metrics.horizontalAdvance(caption(mode)));
    m_leastCaptionWidth = leastCaptionWidth(caption(mode));
    m_rail->setSelection(raw(mode));
    m_spinner->setVisible(m_state.isFiltering());
    m_colorModes->setVisible(usesColor(mode));
    m_depth->setVisible(usesDepth(mode));
    updateGeometry();
    relayout();
}

double VizRail::rowHeight() const {
    return std::max({double(m_rail->sizeHint().height()), double(m_colorModes->sizeHint().height()),
                     double(m_depth->sizeHint().height()), m_captionHeight});
}

double VizRail::trailingWidth() const {
    double width = 0;
    if (m_depth->isVisibleTo(this)) width += spacing + m_depth->sizeHint().width();
    if (m_colorModes->isVisibleTo(this)) width += spacing + m_colorModes->sizeHint().width();
    return width;
}

bool VizRail::wrapsAt(int width) const {
    // Room is kept for the spinner whether it shows or not, so the rows do not change while a
    // filter is built.
    const double captionRoom = spacing + m_spinner->sizeHint().width() + spacing + m_leastCaptionWidth;
    return 2 * paddingX + m_rail->sizeHint().width() + captionRoom + trailingWidth() > width;
}

int VizRail::heightForWidth(int width) const {
    const int rows = wrapsAt(width) ? 2 : 1;
    return int(std::ceil(rows * rowHeight() + (rows - 1) * spacing + 2 * paddingY));
}

QSize VizRail::sizeHint() const { return {600, heightForWidth(width() > 0 ? width() : 600)}; }

void VizRail::relayout() {
    const bool wraps = wrapsAt(width());
    double middle = paddingY + rowHeight() / 2.0;
    auto place = [&](QWidget* w, double x) {
        const QSize size = w->sizeHint();
        w->setGeometry(int(std::lround(x)), int(std::lround(middle - size.height() / 2.0)), size.width(), size.height());
    };
    place(m_rail, paddingX);
    if (wraps) middle += rowHeight() + spacing;
    // The trailing controls are laid out from the right edge inwards.
    double right = width() - paddingX;
    if (m_depth->isVisibleTo(this)) {
        right -= m_depth->sizeHint().width();
        place(m_depth, right);
        right -= spacing;
    }
    if (m_colorModes->isVisibleTo(this)) {
        right -= m_colorModes->sizeHint().width();
        place(m_colorModes, right);
        right -= spacing;
    }
    // The caption ends at the trailing controls and gives way to the rail (on one row) or to the
    // pane's edge (on the second), shortened with an ellipsis rather than cut or run over.
    const QFontMetricsF metrics(captionFont());
    const double captionWidth = m_captionWidth;
    double start = wraps ? paddingX : m_rail->geometry().right() + 1 + spacing;
    // The spinner stands before the caption, so its room comes off the caption's, never off the
    // rail or the pane's edge.
    if (m_spinner->isVisibleTo(this)) start += m_spinner->sizeHint().width() + spacing;
    const double left = std::max(right - captionWidth, start);
    m_captionRect = QRectF(left, middle - metrics.height() / 2, std::max(right - left, 0.0), metrics.height());
    m_shownCaption = metrics.elidedText(caption(m_state.viz()), Qt::ElideRight, m_captionRect.width());
    right = m_captionRect.left() - spacing;
    if (m_spinner->isVisibleTo(this)) place(m_spinner, right - m_spinner->sizeHint().width());
    update();
}

bool VizRail::event(QEvent* event) {
    // The rail's width changes while its capsule glides to a new segment.
    if (event->type() == QEvent::LayoutRequest) relayout();
    return ThemedWidget::event(event);
}

void VizRail::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    relayout();
}

void VizRail::paintEvent(QPaintEvent*) {
    if (m_captionRect.width() <= 0) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(captionFont());
    painter.setPen(theme().textTertiary);
    painter.drawText(m_captionRect, Qt::AlignRight | Qt::AlignVCenter, m_shownCaption);
}

} // namespace tallymere
