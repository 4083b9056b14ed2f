#pragma once
#include "views/components/controls/ClickableWidget.h"

class QMenu;

namespace tallymere {

class AppState;

// The theme menu of the top bar: a label of a small accentSecondary dot, the current theme's name
// and a chevron, all in textSecondary; a click opens a menu of the five themes with a checkmark at
// the store's theme, and choosing one writes it into the store (also when it is the current one).
// Each item is its theme's name; only the current theme's carries a checkmark, after the name.
class ThemeMenuButton : public ClickableWidget {
    Q_OBJECT
public:
    explicit ThemeMenuButton(AppState& state, QWidget* parent = nullptr);

    // The menu as it would open now (built afresh for each opening). Its actions are QWidgetActions
    // whose widgets draw the rows.
    QMenu* buildMenu();
    // Where the current theme's row draws its checkmark, in that row's coordinates; empty for
    // every other row.
    static QRectF checkRect(const QWidget* row);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void open();

    AppState& m_state;
};

} // namespace tallymere
