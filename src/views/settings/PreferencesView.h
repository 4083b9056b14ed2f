#pragma once
#include <QColor>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace tallymere {

class AppState;

// The Settings window's content: theme, size mode, labels and default depth of the one store,
// and whether this process may read every folder. Every control writes the store at once (the
// store persists what it keeps); there is nothing to apply or cancel. Drawn in the desktop's own
// form fonts and colours, exactly 460 by 400. Escape and Ctrl+W close its window.
class PreferencesView : public QWidget {
    Q_OBJECT
public:
    static constexpr int fixedWidth = 460;
    static constexpr int fixedHeight = 400;
    // The status colours of the access row.
    static QColor grantedColor() { return QColor(52, 199, 89); }
    static QColor notGrantedColor() { return QColor(255, 149, 0); }

    explicit PreferencesView(AppState& state, QWidget* parent = nullptr);

    // The controls, for tests and for keyboard focus order.
    QComboBox* themePicker() const { return m_theme; }
    QCheckBox* allocatedToggle() const { return m_allocated; }
    QCheckBox* labelsToggle() const { return m_labels; }
    QSlider* depthSlider() const { return m_depth; }
    QLabel* depthText() const { return m_depthText; }
    QLabel* accessStatus() const { return m_access; }
    QPushButton* openSettingsButton() const { return m_openSettings; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Brings the controls up to date with the store's display preferences.
    void refreshControls();
    // Asks whether every folder can be read: when the view is shown or its window comes to the
    // front, never on a change of the store, which does not observe it.
    void refreshAccess();

    AppState& m_state;
    QComboBox* m_theme = nullptr;
    QCheckBox* m_allocated = nullptr;
    QCheckBox* m_labels = nullptr;
    QSlider* m_depth = nullptr;
    QLabel* m_depthText = nullptr;
    QLabel* m_access = nullptr;
    QPushButton* m_openSettings = nullptr;
};

// The whole-number text of a depth: truncated toward zero, shown in full even outside the
// slider's range.
QString depthText(double depth);

} // namespace tallymere
