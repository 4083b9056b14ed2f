#pragma once
#include "views/components/controls/Panel.h"
#include "views/tools/monitor/MonitorText.h"

#include <string>

class QVariantAnimation;

namespace tallymere {

// The frame of a live card: on a Panel (padding 14, radius 14), a header of the symbol (system
// symbol font 11, semibold) and the title in capitals (10 bold, tracking 0.9, textTertiary) at the
// left and the headline (17 bold) at the right end, symbol and headline in the tint; 10 below it
// the body the caller gives. As tall as header and body; it takes the width offered.
//
// A headline given as a figure counts from the figure shown to the new one (a short ease-out),
// written through the figure's format at each step; the card repaints only when the written text
// changes, so a count that moves no digit costs nothing.
class MetricCard : public Panel {
    Q_OBJECT
public:
    // The card owns `body`.
    MetricCard(const QString& title, std::string symbol, QWidget* body, QWidget* parent = nullptr);

    static constexpr int countMs = 400;
    static constexpr int frameMs = 40;

    // A fixed headline, shown at once.
    void setHeadline(const QString& headline);
    // A headline figure: the card counts to it from the figure it shows, when it shows one written
    // the same way; otherwise (the first figure, a change of format) it is shown at once. The figure
    // it already shows or counts to leaves it as it is, mid-count too.
    void setHeadline(double value, MonitorText::Format format);
    void setTint(MonitorText::ColorPick tint);
    QString title() const { return m_title; }
    QString caption() const { return m_title.toUpper(); }
    // The headline the card is showing or counting toward.
    QString headline() const { return m_headline; }
    // The headline as drawn now, part-way through a count.
    QString shownHeadline() const { return m_shown; }
    // The count between two figures, running while it lasts.
    QVariantAnimation* count() const { return m_count; }
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
    void showText(const QString& text);

    QString m_title;
    std::string m_symbol;
    QString m_headline;
    QString m_shown;
    MonitorText::Format m_format = nullptr;
    double m_value = 0;       // the figure counted toward
    double m_shownValue = 0;  // the figure drawn now
    QVariantAnimation* m_count;
    int m_stepAt = 0; // the count's time at its last repaint
    MonitorText::ColorPick m_tint = MonitorText::textColor;
    QWidget* m_body;
};

} // namespace tallymere
