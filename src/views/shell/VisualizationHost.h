#pragma once
#include "state/VizMode.h"
#include "views/components/ThemedWidget.h"

namespace tallymere {

class AppState;
class HoverReadout;

// Shows the view of AppState::viz() over a faint wash of the theme's background, made afresh on
// every change of viz (the old view and everything it kept go), and floats the hover readout over
// the bottom-left corner while a graphical mode shows and a node is hovered. Pointer input belongs
// to the view: the readout lets it through.
class VisualizationHost : public ThemedWidget {
    Q_OBJECT
public:
    VisualizationHost(AppState& state, QWidget* parent = nullptr);

    // The view shown now; never null.
    QWidget* view() const { return m_view; }
    HoverReadout* readout() const { return m_readout; }

    // Whether a mode shows the hover readout: the five graphical canvases do, the lists do not.
    static bool wantsHoverReadout(VizMode mode);

    // Distance of the readout's card from the host's left and bottom edges.
    static constexpr double readoutInset = 12;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeView();
    void refreshReadout();
    void placeReadout();

    AppState& m_state;
    QWidget* m_view = nullptr;
    HoverReadout* m_readout = nullptr;
};

} // namespace tallymere
