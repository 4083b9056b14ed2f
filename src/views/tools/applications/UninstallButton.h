#pragma once
#include "views/components/controls/ClickableWidget.h"

namespace tallymere {

// "Uninstall Completely": a trash symbol (11 bold) and the title (12 bold) in white, 6 apart,
// padded 14 by 9 on a danger capsule.
class UninstallButton : public ClickableWidget {
    Q_OBJECT
public:
    explicit UninstallButton(std::function<void()> action, QWidget* parent = nullptr);
    static QString title() { return QStringLiteral("Uninstall Completely"); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tallymere
