#pragma once
#include "style/Theme.h"

#include <QScrollBar>

class QAbstractScrollArea;

namespace tallymere {

// The window's one scroll bar: a thin strip with no arrows and no trough, only a rounded handle in
// the theme's tertiary ink at partial opacity, so a list shows that it scrolls without a heavy
// frame on any theme. It follows the theme as a ThemedWidget does: ThemedWidget::applyTheme reaches
// it, and it picks up the theme of its nearest themed ancestor when it is re-parented or shown.
class ThemedScrollBar : public QScrollBar {
    Q_OBJECT
public:
    static constexpr int thickness = 8;
    static constexpr double handleOpacity = 0.55;

    explicit ThemedScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    const Theme& theme() const { return m_theme; }
    void setTheme(const Theme& theme);
    // The handle's colour in `theme`.
    static QColor handleColor(const Theme& theme);

    // Gives `area` themed bars in both directions in place of the toolkit's; the area's scroll bar
    // policies stay as they were.
    static void install(QAbstractScrollArea* area);

protected:
    bool event(QEvent* event) override;

private:
    Theme m_theme;
};

} // namespace tallymere
