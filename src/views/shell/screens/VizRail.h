#pragma once
#include "state/VizMode.h"
#include "views/components/ThemedWidget.h"

#include <QRectF>
#include <QString>

namespace tallymere {

class AppState;
class SegmentedRail;
class BusySpinner;
class ColorModeSelector;
class DepthSlider;

// The row of visualisation controls under the explore page's header: the rail of the nine
// visualisations at the left; at the right a spinner while a filtered copy is being built, the
// caption of the chosen visualisation, the colour-mode selector (for the six coloured views) and
// the depth slider (treemap, sunburst and flame only). Everything follows the store. When the pane
// is too narrow for one row, the trailing controls move to a second row under the rail rather than
// cover it.
class VizRail : public ThemedWidget {
    Q_OBJECT
public:
    explicit VizRail(AppState& state, QWidget* parent = nullptr);

    static QString caption(VizMode mode);
    // Views whose colours mean something the selector chooses.
    static bool usesColor(VizMode mode);
    static bool usesDepth(VizMode mode);

    SegmentedRail* rail() const { return m_rail; }
    BusySpinner* spinner() const { return m_spinner; }
    ColorModeSelector* colorModes() const { return m_colorModes; }
    DepthSlider* depthSlider() const { return m_depth; }
    // Where the caption is drawn, and the caption as it fits there.
    QRectF captionRect() const { return m_captionRect; }
    QString shownCaption() const { return m_shownCaption; }
    // Whether the controls need a second row at `width`.
    bool wrapsAt(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void relayout();
    double rowHeight() const;
    double trailingWidth() const; // the colour modes and depth slider with their spacing

    AppState& m_state;
    SegmentedRail* m_rail;
    BusySpinner* m_spinner;
    ColorModeSelector* m_colorModes;
    DepthSlider* m_depth;
    QRectF m_captionRect;
    QString m_shownCaption;
    // The caption's measures, taken when the view changes rather than on every layout pass: its
    // line height, its whole width and the least room it keeps.
    double m_captionHeight = 0;
    double m_captionWidth = 0;
    double m_leastCaptionWidth = 0;
};

} // namespace tallymere
