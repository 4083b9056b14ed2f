#pragma once
#include "views/components/ThemedWidget.h"
#include "services/InstalledApp.h"

#include <functional>

class QGridLayout;

namespace tallymere {

class UninstallButton;

// The head of an app's detail: its icon (62 x 62), a column of its name (19 bold), its chips and
// its identity line, and, for an app of the user's own, "Uninstall Completely" at the far end, all
// 14 apart and vertically centred. A row too narrow for the column's texts and the button side by
// side puts the button under the column instead, so that neither is cut; the name and the identity
// line are shortened only when even that row is too narrow for them.
class AppDetailHeader : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr int spacing = 14;
    static constexpr int stackedSpacing = 10;

    // `theme` tints the chips, which take their tint as a colour: the header is built anew for
    // another theme.
    AppDetailHeader(const InstalledApp& app, const Theme& theme, std::function<void()> uninstall,
                    QWidget* parent = nullptr);

    // Null for a system app, which cannot be uninstalled.
    UninstallButton* uninstallButton() const { return m_uninstall; }
    QWidget* textColumn() const { return m_text; }
    bool isStacked() const { return m_stacked; }
    // The least width that keeps the button beside the texts with every text whole.
    int sideBySideWidth() const;
    // As narrow as the stacked header: a layout may give the header less than the side-by-side
    // width, which is what moves the button under the texts.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setStacked(bool stacked);

    QGridLayout* m_grid;
    QWidget* m_text;
    UninstallButton* m_uninstall = nullptr;
    bool m_stacked = false;
};

} // namespace tallymere
