#include "views/shell/sidebar/CategoryRow.h"

#include "state/AppState.h"
#include "core/NodeFilter.h"
#include "style/DisplayText.h"
#include "style/Typography.h"
#include "views/components/KeptText.h"
#include "views/components/canvas/ShapePaint.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double padX = 5, padY = 3, spacing = 7, radius = 5, dotSize = 8;
QFont titleFont() { return Typography::font(11, QFont::Normal); }
QFont sizeFont() { return Typography::font(10.5, QFont::Medium); }
} // namespace

CategoryRow::CategoryRow(AppState& state, FileCategory category, std::int64_t bytes, QWidget* parent)
    : SidebarRow(parent), m_state(state), m_category(category), m_bytes(bytes) {
    setAction([this] { toggle(); });
    connect(&m_state, &AppState::filterChanged, this, qOverload<>(&QWidget::update));
}

void CategoryRow::setBytes(std::int64_t bytes) {
    if (bytes == m_bytes) return;
    m_bytes = bytes;
    update();
}

double CategoryRow::ringRadius() const { return radius; }

bool CategoryRow::isOn() const {
    const auto& categories = m_state.filter().categories;
    return categories.empty() || categories.count(m_category) > 0;
}

void CategoryRow::toggle() {
    NodeFilter filter = m_state.filter();
    if (!filter.categories.erase(m_category)) filter.categories.insert(m_category);
    m_state.setFilter(filter);
}

QSize CategoryRow::sizeHint() const {
    return {220, int(std::ceil(std::max(QFontMetricsF(titleFont()).height(), dotSize) + 2 * padY))};
}

void CategoryRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Theme& t = theme();
    beginPaint(painter, radius, ShapePaint::withOpacity(t.surfaceRaised, 0.7));
    const QRectF area(rect());
    const bool on = isOn();
    const double middle = area.center().y();
    const QRectF dot(padX, middle - dotSize / 2, dotSize, dotSize);
    ShapePaint::fillRounded(painter, dot, dotSize / 2, ShapePaint::withOpacity(t.category(m_category), on ? 1.0 : 0.28));
    const QColor ink = on ? t.textSecondary : ShapePaint::withOpacity(t.textTertiary, 0.6);
    painter.setPen(ink);
    const QString size = DisplayText::sizeText(m_bytes);
    painter.setFont(sizeFont());
    KeptText::draw(painter, area.adjusted(0, 0, -padX, 0), Qt::AlignRight | Qt::AlignVCenter, size);
    painter.setFont(titleFont());
    KeptText::draw(painter, QRectF(dot.right() + spacing, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromLatin1(FileCategories::title(m_category).data()));
}

} // namespace tallymere
