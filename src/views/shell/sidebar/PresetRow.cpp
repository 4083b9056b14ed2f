#include "views/shell/sidebar/PresetRow.h"

#include "state/AppState.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {
constexpr double padX = 7, padY = 5, spacing = 8, radius = 7, symbolFrame = 16;
QFont titleFont() { return Typography::font(11.5, QFont::Medium); }
QFont countFont() { return Typography::font(9.5, QFont::Normal); }
QFont sizeFont() { return Typography::font(11, QFont::DemiBold); }
} // namespace

PresetRow::PresetRow(AppState& state, PresetHit hit, QWidget* parent)
    : SidebarRow(parent), m_state(state), m_hit(std::move(hit)) {
    setToolTip(QString::fromStdString(m_hit.preset.blurb) + QStringLiteral(" — click to stage for cleanup"));
    setAction([this] { stageHit(); });
}

double PresetRow::ringRadius() const { return radius; }

QString PresetRow::countText() const {
    const std::size_t n = m_hit.nodes.size();
    return QString::number(n) + (n == 1 ? QStringLiteral(" item") : QStringLiteral(" items"));
}

void PresetRow::stageHit() {
    const std::size_t count = std::min(m_hit.nodes.size(), maxStaged);
    m_state.enqueue(std::vector<AppState::NodePtr>(m_hit.nodes.begin(), m_hit.nodes.begin() + std::ptrdiff_t(count)));
}

QSize PresetRow::sizeHint() const {
    const double text = QFontMetricsF(titleFont()).height() + 1 + QFontMetricsF(countFont()).height();
    return {220, int(std::ceil(text + 2 * padY))};
}

void PresetRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Theme& t = theme();
    beginPaint(painter, radius, t.surfaceRaised);
    const QRectF area(rect());
    const double middle = area.center().y();

    const QSizeF symbol = SymbolImage::size(11);
    SymbolImage::draw(painter, QRectF(QPointF(padX + (symbolFrame - symbol.width()) / 2, middle - symbol.height() / 2), symbol),
                      m_hit.preset.symbol, 11, QFont::Normal, m_hit.preset.regenerable ? t.success : t.warning);

    const QSizeF trailing = SymbolImage::size(9);
    const QRectF trailingBox(QPointF(area.right() - padX - trailing.width(), middle - trailing.height() / 2), trailing);
    SymbolImage::draw(painter, trailingBox, isHovering() ? "plus.circle.fill" : "chevron.right", 9, QFont::Bold,
                      isHovering() ? t.accent : ShapePaint::withOpacity(t.textTertiary, 0.6));

    const QString size = DisplayText::sizeText(m_hit.total);
    const double sizeWidth = std::ceil(QFontMetricsF(sizeFont()).horizontalAdvance(size));
    const QRectF sizeBox(trailingBox.left() - spacing - sizeWidth, 0, sizeWidth, height());
    painter.setFont(sizeFont());
    painter.setPen(t.textSecondary);
    painter.drawText(sizeBox, Qt::AlignRight | Qt::AlignVCenter, size);

    const double textLeft = padX + symbolFrame + spacing;
    // Between the texts and the size: the row's spacing on both sides of a gap of at least 4.
    const double textWidth = std::max(0.0, sizeBox.left() - spacing - 4 - spacing - textLeft);
    const double titleHeight = QFontMetricsF(titleFont()).height(), countHeight = QFontMetricsF(countFont()).height();
    const double top = middle - (titleHeight + 1 + countHeight) / 2;
    TextDraw::draw(painter, QRectF(textLeft, top, textWidth, titleHeight),
                   TextDraw::oneLine(QString::fromStdString(m_hit.preset.title)), {titleFont(), t.text});
    TextDraw::draw(painter, QRectF(textLeft, top + titleHeight + 1, textWidth, countHeight), countText(),
                   {countFont(), t.textTertiary});
}

} // namespace tallymere
