#pragma once
#include "views/components/ThemedWidget.h"
#include "views/tools/monitor/MonitorText.h"

namespace tallymere {

// A figure with its caption above it: the label in capitals (8 bold, tracking 0.6, textTertiary)
// over the value (12 semibold, in the value colour), left-aligned, as wide as the wider of the
// two. Passive.
class MiniStat : public ThemedWidget {
    Q_OBJECT
public:
    explicit MiniStat(QWidget* parent = nullptr);

    void setStat(const MonitorText::Stat& stat);
    QString caption() const { return m_stat.label.toUpper(); }
    QString value() const { return m_stat.value; }
    QColor valueColor() const { return m_stat.color(theme()); }

    static QFont labelFont();
    static QFont valueFont();
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MonitorText::Stat m_stat;
};

} // namespace tallymere
