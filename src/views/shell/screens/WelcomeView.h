#pragma once
#include "views/components/ThemedWidget.h"

#include <QRectF>

#include <vector>

namespace tallymere {

class AppState;
class ActionButton;
class KeyStop;

// The explore tab's first screen, before any scan: a headline and subtitle, the three ways to
// start a scan ("Scan Full Mac", "Scan Home", "Choose Folder"), a gallery of the nine
// visualisations as tinted tiles, and, when this process cannot read every folder, a pill that
// explains what that takes. A 620-wide column centred in the pane, never nearer than 20 to the
// top or bottom. The tiles are decoration and take no clicks; the pill is a stop of Tab.
class WelcomeView : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr double columnWidth = 620;

    explicit WelcomeView(AppState& state, QWidget* parent = nullptr);

    ActionButton* fullDiskButton() const { return m_fullDisk; }
    ActionButton* homeButton() const { return m_home; }
    ActionButton* folderButton() const { return m_folder; }

    // As laid out now, in widget coordinates.
    QRectF columnRect() const { return m_column; }
    const std::vector<QRectF>& tileRects() const { return m_tiles; }
    // Empty when every folder can be read.
    QRectF promptRect() const { return m_prompt; }
    bool showsPrompt() const { return m_showsPrompt; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void themeChanged() override { relayout(); }

private:
    // Probes the read access again and lays the column out.
    void relayout();
    double contentHeight() const;
    void promptPressed();

    AppState& m_state;
    ActionButton* m_fullDisk;
    ActionButton* m_home;
    ActionButton* m_folder;
    KeyStop* m_promptStop;
    bool m_showsPrompt = false;
    bool m_promptPressed = false;
    QRectF m_column;
    QRectF m_headline, m_subtitle;
    std::vector<QRectF> m_tiles;
    QRectF m_prompt;
};

} // namespace tallymere
