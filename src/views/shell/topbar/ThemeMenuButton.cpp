#include "views/shell/topbar/ThemeMenuButton.h"

#include "state/AppState.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/controls/FocusRing.h"

#include <QAction>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWidgetAction>

#include <cmath>

namespace tallymere {

namespace {
constexpr double dotSize = 9, spacing = 5, chevronSize = 7;
QFont nameFont() { return Typography::font(11.5, QFont::DemiBold); }

// One theme of the menu: its name in the menu's font and, for the current theme only, a checkmark
// after the name. No check column: the other rows carry nothing beside their names. It draws the
// menu's own highlight while the pointer or the keyboard is on it, and a click chooses it.
class ThemeRow : public QWidget {
public:
    static constexpr double padX = 12, padY = 4, checkSize = 12, checkGap = 6;

    ThemeRow(QWidgetAction* action, const QString& name, bool current, QMenu* menu)
        : QWidget(menu), m_action(action), m_menu(menu), m_name(name), m_current(current) {
    }

    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        const double check = SymbolImage::size(checkSize).width();
        return {int(std::ceil(2 * padX + metrics.horizontalAdvance(m_name) + checkGap + check)),
                int(std::ceil(std::max(metrics.height(), SymbolImage::size(checkSize).height()) + 2 * padY))};
    }
    // Where the name ends and the checkmark is drawn; empty for the other themes.
    QRectF checkRect() const {
        if (!m_current) return {};
        const QSizeF check = SymbolImage::size(checkSize);
        const double x = padX + QFontMetricsF(font()).horizontalAdvance(m_name) + checkGap;
        return {x, (height() - check.height()) / 2, check.width(), check.height()};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const bool lit = m_menu->activeAction() == m_action;
        const QPalette& palette = m_menu->palette();
        if (lit) painter.fillRect(rect(), palette.color(QPalette::Highlight));
        const QColor ink = palette.color(lit ? QPalette::HighlightedText : QPalette::WindowText);
        painter.setPen(ink);
        painter.setFont(font());
        painter.drawText(QRectF(padX, 0, width() - padX, height()), Qt::AlignLeft | Qt::AlignVCenter, m_name);
        if (m_current) SymbolImage::draw(painter, checkRect(), "checkmark", checkSize, QFont::DemiBold, ink);
    }
    void enterEvent(QEnterEvent* event) override {
        m_menu->setActiveAction(m_action);
        QWidget::enterEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
        m_menu->close();
        m_action->trigger();
    }

private:
    QWidgetAction* m_action;
    QMenu* m_menu;
    QString m_name;
    bool m_current;
};

} // namespace

ThemeMenuButton::ThemeMenuButton(AppState& state, QWidget* parent)
    : ClickableWidget({}, parent), m_state(state) {
    setToolTip(QStringLiteral("Theme"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAction([this] { open(); });
    // The label is bare text: the ring goes round it.
    FocusRing::drawOutside(this, 4, 6);
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
    // The rows repaint as the highlight moves between them, by pointer or by arrow keys.
    connect(menu, &QMenu::hovered, menu, [menu] {
        for (QAction* action : menu->actions())
            if (auto* row = static_cast<QWidgetAction*>(action)->defaultWidget()) row->update();
    });
    for (ThemeID id : ThemeIDs::all) {
        const QString name = Theme::make(id).name();
        auto* action = new QWidgetAction(menu);
        action->setText(name);
        action->setDefaultWidget(new ThemeRow(action, name, id == m_state.themeID(), menu));
        connect(action, &QAction::triggered, this, [this, id] { m_state.setThemeID(id); });
        menu->addAction(action);
    }
    return menu;
}

QRectF ThemeMenuButton::checkRect(const QWidget* row) {
    const auto* themeRow = dynamic_cast<const ThemeRow*>(row);
    return themeRow ? themeRow->checkRect() : QRectF();
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
