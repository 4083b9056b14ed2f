#pragma once
#include "views/components/ThemedWidget.h"

namespace tallymere {

class AppState;

// The left column of the window (272 wide): where scans start and what the shown tree holds.
class SidebarView : public ThemedWidget {
    Q_OBJECT
public:
    explicit SidebarView(AppState& state, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AppState& m_state;
};

} // namespace tallymere
