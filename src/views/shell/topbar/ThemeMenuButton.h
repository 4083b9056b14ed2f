#pragma once
#include "views/components/ClickableWidget.h"

class QMenu;

namespace tallymere {

class AppState;

// The theme menu of the top bar: a label of a small accentSecondary dot, the current theme's name
// and a chevron, all in textSecondary; a click opens a menu of the five themes with a checkmark at
// the store's theme, and choosing one writes it into the store (also when it is the current one).
class ThemeMenuButton : public ClickableWidget {
    Q_OBJECT
public:
    explicit ThemeMenuButton(AppState& state, QWidget* parent = nullptr);

    // The menu as it would open now (built afresh for each opening).
    QMenu* buildMenu();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void open();

    AppState& m_state;
};

} // namespace tallymere
