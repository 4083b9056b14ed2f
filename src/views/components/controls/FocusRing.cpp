#include "views/components/controls/FocusRing.h"

#include "views/components/canvas/ShapePaint.h"
#include "views/components/ThemedWidget.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QAbstractScrollArea>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tallymere::FocusRing {

namespace {

constexpr auto followerName = "tallymereFocusRing";

bool shownOn(const QWidget* holder);

// The ring round a control that draws no shape of its own. It lives in the nearest widget around
// the control with room for it (never beyond a scrolling list's content, which moves under it),
// over everything else there, and follows the control and the widgets between the two.
class Frame : public QWidget {
public:
    Frame(QWidget* holder, double outset, double radius, std::function<QRectF()> area)
        : QWidget(holder->parentWidget()), m_holder(holder), m_outset(outset), m_radius(radius),
          m_area(std::move(area)) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }
    void follow() {
        unwatch();
        if (!m_holder || !m_holder->parentWidget() || !shownOn(m_holder)) {
            if (!isHidden()) hide();
            return;
        }
        const int o = int(std::ceil(m_outset));
        const QRectF area = m_area ? m_area() : QRectF(m_holder->rect());
        if (area.isEmpty()) {
            if (!isHidden()) hide();
            return;
        }
        QWidget* host = m_holder->parentWidget();
        QRect around = area.toAlignedRect().translated(m_holder->pos()).adjusted(-o, -o, o, o);
        while (!host->rect().contains(around) && host->parentWidget() && !host->isWindow() &&
               !isScrolled(host)) {
            around.translate(host->pos());
            host = host->parentWidget();
        }
        for (QWidget* w = m_holder; w && w != host; w = w->parentWidget()) {
            w->installEventFilter(this);
            m_watched.emplace_back(w);
        }
        if (parentWidget() != host) setParent(host);
        setGeometry(around);
        raise();
        show();
        update();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize) follow();
        return false;
    }
    void paintEvent(QPaintEvent*) override {
        if (!m_holder) return;
        QPainter painter(this);
        Theme theme = Theme::make(ThemeID::paper);
        if (auto* themed = qobject_cast<const ThemedWidget*>(m_holder.data())) theme = themed->theme();
        // A negative radius stands for a capsule, whatever its size now.
        const QRectF ring(rect());
        paint(painter, ring, m_radius < 0 ? ShapePaint::capsuleRadius(ring) : m_radius + m_outset, theme);
    }

private:
    // A scrolling list's content: what lies around it does not move with it.
    static bool isScrolled(const QWidget* w) {
        const QWidget* parent = w->parentWidget();
        return parent && parent->parentWidget() && qobject_cast<const QAbstractScrollArea*>(parent->parentWidget()) &&
               static_cast<const QAbstractScrollArea*>(parent->parentWidget())->viewport() == parent;
    }
    void unwatch() {
        for (const QPointer<QWidget>& w : m_watched)
            if (w) w->removeEventFilter(this);
        m_watched.clear();
    }

    QPointer<QWidget> m_holder;
    double m_outset;
    double m_radius;
    std::function<QRectF()> m_area;
    std::vector<QPointer<QWidget>> m_watched;
};

class Follower : public QObject {
public:
    Follower(QWidget* holder, QWidget* canvas, Keys keys)
        : QObject(holder), m_holder(holder), m_canvas(canvas ? canvas : holder), m_keys(keys) {
        setObjectName(QLatin1String(followerName));
        holder->installEventFilter(this);
        if (m_canvas != holder) m_canvas->installEventFilter(this);
    }
    // The frame may live in a widget that outlasts the control.
    ~Follower() override {
        if (m_frame) m_frame->deleteLater();
    }

    void drawOutside(double outset, double radius, std::function<QRectF()> area) {
        if (m_frame) m_frame->deleteLater();
        m_frame = nullptr;
        if (outset > 0) m_frame = new Frame(m_holder, outset, radius, std::move(area));
        repaint();
    }
    void refresh() { repaint(); }
    bool drawsOutside() const { return bool(m_frame); }

    bool shown() const { return m_shown; }
    void setShown(bool shown) {
        if (m_shown == shown) return;
        m_shown = shown;
        repaint();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A click on the control puts the pointer in charge again: the ring goes until a key.
        if (event->type() == QEvent::MouseButtonPress && (watched == m_holder || watched == m_canvas)) {
            setShown(false);
            return false;
        }
        if (watched != m_holder) return false;
        switch (event->type()) {
        case QEvent::FocusIn:
            m_shown = shownOnFocus(static_cast<QFocusEvent*>(event)->reason(), m_shown);
            repaint();
            break;
        case QEvent::FocusOut:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Hide: repaint(); break;
        case QEvent::KeyPress:
            if (m_keys == Keys::showRing && usesKey(static_cast<QKeyEvent*>(event))) setShown(true);
            break;
        default: break;
        }
        return false;
    }

private:
    static bool usesKey(const QKeyEvent* event) {
        switch (event->key()) {
        // Tab leaves; a modifier alone does nothing yet.
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
        case Qt::Key_AltGr: return false;
        default: return true;
        }
    }
    void repaint() {
        if (m_frame) m_frame->follow();
        else if (m_canvas) m_canvas->update();
    }

    QWidget* m_holder;
    QPointer<QWidget> m_canvas;
    Keys m_keys;
    bool m_shown = false;
    QPointer<Frame> m_frame;
};

Follower* followerOf(const QWidget* holder) {
    return holder ? holder->findChild<Follower*>(QLatin1String(followerName), Qt::FindDirectChildrenOnly) : nullptr;
}

bool shownOn(const QWidget* holder) {
    const Follower* follower = followerOf(holder);
    return follower && follower->shown() && holder->hasFocus();
}

} // namespace

QColor color(const Theme& theme) { return ShapePaint::withOpacity(theme.accent, opacity); }

bool shownOnFocus(Qt::FocusReason reason, bool shownBefore) {
    switch (reason) {
    case Qt::MouseFocusReason: return false;
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason: return shownBefore;
    default: return true;
    }
}

void paint(QPainter& painter, const QRectF& rect, double radius, const Theme& theme) {
    if (rect.width() < 2 * width || rect.height() < 2 * width) return;
    // A pen centred half its width in keeps the whole ring inside the shape.
    const QRectF inner = rect.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    const double r = std::clamp(radius - width / 2, 0.0, ShapePaint::capsuleRadius(inner));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(color(theme), width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(inner, r, r);
    painter.restore();
}

void follow(QWidget* holder, QWidget* canvas, Keys keys) {
    if (!holder || followerOf(holder)) return;
    new Follower(holder, canvas, keys);
}

bool shown(const QWidget* holder) { return shownOn(holder); }

void drawOutside(QWidget* holder, double outset, double radius, std::function<QRectF()> area) {
    if (Follower* follower = followerOf(holder)) follower->drawOutside(outset, radius, std::move(area));
}

void refresh(QWidget* holder) {
    if (Follower* follower = followerOf(holder)) follower->refresh();
}

bool isDrawnOutside(const QWidget* holder) {
    const Follower* follower = followerOf(holder);
    return follower && follower->drawsOutside();
}

void setShown(QWidget* holder, bool shown) {
    if (Follower* follower = followerOf(holder)) follower->setShown(shown);
}

} // namespace tallymere::FocusRing
