#pragma once
#include "views/components/controls/ClickableWidget.h"
#include "services/LeftoverItem.h"

#include <functional>

namespace tallymere {

// A support item no installed app claims: a folder symbol (12, warning, in 18), the item's name
// (11, text, shortened in the middle) over its kind (9, textTertiary), its size at the right
// (10.5 semibold, textSecondary) and a plus button (11, textTertiary) that moves it to the Trash.
// Padded 12 by 4. Its context menu reveals the item or copies its path. Only the button takes a
// click. By keyboard the row is a stop (its list walked by the arrows), ringed inside its edge,
// whose menu the context-menu key opens; Right reaches the button, and only there do Space and
// Return move the item to the Trash.
class OrphanRow : public ClickableWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> stage;
        std::function<void()> reveal;
        std::function<void()> copyPath;
    };
    OrphanRow(const LeftoverItem& item, Actions actions, QWidget* parent = nullptr);

    const LeftoverItem& item() const { return m_item; }
    // Where the plus button lies.
    QRectF buttonRect() const;
    // The context menu's entries, in order: "Reveal in Finder", "Copy Path".
    static QStringList menuEntries();
    void runMenuEntry(int index);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    LeftoverItem m_item;
    Actions m_actions;
    bool m_pressedButton = false;
};

} // namespace tallymere
