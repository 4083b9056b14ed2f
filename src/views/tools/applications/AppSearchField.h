#pragma once
#include "views/components/ThemedWidget.h"

class QLineEdit;

namespace tallymere {

// The list's search field: a magnifying glass (10, textTertiary) and a plain text field (11.5,
// text) with the placeholder "Search apps…", padded 8 by 5 on a surface capsule edged in stroke.
class AppSearchField : public ThemedWidget {
    Q_OBJECT
public:
    explicit AppSearchField(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

signals:
    void textChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void themeChanged() override;

private:
    QLineEdit* m_editor;
};

} // namespace tallymere
