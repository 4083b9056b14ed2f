#pragma once
#include "views/components/controls/ClickableWidget.h"

#include <QPointer>

#include <functional>

class QKeyEvent;

namespace tallymere {

// The keyboard's stop for a control its owner paints itself (a button drawn inside a header, a
// banner's close mark): an invisible widget laid over the control, which takes no pointer input,
// so clicks still reach the owner. Tab stops here, Space and Return run the action, and the focus
// ring is drawn round the control: inside the edge of a control with an outline of its own, as on
// every button, a little outside one without. Keys of its own (the arrows of a row of
// tabs) go to an optional handler first.
//
// The stop lives in `host`, the owner itself or a widget around it with room for the ring beyond
// the owner's edges, and follows the owner as it moves, resizes, hides and shows.
class KeyStop : public ClickableWidget {
    Q_OBJECT
public:
    // Room between the edge of a control without an outline and the ring.
    static constexpr double outset = 3;

    KeyStop(std::function<void()> action, QWidget* owner, QWidget* host = nullptr);

    // Lays the stop over `control` (in the owner's coordinates), whose corners have `radius`, with
    // the ring `around` its edge (0 for one with an outline); an empty rectangle takes the stop away.
    void place(const QRectF& control, double radius, double around = outset);

    // Moves the stop into `host`, a widget around the owner with room for the ring (for an owner
    // that gets its parent after it is made).
    void setHost(QWidget* host);

    // Runs before the stop's own keys; true when it took the key.
    void setKeyHandler(std::function<bool(QKeyEvent*)> handler) { m_keys = std::move(handler); }

protected:
    double ringRadius() const override { return m_radius; }
    void paintEvent(QPaintEvent*) override {}
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();

    QPointer<QWidget> m_owner;
    std::function<bool(QKeyEvent*)> m_keys;
    QRectF m_control;
    double m_around = outset;
    double m_radius = 8;
};

} // namespace tallymere
