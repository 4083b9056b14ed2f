#include "views/components/controls/ThemedScrollBar.h"

#include "views/components/canvas/ShapePaint.h"
#include "views/components/ThemedWidget.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCommonStyle>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionSlider>

#include <algorithm>
#include <climits>

namespace tallymere {

namespace {

constexpr int endMargin = 2;   // along the bar, before the first and after the last handle position
constexpr int sideInset = 1;   // across the bar, each side of the handle
constexpr int handleRadius = 3;
constexpr int handleLeast = 24;

// The bar's own geometry and paint, so that no style sheet is parsed for every bar a page builds:
// a strip with no arrows, its handle proportional to the page and never shorter than handleLeast.
// Everything else (click and drag behaviour, context menu, metrics) is the application style's.
class ThinBarStyle : public QCommonStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_ScrollBarExtent) return ThemedScrollBar::thickness;
        if (metric == PM_ScrollBarSliderMin) return handleLeast;
        return QApplication::style()->pixelMetric(metric, option, widget);
    }

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        return QApplication::style()->styleHint(hint, option, widget, data);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        if (type == CT_ScrollBar) return size;
        return QApplication::style()->sizeFromContents(type, option, size, widget);
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override {
        const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_ScrollBar || !bar) return QCommonStyle::subControlRect(control, option, part, widget);
        const bool horizontal = bar->orientation == Qt::Horizontal;
        const QRect groove = horizontal ? bar->rect.adjusted(endMargin, 0, -endMargin, 0)
                                        : bar->rect.adjusted(0, endMargin, 0, -endMargin);
        QRect rect;
        switch (part) {
        case SC_ScrollBarGroove: rect = groove; break;
        case SC_ScrollBarSubLine: rect = QRect(groove.topLeft(), horizontal ? QSize(0, groove.height()) : QSize(groove.width(), 0)); break;
        case SC_ScrollBarAddLine:
            rect = horizontal ? QRect(groove.right() + 1, groove.top(), 0, groove.height())
                              : QRect(groove.left(), groove.bottom() + 1, groove.width(), 0);
            break;
        case SC_ScrollBarSlider:
        case SC_ScrollBarSubPage:
        case SC_ScrollBarAddPage: {
            const QRect handle = handleRect(*bar, groove, horizontal);
            if (part == SC_ScrollBarSlider) rect = handle;
            else if (part == SC_ScrollBarSubPage)
                rect = QRect(groove.topLeft(), horizontal ? handle.bottomLeft() : handle.topRight());
            else rect = QRect(horizontal ? handle.topRight() : handle.bottomLeft(), groove.bottomRight());
            break;
        }
        default: break;
        }
        return visualRect(bar->direction, bar->rect, rect);
    }

    // No trough and no arrows: only the handle, a rounded bar inset across the strip.
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
        const auto* themed = qobject_cast<const ThemedScrollBar*>(widget);
        if (control != CC_ScrollBar || !bar || !themed) {
            QCommonStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        if (!(bar->subControls & SC_ScrollBarSlider)) return;
        QRect handle = subControlRect(control, option, SC_ScrollBarSlider, widget);
        handle = bar->orientation == Qt::Horizontal ? handle.adjusted(0, sideInset, 0, -sideInset)
                                                    : handle.adjusted(sideInset, 0, -sideInset, 0);
        if (handle.isEmpty()) return;
        const bool wasAntialiased = painter->testRenderHint(QPainter::Antialiasing);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(roundedPath(handle), ThemedScrollBar::handleColor(themed->theme()));
        painter->setRenderHint(QPainter::Antialiasing, wasAntialiased);
    }

private:
    static QRect handleRect(const QStyleOptionSlider& bar, const QRect& groove, bool horizontal) {
        const int room = horizontal ? groove.width() : groove.height();
        int length = room;
        if (bar.maximum != bar.minimum) {
            const qint64 range = qint64(bar.maximum) - bar.minimum;
            length = int(qint64(bar.pageStep) * room / (range + bar.pageStep));
            if (length < handleLeast || range > INT_MAX / 2) length = handleLeast;
            length = std::min(length, room);
        }
        const int start = (horizontal ? groove.left() : groove.top()) +
                          sliderPositionFromValue(bar.minimum, bar.maximum, bar.sliderPosition, room - length,
                                                  bar.upsideDown);
        return horizontal ? QRect(start, groove.top(), length, groove.height())
                          : QRect(groove.left(), start, groove.width(), length);
    }

    // Corners of handleRadius, traced edge by edge from the top left, clockwise.
    static QPainterPath roundedPath(const QRect& area) {
        const QRectF r(area);
        const double radius = std::min<double>({handleRadius, r.width() / 2, r.height() / 2});
        const double d = 2 * radius;
        QPainterPath path;
        path.moveTo(r.left() + radius, r.top());
        path.lineTo(r.right() - radius, r.top());
        path.arcTo(r.right() - d, r.top(), d, d, 90, -90);
        path.lineTo(r.right(), r.bottom() - radius);
        path.arcTo(r.right() - d, r.bottom() - d, d, d, 0, -90);
        path.lineTo(r.left() + radius, r.bottom());
        path.arcTo(r.left(), r.bottom() - d, d, d, 270, -90);
        path.lineTo(r.left(), r.top() + radius);
        path.arcTo(r.left(), r.top(), d, d, 180, -90);
        path.closeSubpath();
        return path;
    }
};

} // namespace

ThemedScrollBar::ThemedScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {
    if (auto inherited = ThemedWidget::inheritedTheme(parent)) m_theme = *inherited;
    // The style is the bar's own child, so it lives exactly as long as the bar.
    auto* style = new ThinBarStyle;
    style->setParent(this);
    setStyle(style);
    // The toolkit's bar claims to paint every pixel of itself; this one leaves its trough to
    // whatever lies beneath.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QColor ThemedScrollBar::handleColor(const Theme& theme) {
    // Whole steps of alpha, as the handle has always been painted.
    return QColor::fromRgba(ShapePaint::withOpacity(theme.textTertiary, handleOpacity).rgba());
}

void ThemedScrollBar::setTheme(const Theme& theme) {
    const bool changed = theme.id != m_theme.id;
    m_theme = theme;
    if (changed) update();
}

bool ThemedScrollBar::event(QEvent* event) {
    // As with ThemedWidget: a bar placed into its area, or shown there, looks up the theme again.
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show) {
        if (auto inherited = ThemedWidget::inheritedTheme(parentWidget())) setTheme(*inherited);
    }
    return QScrollBar::event(event);
}

void ThemedScrollBar::install(QAbstractScrollArea* area) {
    if (!qobject_cast<ThemedScrollBar*>(area->verticalScrollBar()))
        area->setVerticalScrollBar(new ThemedScrollBar(Qt::Vertical, area));
    if (!qobject_cast<ThemedScrollBar*>(area->horizontalScrollBar()))
        area->setHorizontalScrollBar(new ThemedScrollBar(Qt::Horizontal, area));
}

} // namespace tallymere
