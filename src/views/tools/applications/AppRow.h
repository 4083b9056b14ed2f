#pragma once
#include "views/components/controls/ClickableWidget.h"
#include "services/InstalledApp.h"

namespace tallymere {

// One app of the list: its icon (24), its name (12 medium) over its leftover bytes ("+1.2 MB
// leftovers", 9, warning at 0.9) or its version ("v1.2", 9, textTertiary), and its footprint at
// the right (11 semibold, textSecondary), padded 11 by 6. Behind it, 5 in from each side, a
// rounded highlight (radius 7): accent at 0.18 when selected, else surfaceRaised at 0.7 under
// the pointer. A click anywhere on the row, margins included, runs the action.
//
// By keyboard the row selects its app as it takes the keyboard (the arrows walking the list, or
// Tab), wearing the ring on its highlight; Return then goes on into the app's detail.
class AppRow : public ClickableWidget {
    Q_OBJECT
public:
    AppRow(const InstalledApp& app, std::function<void()> select, QWidget* parent = nullptr);

    const InstalledApp& app() const { return m_app; }
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }
    void setHovering(bool hovering);
    // Run by Return, after the row's own action: into the detail of the app.
    void setEnter(std::function<void()> enter) { m_enter = std::move(enter); }
    // The highlight's fill; transparent for none.
    QColor highlightColor() const;
    QRectF highlightRect() const;
    QString caption() const;
    QString totalText() const;

    static QFont nameFont();
    static QFont captionFont();
    static QFont totalFont();
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    QRectF ringRect() const override { return highlightRect(); }
    double ringRadius() const override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    InstalledApp m_app;
    bool m_selected = false;
    bool m_hovering = false;
    std::function<void()> m_enter;
};

} // namespace tallymere
