#pragma once
#include "views/components/ThemedWidget.h"

class QVariantAnimation;

namespace tallymere {

// A small indeterminate progress wheel: twelve spokes fading round, one turn a second. It turns
// only while it is shown.
class BusySpinner : public ThemedWidget {
    Q_OBJECT
public:
    explicit BusySpinner(double diameter, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    double m_diameter;
    int m_step = 0;
    QVariantAnimation* m_turn;
};

} // namespace tallymere
