#pragma once
#include "views/components/ThemedWidget.h"

#include <QColor>
#include <QString>

#include <optional>
#include <string>

namespace tallymere {

// A small capsule tag: an optional symbol (8.5 bold) before the text (10 semibold), padded 8 left
// and right and 3.5 above and below. The capsule is filled with the tint (textTertiary without one)
// at 16 % (20 % in a dark theme) and bordered with it at 22 %; symbol and text are the tint
// (textSecondary without one) blended 35 % toward `text`.
class Chip : public ThemedWidget {
    Q_OBJECT
public:
    explicit Chip(const QString& text = {}, std::optional<std::string> symbol = std::nullopt,
                  std::optional<QColor> tint = std::nullopt, QWidget* parent = nullptr);

    void setText(const QString& text);
    void setSymbol(std::optional<std::string> symbol);
    void setTint(std::optional<QColor> tint);
    QString text() const { return m_text; }
    const std::optional<std::string>& symbol() const { return m_symbol; }
    const std::optional<QColor>& tint() const { return m_tint; }

    static constexpr double symbolSize = 8.5;
    static constexpr double horizontalPadding = 8;
    static constexpr double verticalPadding = 3.5;
    static QFont textFont();

    static QColor fillColor(const Theme& theme, const std::optional<QColor>& tint);
    static QColor borderColor(const Theme& theme, const std::optional<QColor>& tint);
    static QColor inkColor(const Theme& theme, const std::optional<QColor>& tint);

    // The chip's size and look on their own, for canvases such as the hover readout.
    static QSizeF measure(const QString& text, bool hasSymbol);
    static void paint(QPainter& painter, const QRectF& rect, const Theme& theme, const QString& text,
                      const std::optional<std::string>& symbol, const std::optional<QColor>& tint);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    std::optional<std::string> m_symbol;
    std::optional<QColor> m_tint;
};

} // namespace tallymere
