#pragma once
#include "views/components/ThemedWidget.h"

#include <QTimer>

namespace tallymere {

// A small indeterminate progress mark: an arc in textTertiary turning once a second while shown.
class AppLoadSpinner : public ThemedWidget {
    Q_OBJECT
public:
    explicit AppLoadSpinner(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_timer;
    int m_step = 0;
};

} // namespace tallymere
