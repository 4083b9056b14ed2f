#pragma once
#include "style/Theme.h"
#include "state/WorkspaceTab.h"

#include <QRectF>
#include <QString>
#include <QWidget>

#include <vector>

namespace tallymere {

class AppState;
class FileNode;
class VisualizationHost;

// The main window's content, composed from the one store: the tab strip, the workspace of the
// current tab (the scan's live progress while scanning, else the focused folder of the displayed
// tree over the visualisation host) and the banner at the foot. It paints its own background in the
// theme of AppState::themeID() and hands that theme to every component below it, so a theme
// change recolours the whole window at once. Never smaller than 1060 by 660.
class RootView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 1060;
    static constexpr int minimumHeight = 660;

    explicit RootView(AppState& state, QWidget* parent = nullptr);

    const Theme& theme() const { return m_theme; }

    // Where things were laid out, for hit testing and tests (widget coordinates).
    QRectF tabRect(WorkspaceTab tab) const;
    // The visualisations of the displayed tree; hidden while there is none to show.
    VisualizationHost* host() const { return m_host; }
    QRectF bannerRect() const { return m_bannerRect; }
    QRectF bannerCloseRect() const { return m_bannerClose; }
    // The heading and the line under it as shown now.
    const QString& heading() const { return m_heading; }
    const QString& subheading() const { return m_subheading; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void applyTheme();
    // Recomputes texts and rectangles from the store and the size; then repaints.
    void relayout();

    AppState& m_state;
    Theme m_theme;
    std::vector<QRectF> m_tabRects;
    QString m_heading;
    QString m_subheading;
    QString m_detail;
    VisualizationHost* m_host = nullptr;
    QRectF m_bannerRect;
    QRectF m_bannerClose;
};

} // namespace tallymere
