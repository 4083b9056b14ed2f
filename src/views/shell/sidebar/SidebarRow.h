#pragma once
#include "views/components/controls/ClickableWidget.h"

class QPainter;

namespace tallymere {

// A sidebar row that is a button: as wide as the sidebar gives it, as tall as its content, lit
// under the pointer.
class SidebarRow : public ClickableWidget {
    Q_OBJECT
public:
    bool isHovering() const { return m_hovering; }

protected:
    explicit SidebarRow(QWidget* parent = nullptr);
    // Makes `painter` ready for the row's content: antialiased, the hover fill `hoverFill` laid as
    // a rounded rectangle of `radius` under the pointer, and the pressed opacity set while pressed.
    void beginPaint(QPainter& painter, double radius, const QColor& hoverFill) const;

    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_hovering = false;
};

} // namespace tallymere
