#pragma once
#include "views/components/controls/ClickableWidget.h"

#include <QString>

#include <functional>
#include <string>
#include <string_view>

namespace tallymere {

// A small icon button, 28 by 26, showing an on/off state its caller owns. On: the symbol in
// `accent` on an accent fill at 10 % with an accent border at 24 %, whatever the pointer does.
// Off: the symbol in textSecondary, on surfaceRaised while hovered (at once, no animation) and on
// nothing otherwise. A click runs the action and emits clicked(); it never flips the state itself.
class IconToggle : public ClickableWidget {
    Q_OBJECT
public:
    IconToggle(std::string_view symbol, const QString& help, bool isOn = false, std::function<void()> action = {},
               QWidget* parent = nullptr);

    void setSymbol(std::string_view symbol);
    void setHelp(const QString& help);
    void setOn(bool isOn);

    const std::string& symbol() const { return m_symbol; }
    QString help() const { return toolTip(); }
    bool isOn() const { return m_isOn; }
    bool isHovering() const { return m_hovering; }

    static constexpr int frameWidth = 28;
    static constexpr int frameHeight = 26;
    static constexpr double cornerRadius = 8;
    static constexpr double symbolSize = 12;

    QColor fillColor() const;
    QColor borderColor() const;
    QColor symbolColor() const;

    QSize sizeHint() const override { return {frameWidth, frameHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::string m_symbol;
    bool m_isOn;
    bool m_hovering = false;
};

} // namespace tallymere
