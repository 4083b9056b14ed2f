#pragma once
#include "views/components/controls/TurningMark.h"

namespace tallymere {

// A small indeterminate progress wheel: twelve spokes fading round, one turn a second. It turns
// only while it is shown.
class BusySpinner : public TurningMark {
    Q_OBJECT
public:
    explicit BusySpinner(double diameter, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_diameter;
};

} // namespace tallymere
