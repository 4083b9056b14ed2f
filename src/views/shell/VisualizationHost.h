#pragma once
#include "state/VizMode.h"
#include "views/components/ThemedWidget.h"

class QVariantAnimation;

namespace tallymere {

class AppState;
class HoverReadout;

// Shows the view of AppState::viz() over a faint wash of the theme's background, made afresh on
// every change of viz (the old view and everything it kept go), and floats the hover readout over
// the bottom-left corner while a graphical mode shows and a node is hovered. The readout fades in
// when a node comes under the pointer and out when none is left (a change of mode to a list hides
// it at once). Pointer input belongs to the view: the readout lets it through, fading or not.
class VisualizationHost : public ThemedWidget {
    Q_OBJECT
public:
    VisualizationHost(AppState& state, QWidget* parent = nullptr);

    // The view shown now; never null.
    QWidget* view() const { return m_view; }
    HoverReadout* readout() const { return m_readout; }

    // Whether a mode shows the hover readout: the five graphical canvases do, the lists do not.
    static bool wantsHoverReadout(VizMode mode);

    // Lets go of what the views keep for their next showing beyond their own lives (the Age Map's
    // maps and the folders walked ahead for it, the pack's packed folders): a new scan started.
    static void forgetKept();

    // Distance of the readout's card from the host's left and bottom edges.
    static constexpr double readoutInset = 12;
    static constexpr int readoutFadeMs = 150;
    // The readout's fade, running while it comes or goes.
    QVariantAnimation* readoutFade() const { return m_fade; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeView();
    void refreshReadout();
    void placeReadout();
    void fadeReadout(double to);

    AppState& m_state;
    QWidget* m_view = nullptr;
    HoverReadout* m_readout = nullptr;
    QVariantAnimation* m_fade = nullptr;
};

} // namespace tallymere
