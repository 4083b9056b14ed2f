#pragma once
#include "views/components/ThemedWidget.h"

#include <QRectF>

namespace tallymere {

class AppState;

// How many folder levels the visualisations draw: a stack symbol, a small slider over 2...12 in
// whole steps (92 wide) and the store's depth cut to a whole number. Dragging writes every step to
// the store at once; the store keeps and persists the value.
//
// A stop of Tab, ringed round the whole slider while the keyboard is here (after a click only once
// a key is used): Left and Down step one level fewer, Right and Up one more, Home and End go to
// 2 and 12; a depth outside 2...12 (restored from the preferences) steps back inside.
class DepthSlider : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr int minimumDepth = 2;
    static constexpr int maximumDepth = 12;
    static constexpr double trackWidth = 92;

    explicit DepthSlider(AppState& state, QWidget* parent = nullptr);

    // The slider's track and knob as drawn, in widget coordinates.
    QRectF trackRect() const;
    QRectF knobRect() const;
    // The number shown beside the slider.
    QString depthText() const;
    // The step a point on the track stands for.
    int depthAt(double x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void write(double x);

    AppState& m_state;
    bool m_dragging = false;
};

} // namespace tallymere
