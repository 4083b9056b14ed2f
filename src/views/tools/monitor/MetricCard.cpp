#include "views/tools/monitor/MetricCard.h"

#include "style/Motion.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>

namespace tallymere {

MetricCard::MetricCard(const QString& title, std::string symbol, QWidget* body, QWidget* parent)
    : Panel(14, 14, nullptr, parent), m_title(title), m_symbol(std::move(symbol)), m_count(new QVariantAnimation(this)),
      m_body(body) {
    m_count->setDuration(countMs);
    m_count->setEasingCurve(Motion::easeOut());
    connect(m_count, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_shownValue = value.toDouble();
        // A count steps at most every frameMs: the eye reads no more of a running number, and each
        // step repaints the header. The last step always lands.
        const int now = m_count->currentTime();
        const bool last = now >= m_count->duration();
        if (!m_format || (!last && now != 0 && now - m_stepAt < frameMs)) return;
        m_stepAt = now;
        showText(m_format(m_shownValue));
    });
    // The header is painted by the card; the content keeps the room for it above the body.
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, headerHeight() + int(bodySpacing), 0, 0);
    layout->setSpacing(0);
    if (m_body) layout->addWidget(m_body);
    setContent(content);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QFont MetricCard::titleFont() {
    QFont font = Typography::font(10, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.9);
    return font;
}

QFont MetricCard::headlineFont() { return Typography::font(17, QFont::Bold); }

int MetricCard::headerHeight() {
    const double symbol = SymbolImage::size(symbolSize).height();
    return int(std::ceil(std::max({symbol, QFontMetricsF(titleFont()).height(), QFontMetricsF(headlineFont()).height()})));
}

void MetricCard::setHeadline(const QString& headline) {
    m_count->stop();
    m_format = nullptr;
    m_headline = headline;
    showText(headline);
}

void MetricCard::setHeadline(double value, MonitorText::Format format) {
    // The lists that follow a sample refresh every card with the figures it already counts to:
    // the count goes on.
    if (format == m_format && value == m_value) return;
    const QString text = format(value);
    const bool counts = m_format == format;
    m_headline = text;
    m_value = value;
    if (!counts) {
        m_count->stop();
        m_format = format;
        m_shownValue = value;
        showText(text);
        return;
    }
    // From the figure drawn now, which is part-way there when the last count has not ended.
    m_count->stop();
    m_count->setStartValue(m_shownValue);
    m_count->setEndValue(value);
    m_stepAt = 0;
    m_count->start();
}

void MetricCard::showText(const QString& text) {
    if (text == m_shown) return;
    const QRectF before = headerGeometry().headline;
    m_shown = text;
    // Only the headline and the title beside it (which yields room to it) change.
    const QRectF after = headerGeometry().headline;
    update(before.united(after).united(headerGeometry().title).toAlignedRect().adjusted(-2, -2, 2, 2));
}

void MetricCard::setTint(MonitorText::ColorPick tint) {
    if (tint == m_tint) return;
    m_tint = tint;
    update();
}

MetricCard::HeaderGeometry MetricCard::headerGeometry() const {
    const double inset = padding();
    const QRectF row(inset, inset, std::max(width() - 2 * inset, 0.0), headerHeight());
    const QSizeF symbol = SymbolImage::size(symbolSize);
    HeaderGeometry g;
    g.symbol = QRectF(row.left(), row.center().y() - symbol.height() / 2, symbol.width(), symbol.height());
    const double headlineWidth = std::min(QFontMetricsF(headlineFont()).horizontalAdvance(m_shown), row.width());
    g.headline = QRectF(row.right() - headlineWidth, row.top(), headlineWidth, row.height());
    const double titleLeft = g.symbol.right() + headerSpacing;
    const double titleRight = g.headline.left() - headerSpacing;
    g.title = QRectF(titleLeft, row.top(), std::max(titleRight - titleLeft, 0.0), row.height());
    return g;
}

void MetricCard::paintEvent(QPaintEvent* event) {
    Panel::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const HeaderGeometry g = headerGeometry();
    const QColor tint = tintColor();
    SymbolImage::draw(painter, g.symbol, m_symbol, symbolSize, QFont::DemiBold, tint);
    const QFont title = titleFont();
    painter.setFont(title);
    painter.setPen(theme().textTertiary);
    painter.drawText(g.title, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(title).elidedText(caption(), Qt::ElideRight, g.title.width()));
    painter.setFont(headlineFont());
    painter.setPen(tint);
    painter.drawText(g.headline, Qt::AlignRight | Qt::AlignVCenter, m_shown);
}

} // namespace tallymere
