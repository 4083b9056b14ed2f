#pragma once
// The tool tabs' keyboard tests: a window that walks Tab in reading order as the main window does,
// holding one tab's view, with keys delivered where the keyboard is and pixels read back.
#include "style/Theme.h"
#include "support/KeyboardDrive.h"
#include "views/components/FocusChain.h"
#include "views/components/ThemedWidget.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/IconToggle.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <string>
#include <vector>

namespace tallymere::test {

class KeyboardHost : public QWidget, public KeyDriver {
public:
    explicit KeyboardHost(ThemeID theme = ThemeID::paper) : KeyDriver(static_cast<QWidget&>(*this)) {
        setFocusPolicy(Qt::ClickFocus);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        ThemedWidget::applyTheme(this, Theme::make(theme));
    }
    // Holds `view` (taking it over) at the size given, shown and active, holding the keyboard itself.
    void hold(QWidget* view, QSize size) {
        layout()->addWidget(view);
        resize(size);
        show();
        QApplication::setActiveWindow(this);
        (void)QTest::qWaitForWindowActive(this);
        setFocus(Qt::OtherFocusReason);
        settle();
    }
    // What a stop is called in these tests: a button's title, a toggle's help, a field's
    // placeholder, else its name.
    static std::string nameOf(QWidget* w) {
        if (!w) return "(none)";
        if (auto* button = qobject_cast<ActionButton*>(w)) return button->title().toStdString();
        if (auto* toggle = qobject_cast<IconToggle*>(w)) return toggle->help().toStdString();
        if (auto* field = qobject_cast<QLineEdit*>(w)) return field->placeholderText().toStdString();
        if (!w->objectName().isEmpty()) return w->objectName().toStdString();
        return QString::fromLatin1(w->metaObject()->className()).section(QStringLiteral("::"), -1).toStdString();
    }

protected:
    bool focusNextPrevChild(bool next) override { return FocusChain::step(this, next); }
    // The context-menu key, as the main window turns it into a menu request.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Menu && FocusChain::openContextMenu()) return event->accept();
        QWidget::keyPressEvent(event);
    }
};

} // namespace tallymere::test
