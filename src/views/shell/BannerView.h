#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

#include <QPointer>

#include <functional>

namespace tallymere {

class KeyStop;

// One message banner: the kind's symbol in the kind's colour, the title over an optional detail
// (both wrapping, never cut), "Grant Access" for the partial-scan warning, and a close button. The
// card (radius 12, `surface`, a border in the kind's colour at 30 %) is the widget itself; its soft
// shadow is drawn by a companion widget just beneath it in the same parent, which takes no clicks,
// so the shadow never blocks the view under it.
//
// Plain text only: titles and details that carry file names are never read as markup.
//
// "Grant Access" and the close button are stops of Tab; Space and Return press them.
class BannerView : public ThemedWidget {
    Q_OBJECT
public:
    static constexpr double maxCardWidth = 620;
    static constexpr double shadowRadius = 18;
    static constexpr double shadowOffsetY = 6;
    static constexpr int shadowMargin = 30;
    ~BannerView() override;

    explicit BannerView(QWidget* parent = nullptr);

    void setBanner(const AppState::Banner& banner);
    const AppState::Banner& banner() const { return m_banner; }

    // Run by the close button.
    void setDismiss(std::function<void()> dismiss) { m_dismiss = std::move(dismiss); }
    // Run by "Grant Access".
    void setGrantAccess(std::function<void()> grant) { m_grant = std::move(grant); }

    // Drawn at this opacity (the window fades the banner in and out).
    void setOpacity(double opacity);

    static QColor tint(const Theme& theme, AppState::Banner::Kind kind);
    static std::string_view symbol(AppState::Banner::Kind kind);
    // Only a warning titled exactly "Partial scan" offers "Grant Access".
    static bool offersGrantAccess(const AppState::Banner& banner);

    // The card's height when it is `cardWidth` wide.
    double cardHeight(double cardWidth) const;

    // In widget coordinates, as laid out for the current size.
    QRectF closeRect() const;
    QRectF grantRect() const; // empty when the banner offers no "Grant Access"

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    void themeChanged() override;

private:
    struct Layout {
        QRectF card, icon, title, detail, grant, close;
    };
    Layout layoutFor(const QRectF& card) const;
    void placeShadow();
    void placeStops();

    AppState::Banner m_banner;
    std::function<void()> m_dismiss;
    std::function<void()> m_grant;
    double m_opacity = 1;
    int m_pressed = 0; // 1 close, 2 grant
    QPointer<QWidget> m_shadow; // the companion beneath, owned by the same parent
    KeyStop* m_grantStop;
    KeyStop* m_closeStop;
};

} // namespace tallymere
