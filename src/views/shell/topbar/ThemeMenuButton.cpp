#include "views/shell/topbar/ThemeMenuButton.h"

#include "state/AppState.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/ShapePaint.h"

#include <QAction>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>

#include <cmath>

namespace tallymere {

namespace {
constexpr double dotSize = 9, spacing = 5, chevronSize = 7;
QFont nameFont() { return Typography::font(11.5, QFont::DemiBold); }
} // namespace

ThemeMenuButton::ThemeMenuButton(AppState& state, QWidget* parent)
    : ClickableWidget({}, parent), m_state(state) {
    setToolTip(QStringLiteral("Theme"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAction([this] { open(); });
    connect(&m_state, &AppState::themeIDChanged, this, [this] {
        updateGeometry();
        update();
    });
}

QSize ThemeMenuButton::sizeHint() const {
    const QFontMetricsF metrics(nameFont());
    const double width = dotSize + spacing + metrics.horizontalAdvance(Theme::make(m_state.themeID()).name()) + spacing +
                         SymbolImage::size(chevronSize).width();
    return {int(std::ceil(width)), int(std::ceil(std::max(metrics.height(), dotSize)))};
}

QMenu* ThemeMenuButton::buildMenu() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (ThemeID id : ThemeIDs::all) {
        QAction* action = menu->addAction(Theme::make(id).name());
        action->setCheckable(true);
        action->setChecked(id == m_state.themeID());
        connect(action, &QAction::triggered, this, [this, id] { m_state.setThemeID(id); });
    }
    return menu;
}

void ThemeMenuButton::open() {
    QMenu* menu = buildMenu();
    menu->popup(mapToGlobal(QPoint(0, height() + 4)));
}

void ThemeMenuButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (isPressed()) painter.setOpacity(pressedOpacity);
    const Theme& t = theme();
    const double middle = height() / 2.0;
    const QRectF dot(0, middle - dotSize / 2, dotSize, dotSize);
    ShapePaint::fillRounded(painter, dot, dotSize / 2, t.accentSecondary);
    ShapePaint::strokeInside(painter, dot, dotSize / 2, t.stroke);
    const QString name = t.name();
    const double nameWidth = QFontMetricsF(nameFont()).horizontalAdvance(name);
    painter.setFont(nameFont());
    painter.setPen(t.textSecondary);
    painter.drawText(QRectF(dot.right() + spacing, 0, nameWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, name);
    const QSizeF chevron = SymbolImage::size(chevronSize);
    SymbolImage::draw(painter, QRectF(QPointF(dot.right() + spacing + nameWidth + spacing, middle - chevron.height() / 2), chevron),
                      "chevron.down", chevronSize, QFont::Bold, t.textSecondary);
}

} // namespace tallymere
