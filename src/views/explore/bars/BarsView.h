#pragma once
#include "layout/TopSizesRanking.h"
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

#include <QRectF>

#include <array>
#include <vector>

class QScrollArea;

namespace tallymere {

class BarsList;

// Top Sizes: at most 150 ranked bars of what lies under the displayed node (the focus, else the
// displayed tree) in one of three scopes chosen in the header: the node's own children, the
// biggest files anywhere below it, or the biggest folders anywhere below it. The header holds the
// scope switcher (a capsule of three buttons, one stop of Tab) and the number of rows shown; the
// rows scroll below.
//
// The rows are worked out when the view is made and again only when the scope, the focus, the
// displayed tree or the size mode changes to a different value; nothing else (hover, selection,
// the queue) touches them. A view made afresh starts in the "In this folder" scope.
class BarsView : public ThemedWidget {
    Q_OBJECT
public:
    using Scope = TopSizesRanking::Scope;

    explicit BarsView(AppState& state, QWidget* parent = nullptr);

    Scope scope() const { return m_scope; }
    // As pressing the scope's button: the current scope changes nothing.
    void setScope(Scope scope);
    const std::vector<const FileNode*>& rows() const;
    BarsList* list() const { return m_list; }
    QScrollArea* scrollArea() const { return m_scroll; }

    // The header's parts as laid out, in view coordinates.
    QRectF scopeButtonRect(Scope scope) const;
    QString countText() const;

    static constexpr double headerInsetX = 16;
    static constexpr double headerInsetY = 10;
    static constexpr double switcherPadding = 3;
    static constexpr double buttonSpacing = 3;
    static constexpr double buttonInsetX = 11;
    static constexpr double leastButtonInsetX = 6;
    static constexpr double countSpacing = 8;
    static constexpr double buttonInsetY = 5.5;
    static double headerHeight();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Left and Right choose the neighbouring scope, Home and End the first and the last.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuild();
    void layoutHeader();

    AppState& m_state;
    Scope m_scope = Scope::children;
    BarsList* m_list;
    QScrollArea* m_scroll;
    QRectF m_switcher;
    std::array<QRectF, 3> m_buttons;
};

} // namespace tallymere
