#pragma once
#include "state/AppState.h"
#include "views/components/ThemedWidget.h"

#include <QString>

namespace tallymere {

// The readout in the middle of the sunburst: the name and size of the hovered node, else of the
// focus, else of the displayed tree, and a round button that goes one folder up while the focus
// has a parent. Only the button takes the pointer: everywhere else hover and clicks reach the rings
// below, as they do over the whole readout while there is no button.
class SunburstCenter : public ThemedWidget {
    Q_OBJECT
public:
    explicit SunburstCenter(AppState& state, QWidget* parent = nullptr);

    // Places the readout centred on `point` (parent coordinates).
    void centerOn(QPointF point);
    // The radius of the central disc the readout sits on; the name is cut with "…" where the disc's
    // edge would cross it. Zero sets no bound but the name's own width.
    void setDiscRadius(double radius);
    // How wide the name may be now.
    double nameWidth() const { return m_nameWidth; }

    const QString& nameText() const { return m_name; }
    const QString& sizeText() const { return m_size; }
    bool hasUpButton() const { return m_upButton; }
    // The button's circle in this widget's coordinates; empty without a button.
    QRectF upButtonRect() const;

    // The name the centre shows: the node's own name below the top of its tree; for a top node
    // "Macintosh HD" when it is "/", else the last component of its path.
    static QString displayName(const FileNode& node);

    static constexpr double maxNameWidth = 132;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void refresh();

    AppState& m_state;
    QString m_name;
    QString m_size;
    bool m_upButton = false;
    bool m_pressed = false;
    QPointF m_center;
    double m_discRadius = 0;
    double m_nameWidth = maxNameWidth;
};

} // namespace tallymere
