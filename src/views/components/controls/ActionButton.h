#pragma once
#include "views/components/controls/ClickableWidget.h"

#include <QString>

#include <functional>
#include <string>
#include <string_view>

class QVariantAnimation;

namespace tallymere {

// The standard button: a symbol and a one-line title, centred in all the width it is offered, on a
// rounded rectangle (radius 9). Prominent: an `accent` fill with `onAccent` content and no visible
// border; plain: a `surface` fill with a `stroke` border and `text` content. Compact shrinks icon,
// title and vertical padding. Hovering eases the fill (plain: toward surfaceRaised; prominent: the
// accent to 88 % opacity) over 0.14 s. A click runs the action and emits clicked(). A disabled
// button takes no clicks and looks the same: callers dim what they disable. The focus ring lies
// inside a plain button's edge and, ringGap away, round a prominent one.
class ActionButton : public ClickableWidget {
    Q_OBJECT
public:
    ActionButton(const QString& title, std::string_view symbol, bool prominent = false, bool compact = false,
                 std::function<void()> action = {}, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setSymbol(std::string_view symbol);
    void setProminent(bool prominent);

    QString title() const { return m_title; }
    const std::string& symbol() const { return m_symbol; }
    bool isProminent() const { return m_prominent; }
    bool isHovering() const { return m_hovering; }

    QFont titleFont() const;
    double symbolSize() const { return m_compact ? 10 : 11.5; }
    double verticalPadding() const { return m_compact ? 6 : 8.5; }
    static constexpr double horizontalPadding = 10;
    static constexpr double cornerRadius = 9;
    static constexpr double ringGap = 3;

    // The colours at a hover progress between 0 (pointer away) and 1 (pointer over).
    QColor fillColor(double hover) const;
    QColor borderColor() const;
    QColor contentColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    double ringRadius() const override { return cornerRadius; }
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovering(bool hovering);
    void placeRing();
    double contentHeight() const;

    QString m_title;
    std::string m_symbol;
    bool m_prominent;
    bool m_compact;
    bool m_hovering = false;
    double m_hoverProgress = 0;
    QVariantAnimation* m_hoverAnimation;
};

} // namespace tallymere
