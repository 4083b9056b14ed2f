#pragma once
#include "style/Theme.h"

#include <QWidget>

#include <optional>

namespace tallymere {

// Base of every self-painted component: it carries the Theme the component draws with.
//
// How the theme reaches a component: the window owns the current Theme and hands it down with
// ThemedWidget::applyTheme(window, theme), which records the theme's id on that widget and gives
// the theme to every ThemedWidget below it. A component added later picks the theme up from the
// nearest ancestor that carries one when it is re-parented or shown, so a view built after a
// theme change still draws in the current theme. Without any, a component draws in the paper
// theme.
class ThemedWidget : public QWidget {
    Q_OBJECT
public:
    explicit ThemedWidget(QWidget* parent = nullptr);

    const Theme& theme() const { return m_theme; }
    // Repaints and re-measures when the theme's id changes.
    void setTheme(const Theme& theme);

    // Gives `theme` to `root` (when it is a component) and to every component below it, and
    // records it on `root` for components added there later.
    static void applyTheme(QWidget* root, const Theme& theme);
    // Gives `theme` to `root` and every component below it without recording it: for a subtree
    // joining a parent that already has its theme.
    static void propagateTheme(QWidget* root, const Theme& theme);
    // The theme recorded on `widget` or its nearest ancestor; none when no ancestor carries one.
    static std::optional<Theme> inheritedTheme(const QWidget* widget);

protected:
    bool event(QEvent* event) override;
    // Called after the theme changed; components drop cached drawings here.
    virtual void themeChanged() {}

private:
    Theme m_theme;
};

} // namespace tallymere
