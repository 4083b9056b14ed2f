#pragma once
#include "views/components/ThemedWidget.h"

#include <QColor>
#include <QString>

#include <optional>

class QVariantAnimation;

namespace tallymere {

// A ring showing how full something is, with a big label (15 bold, `text`) over a small caption
// (8 semibold, textTertiary) in its middle. The ring starts at 12 o'clock and runs clockwise over
// `fraction` of the circle on a surfaceRaised track, both 7 wide. A fraction of 0 or below still
// shows a round dot at 12 o'clock; above 1 a full ring. A new fraction sweeps the ring to its new
// length over 0.5 s (ease-out).
//
// The circle is `diameter` across; its strokes reach 3.5 beyond it, so the widget is 7 larger than
// the diameter and the circle sits centred with that margin all round.
class DonutGauge : public ThemedWidget {
    Q_OBJECT
public:
    DonutGauge(double fraction, const QString& label, const QString& caption, double diameter,
               std::optional<QColor> tint = std::nullopt, QWidget* parent = nullptr);

    // Animates the ring to the new fraction.
    void setFraction(double fraction);
    void setLabel(const QString& label);
    void setTint(std::optional<QColor> tint);

    double fraction() const { return m_fraction; }
    // The fraction the ring shows right now (mid-sweep included).
    double shownFraction() const { return m_shown; }
    double diameter() const { return m_diameter; }
    QString label() const { return m_label; }

    static constexpr double lineWidth = 7;
    static constexpr int sweepDurationMs = 500;

    // The ring colour: the tint when given, else danger above 0.92, warning above 0.78,
    // accentSecondary otherwise.
    static QColor ringTint(const Theme& theme, double fraction, const std::optional<QColor>& tint);
    // The length of the ring as a share of the circle: the fraction held to 0.001...1.
    static double trimmed(double fraction);
    static QFont labelFont();
    static QFont captionFont();

    // The whole gauge drawn into `circle` (the circle's bounding square), the ring's length and
    // colour given apart, as mid-sweep drawing needs.
    static void paintRing(QPainter& painter, const QRectF& circle, const Theme& theme, double shownFraction,
                          const QColor& ring, const QString& label, const QString& caption);

    // The circle's bounding square inside the widget.
    QRectF circleRect() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_fraction;
    double m_shown;
    QString m_label;
    QString m_caption;
    double m_diameter;
    std::optional<QColor> m_tint;
    QVariantAnimation* m_sweep;
};

} // namespace tallymere
