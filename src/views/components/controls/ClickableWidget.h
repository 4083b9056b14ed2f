#pragma once
#include "views/components/ThemedWidget.h"

#include <functional>

namespace tallymere {

// Base of the components that take clicks. A left press, released inside the component, emits
// clicked() and then runs the action; released outside, it does nothing. isPressed() holds from the
// press to the release, for drawing. An empty action only emits.
class ClickableWidget : public ThemedWidget {
    Q_OBJECT
public:
    explicit ClickableWidget(std::function<void()> action = {}, QWidget* parent = nullptr);

    void setAction(std::function<void()> action) { m_action = std::move(action); }

signals:
    void clicked();

protected:
    // Content is drawn at this opacity while pressed.
    static constexpr double pressedOpacity = 0.7;
    bool isPressed() const { return m_pressed; }

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> m_action;
    bool m_pressed = false;
};

} // namespace tallymere
