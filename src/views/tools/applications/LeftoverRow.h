#pragma once
#include "views/components/controls/ClickableWidget.h"
#include "services/LeftoverItem.h"

#include <functional>

namespace tallymere {

// One support file of the selected app: its kind (9 semibold, textTertiary, in 122), its name
// (11, text, shortened in the middle), its size (11 semibold, textSecondary) and a button (10,
// textTertiary) that shows it in the file manager; 9 apart, 2 above and below. Only the button
// takes a click. By keyboard the row is a stop (its list walked by the arrows), ringed round the
// row; Right reaches the button, which Space or Return press.
class LeftoverRow : public ClickableWidget {
    Q_OBJECT
public:
    LeftoverRow(const LeftoverItem& item, std::function<void()> reveal, QWidget* parent = nullptr);
    const LeftoverItem& item() const { return m_item; }
    QRectF buttonRect() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    LeftoverItem m_item;
    std::function<void()> m_reveal;
    bool m_pressed = false;
};

} // namespace tallymere
