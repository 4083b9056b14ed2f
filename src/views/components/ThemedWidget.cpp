#include "views/components/ThemedWidget.h"

#include "views/components/controls/ThemedScrollBar.h"

#include <QEvent>
#include <QVariant>

namespace tallymere {

namespace {
// The dynamic property that marks a widget as the root of a themed subtree.
constexpr auto themeProperty = "tallymereThemeID";
} // namespace

ThemedWidget::ThemedWidget(QWidget* parent) : QWidget(parent) {
    if (auto inherited = inheritedTheme(parent)) m_theme = *inherited;
}

void ThemedWidget::setTheme(const Theme& theme) {
    const bool changed = theme.id != m_theme.id || theme.isDark != m_theme.isDark;
    m_theme = theme;
    if (!changed) return;
    themeChanged();
    updateGeometry();
    update();
}

void ThemedWidget::applyTheme(QWidget* root, const Theme& theme) {
    if (!root) return;
    root->setProperty(themeProperty, QString::fromLatin1(ThemeIDs::rawValue(theme.id)));
    propagateTheme(root, theme);
}

void ThemedWidget::propagateTheme(QWidget* root, const Theme& theme) {
    if (!root) return;
    if (auto* themed = qobject_cast<ThemedWidget*>(root)) themed->setTheme(theme);
    const auto children = root->findChildren<ThemedWidget*>();
    for (ThemedWidget* child : children) child->setTheme(theme);
    // Scroll bars are the toolkit's widgets, not components, but draw in the theme all the same.
    const auto bars = root->findChildren<ThemedScrollBar*>();
    for (ThemedScrollBar* bar : bars) bar->setTheme(theme);
}

std::optional<Theme> ThemedWidget::inheritedTheme(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant value = w->property(themeProperty);
        if (!value.isValid()) continue;
        if (auto id = ThemeIDs::fromRaw(value.toString().toStdString())) return Theme::make(*id);
    }
    return std::nullopt;
}

bool ThemedWidget::event(QEvent* event) {
    // A re-parented component looks again at once. Showing looks again too: a subtree built on
    // its own and attached to the window later moves only its top widget, so the components
    // inside it hear of their new ancestors only when they are shown.
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show) {
        if (auto inherited = inheritedTheme(parentWidget())) setTheme(*inherited);
    }
    return QWidget::event(event);
}

} // namespace tallymere
