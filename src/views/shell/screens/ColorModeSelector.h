#pragma once
#include "state/ThemeID.h"
#include "views/components/ThemedWidget.h"

#include <QRectF>

#include <array>
#include <vector>

class QVariantAnimation;

namespace tallymere {

class AppState;

// What the visualisations' colours mean: one button per colour mode ("By type", "By folder",
// "By age") in a small rounded tray. The store's mode is lit in `accent` on an accent wash; a
// click writes the mode into the store and the wash moves over in 0.18 s (ease-out).
//
// A stop of Tab, ringed round the tray while the keyboard is here (after a click only once a key
// is used); Left and Right, Home and End then choose a mode as a click on it does.
class ColorModeSelector : public ThemedWidget {
    Q_OBJECT
public:
    explicit ColorModeSelector(AppState& state, QWidget* parent = nullptr);

    // The buttons' rectangles (their whole padded area takes the click), in widget coordinates.
    QRectF buttonRect(ColorMode mode) const;
    // How lit a button is now, 0 to 1 (mid-animation included).
    double lit(ColorMode mode) const;
    void finishAnimation();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void follow();
    double buttonWidth(ColorMode mode) const;
    double buttonHeight() const;

    AppState& m_state;
    ColorMode m_from;
    ColorMode m_to;
    double m_progress = 1;
    int m_pressed = -1;
    QVariantAnimation* m_animation;
    // The buttons' sizes, measured once: the rail lays the tray out again on every change of view,
    // and shaping the titles each time cost more than the rest of that layout.
    std::vector<double> m_buttonWidths;
    double m_buttonHeight = 0;
};

} // namespace tallymere
