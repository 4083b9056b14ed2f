#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

#include <QRectF>
#include <QString>

#include <vector>

namespace tallymere {

class KeyStop;

// The top bar's path of the focused folder: a back button (to the focus's parent; dimmed and
// inert at the top of the tree or without focus) and one crumb per folder of the focus chain,
// separated by chevrons. The first crumb names the top of the tree ("Macintosh HD", "Home" or the
// last path component), the others their own names; the last is the focus itself, set apart on
// surfaceRaised. A click on a crumb focuses that folder. The strip of crumbs is at most 380 wide
// and scrolls sideways (wheel) when the chain is longer; crumbs never wrap. A new chain shows its
// end, the focused folder, and the strip keeps to its end while it narrows or widens until the
// wheel moves it; a crumb cut by an edge of the strip fades out there, and a last crumb wider than
// the whole strip is shortened in the middle to fit it.
//
// The back button is a stop of Tab (in the widget around the breadcrumb, where its ring has room);
// Space and Return go back as a click does. The crumbs are one more stop, on the focused folder's
// at first: Left and Right (Home, End) walk them, bringing each into the strip, and Space or
// Return focus the ringed one's folder as a click does.
class Breadcrumb : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr double maxStripWidth = 380;

    explicit Breadcrumb(AppState& state, QWidget* parent = nullptr);

    // The label of the first crumb for the top node of a tree.
    static QString rootLabel(const FileNode& node);

    // As shown now.
    QRectF backRect() const { return m_back; }
    KeyStop* backStop() const { return m_backStop; }
    KeyStop* crumbStop() const { return m_crumbStop; }
    // The crumb the keyboard is on.
    std::size_t crumbCursor() const { return m_cursor; }
    bool canGoBack() const;
    QStringList crumbTitles() const;
    // The title as drawn in its crumb: the last one may be shortened to the strip.
    QString shownTitle(std::size_t index) const;
    // The crumbs' rectangles in widget coordinates (scrolled), one per element of the chain.
    std::vector<QRectF> crumbRects() const;
    QRectF stripRect() const;
    double scrollOffset() const { return m_scroll; }
    // How far the strip fades a crumb cut at its edges.
    static constexpr double fadeWidth = 18;
    // The strip's width for a given room: the whole chain or 380, whichever is less.
    double idealWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct Crumb {
        AppState::NodePtr node;
        QString title;
        double width = 0; // of its padded label
        bool last = false;
    };
    void refresh();
    void clampScroll();
    // The chain's width with every crumb at its own width, or as laid out in the strip.
    double contentWidth(bool laidOut = true) const;
    double crumbWidth(std::size_t index) const;
    double maxScroll() const;
    int crumbAt(QPointF point) const;
    bool crumbKey(QKeyEvent* event);
    // Lays the crumbs' stop over the crumb the keyboard is on.
    void placeCrumbStop();

    AppState& m_state;
    std::vector<Crumb> m_crumbs;
    QRectF m_back;
    KeyStop* m_backStop;
    KeyStop* m_crumbStop;
    std::size_t m_cursor = 0;
    double m_scroll = 0;
    bool m_atEnd = true; // the strip follows its end until the wheel moves it away
    int m_pressed = -2; // -1 the back button, n a crumb
};

} // namespace tallymere
