#include "views/shell/BannerView.h"

#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/TextDraw.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/canvas/SoftShadow.h"
#include "views/components/controls/KeyStop.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace tallymere {

namespace {

constexpr double cornerRadius = 12;
constexpr double paddingX = 14;
constexpr double paddingY = 11;
constexpr double spacing = 10;
constexpr double lineSpacing = 1;
constexpr double kindSymbolSize = 14;
constexpr double closeSymbolSize = 10;
// The close symbol is small; the press area reaches a little around it.
constexpr double closeSlop = 6;
constexpr int wrapFlags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;

QFont titleFont() { return Typography::font(12.5, QFont::DemiBold); }
QFont detailFont() { return Typography::font(11, QFont::Normal); }
QFont grantFont() { return Typography::font(11.5, QFont::DemiBold); }
const QString grantTitle = QStringLiteral("Grant Access");

// The lines of a text with a word longer than `width` (a long name, a path): broken between words
// and anywhere inside the word that would run over. Null when breaking between words keeps every
// line inside the width, as almost every text does; those the painter wraps itself.
std::unique_ptr<QTextLayout> brokenLines(const QFont& font, const QString& text, double width) {
    if (text.isEmpty() || QFontMetricsF(font).boundingRect(QRectF(0, 0, width, 1e6), wrapFlags, text).width() <= width)
        return nullptr;
    auto layout = std::make_unique<QTextLayout>(text, font);
    TextDraw::breakLines(*layout, width);
    return layout;
}

double wrappedHeight(const QFont& font, const QString& text, double width) {
    if (text.isEmpty()) return QFontMetricsF(font).height();
    width = std::max(width, 1.0);
    if (auto lines = brokenLines(font, text, width)) return lines->boundingRect().height();
    return QFontMetricsF(font).boundingRect(QRectF(0, 0, width, 1e6), wrapFlags, text).height();
}

// Draws the text wrapped into `box` as wrappedHeight measured it, in the painter's pen.
void drawWrapped(QPainter& painter, const QRectF& box, const QFont& font, const QString& text) {
    if (auto lines = brokenLines(font, text, std::max(box.width(), 1.0))) {
        lines->draw(&painter, box.topLeft());
        return;
    }
    painter.setFont(font);
    painter.drawText(box, wrapFlags, text);
}

// The banner's shadow, drawn beneath the banner in its own widget, which takes no pointer input.
class BannerShadow : public QWidget {
public:
    explicit BannerShadow(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
    }

    void setLook(bool isDark, double opacity) {
        if (isDark != m_isDark || !m_shadow) {
            QColor ink = isDark ? QColor(255, 255, 255) : QColor(18, 17, 16);
            ink.setAlphaF(isDark ? 0.5f : 0.1f);
            m_shadow = std::make_unique<SoftShadow>(ink, BannerView::shadowRadius, QPointF(0, BannerView::shadowOffsetY));
        }
        m_isDark = isDark;
        m_opacity = opacity;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const int margin = BannerView::shadowMargin;
        const QRectF card = QRectF(rect()).adjusted(margin, margin, -margin, -margin);
        if (card.isEmpty() || !m_shadow) return;
        QPainter painter(this);
        painter.setOpacity(m_opacity);
        m_shadow->paint(painter, card, cornerRadius);
    }

private:
    bool m_isDark = false;
    double m_opacity = 1;
    std::unique_ptr<SoftShadow> m_shadow;
};

} // namespace

BannerView::BannerView(QWidget* parent)
    : ThemedWidget(parent), m_grantStop(new KeyStop([this] {
          if (m_grant) m_grant();
      }, this)),
      m_closeStop(new KeyStop([this] {
          if (m_dismiss) m_dismiss();
      }, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    m_grantStop->setObjectName(QStringLiteral("grant"));
    m_closeStop->setObjectName(QStringLiteral("close"));
    if (parent) {
        auto* shadow = new BannerShadow(parent);
        shadow->hide();
        m_shadow = shadow;
    }
}

BannerView::~BannerView() { delete m_shadow.data(); }

void BannerView::themeChanged() { placeShadow(); }

void BannerView::placeShadow() {
    auto* shadow = static_cast<BannerShadow*>(m_shadow.data());
    if (!shadow) return;
    shadow->setGeometry(geometry().adjusted(-shadowMargin, -shadowMargin, shadowMargin, shadowMargin));
    shadow->setLook(theme().isDark, m_opacity);
    shadow->setVisible(isVisible());
    shadow->stackUnder(this);
}

bool BannerView::event(QEvent* event) {
    const bool handled = ThemedWidget::event(event);
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ZOrderChange: placeShadow(); break;
    default: break;
    }
    if (event->type() == QEvent::Resize) placeStops();
    return handled;
}

void BannerView::setBanner(const AppState::Banner& banner) {
    m_banner = banner;
    placeStops();
    update();
}

void BannerView::placeStops() {
    const Layout l = layoutFor(QRectF(rect()));
    m_grantStop->place(l.grant, 4);
    m_closeStop->place(l.close, l.close.width() / 2);
}

void BannerView::setOpacity(double opacity) {
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (opacity == m_opacity) return;
    m_opacity = opacity;
    placeShadow();
    update();
}

QColor BannerView::tint(const Theme& theme, AppState::Banner::Kind kind) {
    switch (kind) {
    case AppState::Banner::Kind::info: return theme.accent;
    case AppState::Banner::Kind::success: return theme.success;
    case AppState::Banner::Kind::warning: return theme.warning;
    case AppState::Banner::Kind::error: return theme.danger;
    }
    return theme.accent;
}

std::string_view BannerView::symbol(AppState::Banner::Kind kind) {
    switch (kind) {
    case AppState::Banner::Kind::info: return "info.circle.fill";
    case AppState::Banner::Kind::success: return "checkmark.circle.fill";
    case AppState::Banner::Kind::warning: return "exclamationmark.triangle.fill";
    case AppState::Banner::Kind::error: return "xmark.octagon.fill";
    }
    return "info.circle.fill";
}

bool BannerView::offersGrantAccess(const AppState::Banner& banner) {
    return banner.kind == AppState::Banner::Kind::warning && banner.title == QLatin1String("Partial scan");
}

BannerView::Layout BannerView::layoutFor(const QRectF& card) const {
    Layout l;
    l.card = card;
    const QRectF inner = card.adjusted(paddingX, paddingY, -paddingX, -paddingY);
    const QSizeF icon = SymbolImage::size(kindSymbolSize);
    const QSizeF close = SymbolImage::size(closeSymbolSize);
    double right = inner.right();
    l.close = QRectF(right - close.width(), 0, close.width(), close.height());
    right = l.close.left() - spacing;
    if (offersGrantAccess(m_banner)) {
        const QFontMetricsF metrics(grantFont());
        double w = std::ceil(metrics.horizontalAdvance(grantTitle));
        l.grant = QRectF(right - w, 0, w, metrics.height());
        right = l.grant.left() - spacing;
    }
    const double textLeft = inner.left() + icon.width() + spacing;
    // The flexible gap after the texts is set apart by the row's spacing on both of its sides.
    const double textWidth = std::max(right - spacing - textLeft, 1.0);
    const double titleHeight = wrappedHeight(titleFont(), m_banner.title, textWidth);
    l.title = QRectF(textLeft, inner.top(), textWidth, titleHeight);
    double textHeight = titleHeight;
    if (m_banner.detail) {
        const double detailHeight = wrappedHeight(detailFont(), *m_banner.detail, textWidth);
        l.detail = QRectF(textLeft, l.title.bottom() + lineSpacing, textWidth, detailHeight);
        textHeight += lineSpacing + detailHeight;
    }
    // Every element of the row is centred on the row's middle.
    const double rowHeight = std::max({textHeight, icon.height(), close.height(), l.grant.height()});
    const double middle = inner.top() + rowHeight / 2;
    const double textShift = (rowHeight - textHeight) / 2;
    l.title.translate(0, textShift);
    if (!l.detail.isNull()) l.detail.translate(0, textShift);
    l.icon = QRectF(QPointF(inner.left(), middle - icon.height() / 2), icon);
    l.close.moveTop(middle - close.height() / 2);
    if (!l.grant.isNull()) l.grant.moveTop(middle - l.grant.height() / 2);
    return l;
}

double BannerView::cardHeight(double cardWidth) const {
    const Layout l = layoutFor(QRectF(0, 0, cardWidth, 1000));
    double content = std::max({l.title.height() + (l.detail.isNull() ? 0 : lineSpacing + l.detail.height()),
                               l.icon.height(), l.close.height(), l.grant.height()});
    return std::ceil(content + 2 * paddingY);
}

QRectF BannerView::closeRect() const { return layoutFor(QRectF(rect())).close; }

QRectF BannerView::grantRect() const { return layoutFor(QRectF(rect())).grant; }

void BannerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(m_opacity);
    const Theme& t = theme();
    const QColor kindTint = tint(t, m_banner.kind);
    const Layout l = layoutFor(QRectF(rect()));

    ShapePaint::fillRounded(painter, l.card, cornerRadius, t.surface);
    ShapePaint::strokeInside(painter, l.card, cornerRadius, ShapePaint::withOpacity(kindTint, 0.3));

    SymbolImage::draw(painter, l.icon, symbol(m_banner.kind), kindSymbolSize, QFont::DemiBold, kindTint);
    painter.setPen(t.text);
    drawWrapped(painter, l.title, titleFont(), m_banner.title);
    if (m_banner.detail) {
        painter.setPen(t.textSecondary);
        drawWrapped(painter, l.detail, detailFont(), *m_banner.detail);
    }
    if (!l.grant.isNull()) {
        painter.save();
        if (m_pressed == 2) painter.setOpacity(m_opacity * 0.7);
        painter.setFont(grantFont());
        painter.setPen(kindTint);
        painter.drawText(l.grant, Qt::AlignLeft | Qt::AlignVCenter, grantTitle);
        painter.restore();
    }
    painter.save();
    if (m_pressed == 1) painter.setOpacity(m_opacity * 0.7);
    SymbolImage::draw(painter, l.close, "xmark", closeSymbolSize, QFont::Bold, t.textTertiary);
    painter.restore();
}

void BannerView::mousePressEvent(QMouseEvent* event) {
    const Layout l = layoutFor(QRectF(rect()));
    const QPointF at = event->position();
    m_pressed = 0;
    if (event->button() == Qt::LeftButton) {
        if (l.close.adjusted(-closeSlop, -closeSlop, closeSlop, closeSlop).contains(at)) m_pressed = 1;
        else if (!l.grant.isNull() && l.grant.adjusted(-4, -4, 4, 4).contains(at)) m_pressed = 2;
    }
    // The card takes every press, so none falls through to the view beneath it.
    event->accept();
    update();
}

void BannerView::mouseReleaseEvent(QMouseEvent* event) {
    const Layout l = layoutFor(QRectF(rect()));
    const QPointF at = event->position();
    const int pressed = m_pressed;
    m_pressed = 0;
    update();
    if (pressed == 1 && l.close.adjusted(-closeSlop, -closeSlop, closeSlop, closeSlop).contains(at)) {
        if (m_dismiss) m_dismiss();
    } else if (pressed == 2 && l.grant.adjusted(-4, -4, 4, 4).contains(at)) {
        if (m_grant) m_grant();
    }
}

} // namespace tallymere
