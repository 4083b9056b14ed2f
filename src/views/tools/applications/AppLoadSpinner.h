#pragma once
#include "views/components/controls/TurningMark.h"

namespace tallymere {

// A small indeterminate progress mark: an arc in textTertiary turning once a second while shown.
class AppLoadSpinner : public TurningMark {
    Q_OBJECT
public:
    explicit AppLoadSpinner(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tallymere
