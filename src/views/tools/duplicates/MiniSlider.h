#pragma once
#include "views/components/ThemedWidget.h"

namespace tallymere {

// A small continuous slider (any value between its bounds, no steps): a thin track in `stroke`,
// the part left of the knob in `accent`, a round knob in `surfaceRaised` with a `stroke` edge.
// Pressing or dragging anywhere on it moves the knob to the pointer. Drawn at half opacity and
// deaf to the pointer while disabled. A stop of Tab: the arrows move it by a hundredth of its span,
// Page Up and Page Down by a tenth, Home and End to its bounds.
class MiniSlider : public ThemedWidget {
    Q_OBJECT
public:
    MiniSlider(double minimum, double maximum, double value, QWidget* parent = nullptr);

    double value() const { return m_value; }
    // Held within the bounds; emits valueChanged when the value changes.
    void setValue(double value);
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }

    // The knob's centre for a value, in widget coordinates.
    double knobX(double value) const;

    static constexpr double knobDiameter = 12;
    static constexpr double smallStep = 0.01, pageStep = 0.1;
    static constexpr double trackHeight = 3;

    QSize sizeHint() const override { return {110, 16}; }

signals:
    void valueChanged(double value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void followPointer(double x);

    double m_minimum;
    double m_maximum;
    double m_value;
};

} // namespace tallymere
