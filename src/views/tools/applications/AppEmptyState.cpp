#include "views/tools/applications/AppEmptyState.h"

#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"

#include <QFontMetricsF>
#include <QPainter>

namespace tallymere {

namespace {
constexpr double tile = 62, spacing = 10, promptPadding = 4;
QFont promptFont() { return Typography::font(16, QFont::DemiBold); }
QFont captionFont() { return Typography::font(11.5, QFont::Normal); }

double contentHeight() {
    return tile + spacing + promptPadding + QFontMetricsF(promptFont()).height() + spacing +
           2 * QFontMetricsF(captionFont()).height();
}
} // namespace

AppEmptyState::AppEmptyState(QWidget* parent) : ThemedWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QString AppEmptyState::prompt() { return QStringLiteral("Pick an app to see its full footprint"); }

QString AppEmptyState::caption() {
    return QStringLiteral("Tallymere adds up the bundle plus every cache, container,\npreference and saved-state file it left behind.");
}

QRectF AppEmptyState::tileRect(QSizeF size) {
    const double top = (size.height() - contentHeight()) / 2;
    return {(size.width() - tile) / 2, top, tile, tile};
}

QColor AppEmptyState::tileColor() const { return ShapePaint::withOpacity(theme().ramp[0], theme().isDark ? 0.22 : 0.34); }

void AppEmptyState::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const QRectF box = tileRect(QSizeF(size()));
    ShapePaint::fillRounded(painter, box, 16, tileColor());
    SymbolImage::draw(painter, box, "square.stack.3d.up", 24, QFont::Normal, ShapePaint::withOpacity(theme().text, 0.7));
    double y = box.bottom() + spacing + promptPadding;
    const double promptHeight = QFontMetricsF(promptFont()).height();
    painter.setFont(promptFont());
    painter.setPen(theme().text);
    painter.drawText(QRectF(0, y, width(), promptHeight), Qt::AlignHCenter | Qt::AlignVCenter, prompt());
    y += promptHeight + spacing;
    painter.setFont(captionFont());
    painter.setPen(theme().textSecondary);
    painter.drawText(QRectF(0, y, width(), 2 * QFontMetricsF(captionFont()).height()), Qt::AlignHCenter | Qt::AlignTop,
                     caption());
}

} // namespace tallymere
