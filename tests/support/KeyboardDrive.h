#pragma once
// A window driven by keyboard as a user's would be, and its pixels read back: what the shell's and
// the tool tabs' keyboard tests share, with the colour sums their rings are checked by.
#include "views/components/ThemedWidget.h"
#include "views/components/controls/FocusRing.h"

#include <QApplication>
#include <QColor>
#include <QTest>
#include <QWidget>

#include <cmath>
#include <cstdlib>

namespace tallymere::test {

// Widgets added a moment ago are shown and laid out by posted work, which may post more (nested
// layouts); lets all of it land.
inline void settle() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Whether two colours are the same to within `tolerance` per channel.
inline bool near(const QColor& a, const QColor& b, int tolerance = 3) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// `over` at `opacity` on an opaque `under`.
inline QColor blend(const QColor& under, const QColor& over, double opacity) {
    auto mix = [&](int u, int o) { return int(std::lround(u + (o - u) * opacity)); };
    return QColor(mix(under.red(), over.red()), mix(under.green(), over.green()), mix(under.blue(), over.blue()));
}

// Keys pressed into `window` where its keyboard is, each followed by what it set off.
class KeyDriver {
public:
    explicit KeyDriver(QWidget& window) : m_window(&window) {}

    QWidget* focused() const { return QApplication::focusWidget(); }
    // To the widget holding the keyboard, or to the window where none does.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(focused() ? focused() : m_window, Qt::Key(key), modifiers);
        settle();
    }
    // Presses Tab until `target` holds the keyboard; false when it never comes round.
    bool tabUntil(QWidget* target) {
        for (int i = 0; i < 80 && focused() != target; ++i) press(Qt::Key_Tab);
        return focused() == target;
    }
    // The pixel of `widget` at `at`, as the window renders it now.
    QColor pixel(QWidget* widget, QPoint at) const {
        return m_window->grab().toImage().pixelColor(widget->mapTo(m_window, at));
    }
    // The focus ring as it shows over `under`, in the window's theme.
    QColor ringOver(const QColor& under) const {
        return blend(under, ThemedWidget::inheritedTheme(m_window).value_or(Theme()).accent, FocusRing::opacity);
    }

private:
    QWidget* m_window;
};

} // namespace tallymere::test
