#pragma once
#include "views/components/ThemedWidget.h"

#include <QRectF>

class QLineEdit;

namespace tallymere {

class AppState;
class KeyStop;

// The top bar's name filter: a magnifying glass, a one-line field 150 wide ("Filter by name…")
// and, while the query holds anything, a clear button, in a capsule whose one-pixel border turns
// accent (0.45) while the field has the keyboard, and becomes the focus ring when the keyboard
// came by Tab rather than by a click. Every edit writes the store's whole filter with the new query
// (the store re-filters 0.18 s after the last write); Return does nothing more. The field follows
// the store when another part of the window changes the query. Tab and a click enter the field,
// Escape leaves it; clearing keeps the keyboard in the field. The clear button is a stop of Tab
// after the field, which Space or Return press, handing the keyboard back to the field.
class FilterField : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr int fieldWidth = 150;

    explicit FilterField(AppState& state, QWidget* parent = nullptr);

    QLineEdit* lineEdit() const { return m_edit; }
    KeyStop* clearStop() const { return m_clearStop; }
    // Empty while the query is empty.
    QRectF clearRect() const;
    bool isFocused() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void themeChanged() override;

private:
    void follow();
    void write(const QString& query);
    void stylePalette();

    AppState& m_state;
    QLineEdit* m_edit;
    KeyStop* m_clearStop;
    bool m_clearPressed = false;
    bool m_clearable = false;
};

} // namespace tallymere
