#pragma once
#include "views/components/Panel.h"
#include "views/tools/monitor/MonitorText.h"

#include <string>

namespace tallymere {

// The frame of a live card: on a Panel (padding 14, radius 14), a header of the symbol (system
// symbol font 11, semibold) and the title in capitals (10 bold, tracking 0.9, textTertiary) at the
// left and the headline (17 bold) at the right end, symbol and headline in the tint; 10 below it
// the body the caller gives. As tall as header and body; it takes the width offered.
class MetricCard : public Panel {
    Q_OBJECT
public:
    // The card owns `body`.
    MetricCard(const QString& title, std::string symbol, QWidget* body, QWidget* parent = nullptr);

    void setHeadline(const QString& headline);
    void setTint(MonitorText::ColorPick tint);
    QString title() const { return m_title; }
    QString caption() const { return m_title.toUpper(); }
    QString headline() const { return m_headline; }
    QColor tintColor() const { return m_tint(theme()); }
    QWidget* body() const { return m_body; }

    static QFont titleFont();
    static QFont headlineFont();
    static constexpr double symbolSize = 11;
    static constexpr double headerSpacing = 7;
    static constexpr double bodySpacing = 10;
    // Height of the header row.
    static int headerHeight();
    // Where the header's parts are drawn, in the card's coordinates.
    struct HeaderGeometry {
        QRectF symbol, title, headline;
    };
    HeaderGeometry headerGeometry() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    std::string m_symbol;
    QString m_headline;
    MonitorText::ColorPick m_tint = MonitorText::textColor;
    QWidget* m_body;
};

} // namespace tallymere
