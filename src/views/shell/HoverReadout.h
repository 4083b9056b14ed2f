#pragma once
#include "state/AppState.h"
#include "views/components/canvas/SoftShadow.h"
#include "views/components/ThemedWidget.h"

#include <QString>

class QPainter;

namespace tallymere {

// The small floating card that names the node under the pointer: its glyph, its name (a scan's
// top node shows its full path), its size in the current size mode, its share of the displayed
// tree and, for a folder or package, a chip with its file count. Pointer input passes through it
// to the canvas below.
//
// The widget's frame includes room for the card's shadow; cardRect() is the card itself.
class HoverReadout : public ThemedWidget {
    Q_OBJECT
public:
    explicit HoverReadout(QWidget* parent = nullptr);

    // Shows `node` (null hides nothing by itself: the host decides visibility) and fits the frame
    // to the content, at most `maxCardWidth` wide (a longer name is truncated in the middle).
    void setNode(const AppState::NodePtr& node, bool useAllocated, double share, double maxCardWidth);

    QRectF cardRect() const;
    // The whole card is drawn at this opacity (0 to 1), for its fade in and out.
    void setOpacity(double opacity);
    double opacity() const { return m_opacity; }
    const QString& nameText() const { return m_name; }
    const QString& sizeText() const { return m_size; }
    const QString& shareText() const { return m_share; }
    // Empty for a file.
    const QString& chipText() const { return m_chip; }

    // "<0.1%" above 0 and below 0.001, else the percentage with one decimal ("12.3%").
    static QString shareText(double share);
    // "1 files", "1,204 files": the count grouped as the desktop's locale groups numbers.
    static QString filesText(std::int64_t count);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintCard(QPainter& painter);

    AppState::NodePtr m_node;
    QString m_name;
    QString m_size;
    QString m_share;
    QString m_chip;
    double m_nameWidth = 0;
    QSizeF m_card;
    double m_opacity = 1;
    SoftShadow m_shadow;
};

} // namespace tallymere
