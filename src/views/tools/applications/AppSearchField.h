#pragma once
#include "views/components/ThemedWidget.h"

class QLineEdit;

namespace tallymere {

// The list's search field: a magnifying glass (10, textTertiary) and a plain text field (11.5,
// text) with the placeholder "Search apps…", padded 8 by 5 on a surface capsule edged in stroke.
// Reached by Tab, the edge becomes the focus ring, as the name filter's does. Down asks to go on
// into the list (downPressed()); Escape leaves the field.
class AppSearchField : public ThemedWidget {
    Q_OBJECT
public:
    explicit AppSearchField(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

    QLineEdit* lineEdit() const { return m_editor; }

signals:
    void textChanged(const QString& text);
    void downPressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void themeChanged() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_editor;
};

} // namespace tallymere
