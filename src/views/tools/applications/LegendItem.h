#pragma once
#include "views/components/ThemedWidget.h"
#include "views/tools/applications/AppText.h"

namespace tallymere {

// A legend entry: a 9 x 9 swatch (radius 2), the label (11, textSecondary) and the value (11
// semibold, text), 6 apart. Passive.
class LegendItem : public ThemedWidget {
    Q_OBJECT
public:
    LegendItem(const QString& label, const QString& value, AppColor color, QWidget* parent = nullptr);
    QString label() const { return m_label; }
    QString value() const { return m_value; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_label, m_value;
    AppColor m_color;
};

} // namespace tallymere
