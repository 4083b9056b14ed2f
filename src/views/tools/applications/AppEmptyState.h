#pragma once
#include "views/components/ThemedWidget.h"

namespace tallymere {

// The detail pane before an app is picked: centred, 10 apart, a 62 x 62 tile (radius 16, the
// first ramp colour at 0.34, 0.22 when dark) holding the stack symbol (24, text at 0.7), the
// prompt (16 semibold) and a two-line caption (11.5, textSecondary, centred). Passive.
class AppEmptyState : public ThemedWidget {
    Q_OBJECT
public:
    explicit AppEmptyState(QWidget* parent = nullptr);
    static QString prompt();
    static QString caption();
    // The tile's place in a pane of `size`.
    static QRectF tileRect(QSizeF size);
    QColor tileColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tallymere
