#pragma once
#include "views/components/ThemedWidget.h"

#include <QColor>
#include <QString>

#include <optional>

namespace tallymere {

// A label and value on one row: the label at the left (11 regular, textSecondary, wrapping when it
// must), the value at the right (11.5 semibold, one line, shortened in the middle when too long)
// in `tint` or, without one, `text`. At least 8 pixels separate them. Passive.
class StatRow : public ThemedWidget {
    Q_OBJECT
public:
    explicit StatRow(const QString& label = {}, const QString& value = {}, std::optional<QColor> tint = std::nullopt,
                     QWidget* parent = nullptr);

    void setLabel(const QString& label);
    void setValue(const QString& value);
    void setTint(std::optional<QColor> tint);

    QString label() const { return m_label; }
    QString value() const { return m_value; }
    const std::optional<QColor>& tint() const { return m_tint; }

    static QFont labelFont();
    static QFont valueFont();
    QColor valueColor() const { return m_tint.value_or(theme().text); }

    // Where label and value go within a row `width` wide, and the value text as shown there.
    struct Geometry {
        QRectF label;
        QRectF value;
        QString shownValue;
    };
    Geometry geometryFor(double width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Measuring text is what a row costs; layouts ask for heights many times per pass.
    double labelNatural() const;
    double valueNatural() const;

    QString m_label;
    QString m_value;
    std::optional<QColor> m_tint;
    mutable double m_labelNatural = -1;
    mutable double m_valueNatural = -1;
    mutable int m_heightWidth = -1;
    mutable int m_height = 0;
};

} // namespace tallymere
