#pragma once
#include "views/components/ThemedWidget.h"

class QVBoxLayout;

namespace tallymere {

// A card: its content inset by `padding` on all four sides, on a rounded `surface` fill with a
// one-pixel `stroke` border inside the edge. It has no size of its own: it is as large as the
// padded content and whatever room its container gives it. Passive: it ignores the pointer.
class Panel : public ThemedWidget {
    Q_OBJECT
public:
    // The panel owns `content` (it may be null and be set later).
    explicit Panel(double padding = 14, double radius = 14, QWidget* content = nullptr, QWidget* parent = nullptr);

    // Replaces the content; the previous content is deleted.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    double padding() const { return m_padding; }
    double radius() const { return m_radius; }

    // The card look on its own, for views that draw cards inside a canvas.
    static void paintCard(QPainter& painter, const QRectF& rect, double radius, const Theme& theme);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Whether every part of the region lies clear of the card's outline and rounded corners.
    bool isDeepInside(const QRegion& region) const;
    double m_padding;
    double m_radius;
    QVBoxLayout* m_layout;
    QWidget* m_content = nullptr;
};

} // namespace tallymere
